#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a book without recorded audio, to be read aloud by the player: an
EPUB 3 file without media overlays, a DAISY 2.02 book whose NCC says textNCC
(SMIL files that point at the text only), or a DAISY 3 book with a DTBook and
no audio.

  quimbo-textbookgen.py --kind epub OUT.epub --title "A Book" \\
      --section "1:Chapter one:First sentence. Second one.|A new paragraph." \\
      --section "2:A part:{de:Guten Tag.} Back in English."

A section is LEVEL:HEADING:TEXT; "|" starts a paragraph, {LANG:text} is a
passage in another language. Every section starts a new page (page 1, 2, ...),
and --large PAGES makes a long book of that many pages instead (about 300
words a page, a chapter every ten pages), for the benchmarks. --narrate N
(repeatable) records chapter N (a level-1 section and what follows it) with
espeak-ng and lame: a book with recorded and text-only parts (in an EPUB the
chapter's file gets a media overlay; a DAISY book says "textPartAudio" and the
chapter gets a SMIL file of its own that plays the recording)."""
import argparse
import html
import os
import re
import shutil
import subprocess
import tempfile
import wave
import zipfile

WORDS = ("the reader walks along the quiet river and thinks about the long road home while the evening "
         "light falls softly over the old town and its narrow streets").split()


def large_sections(pages):
    sections = []
    for page in range(pages):
        level = 1 if page % 10 == 0 else 2 if page % 5 == 0 else 0
        paragraphs = []
        for p in range(4):
            sentences = []
            for s in range(5):
                start = (page * 31 + p * 7 + s * 3) % len(WORDS)
                words = [WORDS[(start + k) % len(WORDS)] for k in range(15)]
                sentences.append(" ".join(words).capitalize() + ".")
            paragraphs.append(" ".join(sentences))
        heading = "Chapter %d" % (page // 10 + 1) if level == 1 else "Part %d" % (page // 5 + 1) if level else ""
        sections.append((level, heading, paragraphs))
    return sections


def parse_section(argument):
    level, heading, text = argument.split(":", 2)
    return int(level), heading, [p.strip() for p in text.split("|") if p.strip()]


def inline(text, lang_attr):
    out, pos = [], 0
    for m in re.finditer(r"\{([A-Za-z-]+):([^}]*)\}", text):
        out.append(html.escape(text[pos:m.start()], quote=False))
        out.append('<span %s="%s">%s</span>' % (lang_attr, m.group(1), html.escape(m.group(2), quote=False)))
        pos = m.end()
    out.append(html.escape(text[pos:], quote=False))
    return "".join(out)


def narration(text, language):
    """The MP3 of espeak-ng speaking text, and its length in seconds."""
    with tempfile.TemporaryDirectory() as tmp:
        wav, mp3 = os.path.join(tmp, "n.wav"), os.path.join(tmp, "n.mp3")
        subprocess.run(["espeak-ng", "-v", language, "-w", wav, text], check=True)
        with wave.open(wav, "rb") as w:
            seconds = w.getnframes() / float(w.getframerate())
        subprocess.run(["lame", "--quiet", "-b", "32", wav, mp3], check=True)
        with open(mp3, "rb") as f:
            return f.read(), seconds


def chapter_numbers(sections):
    """The chapter (1, 2, ...) of each section: a level-1 section starts one."""
    numbers, n = [], 0
    for level, _, _ in sections:
        if level == 1 or n == 0:
            n += 1
        numbers.append(n)
    return numbers


def narrated_pars(args, chapter, elements, document, clip):
    """Writes chapter's MP3 and returns its SMIL pars: one per (id, text) element, the clips shared by length."""
    mp3, seconds = narration(" ".join(text for _, text in elements), args.language)
    with open(os.path.join(args.output, "ch%d.mp3" % chapter), "wb") as f:
        f.write(mp3)
    total = sum(len(text) + 1 for _, text in elements)
    pars, at = [], 0.0
    for element_id, text in elements:
        end = at + seconds * (len(text) + 1) / total
        pars.append('<par id="t_%s"><text src="%s#%s" id="x_%s"/><audio src="ch%d.mp3" %s/></par>'
                    % (element_id, document, element_id, element_id, chapter, clip(at, end)))
        at = end
    return pars


def plain_text(paragraph):
    return re.sub(r"\{[A-Za-z-]+:([^}]*)\}", r"\1", paragraph)


def epub(args, sections):
    lang = args.language
    chapters, page_links, toc, spoken = [], [], [], []
    current = None
    for n, (level, heading, paragraphs) in enumerate(sections, 1):
        if level == 1 or current is None:
            current = []
            chapters.append(current)
            spoken.append([])
        spoken[-1].extend(([heading] if level else []) + [plain_text(p) for p in paragraphs])
        name = "ch%d.xhtml" % len(chapters)
        body = '<span epub:type="pagebreak" id="page%d" title="%d"/>' % (n, n)
        page_links.append('<li><a href="%s#page%d">%d</a></li>' % (name, n, n))
        if level:
            body += '<h%d id="h%d">%s</h%d>' % (level, n, html.escape(heading), level)
            toc.append('<li><a href="%s#h%d">%s</a></li>' % (name, n, html.escape(heading)))
        body += "".join("<p>%s</p>" % inline(p, "xml:lang") for p in paragraphs)
        current.append(body)
    files = {}
    for i, parts in enumerate(chapters, 1):
        files["OEBPS/ch%d.xhtml" % i] = (
            '<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml" '
            'xmlns:epub="http://www.idpf.org/2007/ops" xml:lang="%s"><head><title>%s</title></head><body>%s</body></html>\n'
            % (lang, html.escape(args.title), "".join(parts)))
    files["OEBPS/nav.xhtml"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops">'
        '<head><title>Contents</title></head><body><nav epub:type="toc"><ol>%s</ol></nav>'
        '<nav epub:type="page-list"><ol>%s</ol></nav></body></html>\n' % ("".join(toc), "".join(page_links)))
    overlays = {}
    for i in args.narrate:
        overlays[i] = narration(" ".join(spoken[i - 1]), args.language)[0]
        files["OEBPS/ch%d.smil" % i] = (
            '<?xml version="1.0" encoding="UTF-8"?>\n<smil xmlns="http://www.w3.org/ns/SMIL" version="3.0"><body><seq>'
            '<par id="p1"><text src="ch%d.xhtml"/><audio src="audio/ch%d.mp3"/></par></seq></body></smil>\n' % (i, i))
        files["OEBPS/audio/ch%d.mp3" % i] = overlays[i]
    items = "".join('<item id="ch%d" href="ch%d.xhtml" media-type="application/xhtml+xml"%s/>'
                    % (i, i, ' media-overlay="mo%d"' % i if i in overlays else "") for i in range(1, len(chapters) + 1))
    items += "".join('<item id="mo%d" href="ch%d.smil" media-type="application/smil+xml"/>'
                     '<item id="au%d" href="audio/ch%d.mp3" media-type="audio/mpeg"/>' % (i, i, i, i) for i in overlays)
    spine = "".join('<itemref idref="ch%d"/>' % i for i in range(1, len(chapters) + 1))
    files["OEBPS/content.opf"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="uid">'
        '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="uid">%s</dc:identifier>'
        '<dc:title>%s</dc:title><dc:language>%s</dc:language></metadata>'
        '<manifest><item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>%s</manifest>'
        '<spine>%s</spine></package>\n' % (html.escape(args.identifier), html.escape(args.title), lang, items, spine))
    files["META-INF/container.xml"] = (
        '<?xml version="1.0"?>\n<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
        '<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles></container>\n')
    tmp = args.output + ".part"
    with zipfile.ZipFile(tmp, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", compress_type=zipfile.ZIP_STORED)
        for name, data in files.items():
            z.writestr(name, data if isinstance(data, bytes) else data.encode("utf-8"), compress_type=zipfile.ZIP_DEFLATED)
    os.replace(tmp, args.output)


def daisy202(args, sections):
    out = args.output
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    content, ncc, smil = [], [], []
    recorded = {}  # chapter: its (id, text) elements
    for n, ((level, heading, paragraphs), chapter) in enumerate(zip(sections, chapter_numbers(sections)), 1):
        narrated = chapter in args.narrate
        elements = recorded.setdefault(chapter, []) if narrated else []
        content.append('<span class="page-normal" id="pg%d">%d</span>' % (n, n))
        page_target = "text.smil#tp%d" % n
        if narrated:
            elements.append(("pg%d" % n, "Page %d." % n))
            page_target = "ch%d.smil#t_pg%d" % (chapter, n)
        else:
            smil.append('<par endsync="last" id="tp%d"><text src="content.html#pg%d" id="xp%d"/></par>' % (n, n, n))
        if level:
            content.append('<h%d id="h%d">%s</h%d>' % (level, n, html.escape(heading), level))
            target = "text.smil#t%d" % n
            if narrated:
                elements.append(("h%d" % n, heading))
                target = "ch%d.smil#t_h%d" % (chapter, n)
            else:
                smil.append('<par endsync="last" id="t%d"><text src="content.html#h%d" id="x%d"/></par>' % (n, n, n))
            ncc.append('<h%d id="n%d"><a href="%s">%s</a></h%d>' % (level, n, target, html.escape(heading), level))
        ncc.append('<span class="page-normal" id="np%d"><a href="%s">%d</a></span>' % (n, page_target, n))
        for k, p in enumerate(paragraphs, 1):
            content.append('<p id="p%d_%d">%s</p>' % (n, k, inline(p, "lang")))
            if narrated:
                elements.append(("p%d_%d" % (n, k), plain_text(p)))
    for chapter, elements in recorded.items():
        pars = narrated_pars(args, chapter, elements, "content.html",
                             lambda a, b: 'clip-begin="npt=%.3fs" clip-end="npt=%.3fs"' % (a, b))
        with open(os.path.join(out, "ch%d.smil" % chapter), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<smil><head><meta name="dc:format" content="Daisy 2.02"/></head>'
                    '<body><seq>%s</seq></body></smil>\n' % "".join(pars))
    head = ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" '
            '"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">\n<html xmlns="http://www.w3.org/1999/xhtml" lang="%s">' % args.language)
    with open(os.path.join(out, "ncc.html"), "w", encoding="utf-8") as f:
        f.write(head + '<head><title>%s</title><meta name="dc:title" content="%s"/><meta name="dc:language" content="%s"/>'
                '<meta name="dc:identifier" content="%s"/><meta name="dc:format" content="Daisy 2.02"/>'
                '<meta name="ncc:multimediaType" content="%s"/><meta name="ncc:pageNormal" content="%d"/></head><body>%s</body></html>\n'
                % (html.escape(args.title), html.escape(args.title), args.language, html.escape(args.identifier),
                   "textPartAudio" if recorded else "textNCC", len(sections), "".join(ncc)))
    with open(os.path.join(out, "content.html"), "w", encoding="utf-8") as f:
        f.write(head + "<head><title>%s</title></head><body>%s</body></html>\n" % (html.escape(args.title), "".join(content)))
    with open(os.path.join(out, "text.smil"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<smil><head><meta name="dc:format" content="Daisy 2.02"/></head>'
                '<body><seq dur="0s">%s</seq></body></smil>\n' % "".join(smil))


def daisy3(args, sections):
    out = args.output
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    body, open_levels = [], []
    recorded = {}  # chapter: its (id, text) elements
    for n, ((level, heading, paragraphs), chapter) in enumerate(zip(sections, chapter_numbers(sections)), 1):
        narrated = chapter in args.narrate
        elements = recorded.setdefault(chapter, []) if narrated else []
        if level:
            while open_levels and open_levels[-1] >= level:
                body.append("</level%d>" % open_levels.pop())
            body.append('<level%d><pagenum id="pg%d" page="normal">%d</pagenum><h%d id="h%d">%s</h%d>'
                        % (level, n, n, level, n, html.escape(heading), level))
            open_levels.append(level)
            elements.append(("h%d" % n, heading))
        else:
            if not open_levels:
                body.append("<level1>")
                open_levels.append(1)
            body.append('<pagenum id="pg%d" page="normal">%d</pagenum>' % (n, n))
        for k, p in enumerate(paragraphs, 1):
            body.append('<p id="p%d_%d">%s</p>' % (n, k, inline(p, "xml:lang")))
            elements.append(("p%d_%d" % (n, k), plain_text(p)))
    items, spine = "", ""
    for chapter, elements in recorded.items():
        pars = narrated_pars(args, chapter, elements, "book.xml",
                             lambda a, b: 'clipBegin="%.3fs" clipEnd="%.3fs"' % (a, b))
        with open(os.path.join(out, "ch%d.smil" % chapter), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<smil xmlns="http://www.w3.org/2001/SMIL20/"><head>'
                    '<meta name="dtb:uid" content="%s"/></head><body><seq>%s</seq></body></smil>\n'
                    % (html.escape(args.identifier), "".join(pars)))
        items += ('<item id="smil%d" href="ch%d.smil" media-type="application/smil"/>'
                  '<item id="mp3_%d" href="ch%d.mp3" media-type="audio/mpeg"/>' % (chapter, chapter, chapter, chapter))
        spine += '<itemref idref="smil%d"/>' % chapter
    while open_levels:
        body.append("</level%d>" % open_levels.pop())
    with open(os.path.join(out, "book.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<dtbook xmlns="http://www.daisy.org/z3986/2005/dtbook/" version="2005-3" xml:lang="%s">'
                '<head><meta name="dc:Title" content="%s"/></head><book>'
                '<bodymatter>%s</bodymatter></book></dtbook>\n' % (args.language, html.escape(args.title), "".join(body)))
    with open(os.path.join(out, "book.opf"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<package xmlns="http://openebook.org/namespaces/oeb-package/1.0/" unique-identifier="uid">'
                '<metadata><dc-metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:Title>%s</dc:Title>'
                '<dc:Identifier id="uid">%s</dc:Identifier><dc:Language>%s</dc:Language><dc:Format>ANSI/NISO Z39.86-2005</dc:Format></dc-metadata>'
                '<x-metadata><meta name="dtb:multimediaType" content="%s"/></x-metadata></metadata>'
                '<manifest><item id="opf" href="book.opf" media-type="text/xml"/><item id="dtbook" href="book.xml" media-type="application/x-dtbook+xml"/>%s</manifest>'
                '<spine>%s</spine></package>\n' % (html.escape(args.title), html.escape(args.identifier), args.language,
                                                   "textPartAudio" if recorded else "textNCX", items, spine))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output", help="the .epub file, or the DAISY book's folder (replaced)")
    ap.add_argument("--kind", choices=["epub", "daisy202", "daisy3"], default="epub")
    ap.add_argument("--title", default="Generated Text Book")
    ap.add_argument("--language", default="en")
    ap.add_argument("--identifier", default=None)
    ap.add_argument("--section", action="append", default=[], help="LEVEL:HEADING:TEXT (repeatable)")
    ap.add_argument("--large", type=int, metavar="PAGES", help="a long book of this many pages")
    ap.add_argument("--narrate", type=int, action="append", default=[], metavar="N", help="record chapter N")
    args = ap.parse_args()
    args.identifier = args.identifier or "urn:quimbo:" + re.sub(r"\W+", "-", args.title.lower())
    if args.large:
        sections = large_sections(args.large)
    else:
        sections = [parse_section(s) for s in args.section] or [
            (1, "Chapter one", ["This is the first chapter. It has two sentences."]),
            (1, "Chapter two", ["This is the second chapter."])]
    {"epub": epub, "daisy202": daisy202, "daisy3": daisy3}[args.kind](args, sections)


if __name__ == "__main__":
    main()
