#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a valid DAISY 2.02 or DAISY 3 talking book from a short text outline.

Speech comes from espeak-ng, one WAV per phrase, so every clip time is the
measured length of its phrase; each SMIL file gets one MP3 made by lame.
With --no-audio the clip times are synthetic and no audio file is written
(for large benchmark books).

Outline format, one item per line:
    title: Book title          author: Name
    # Heading level 1 ... ###### Heading level 6   (a level-1 heading starts a new SMIL file)
    [page 12]                  a page number (normal page)
    note: text                 a note, referenced from the text
    sidebar: text              a sidebar
    - item                     one phrase, spoken whole (also "* item", "1. item")
    any other line             body text, spoken sentence by sentence

A Markdown page reads as an outline too: links are spoken as their text,
emphasis marks and HTML comments are dropped, and a one-line comment
"<!-- author: Name -->" sets the metadata. Without a title line the first
heading is the title.
"""

import argparse
import concurrent.futures
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import wave

DEFAULT_OUTLINE = """\
title: The Quimbo Sample Book
author: The Quimbo developers
# The Quimbo Sample Book
This is a sample talking book.
[page 1]
# Chapter one
The first chapter begins here. It has two sentences.
## A section in chapter one
[page 2]
Text of the first section.
note: This is a note about the first section.
### A deeper part
Deeper text.
[page 3]
# Chapter two
The second chapter.
sidebar: A sidebar with extra facts.
[page 4]
## Last section
The end of the book.
[page 5]
"""

SYNTHETIC_PHRASE_MS = 1500


class Item:
    def __init__(self, kind, text, level=0):
        self.kind = kind      # heading, text, page, note, sidebar
        self.text = text
        self.level = level
        self.id = ''
        self.begin = 0        # ms within the section's audio file
        self.end = 0


def plain(text):
    """Markdown inline markup reduced to the words that are spoken."""
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', text)
    return re.sub(r'[*`]|(?<!\w)_|_(?!\w)', '', text).strip()


def parse_outline(text):
    meta = {}
    sections = []
    in_comment = False
    for raw in text.splitlines():
        line = raw.strip()
        if in_comment:
            in_comment = '-->' not in line
            continue
        m = re.match(r'^<!--\s*(title|author):\s*(.*?)\s*-->$', line)
        if m:
            meta[m.group(1)] = m.group(2)
            continue
        if line.startswith('<!--'):
            in_comment = '-->' not in line
            continue
        if not line or re.match(r'^(-{3,}|\*{3,}|_{3,})$', line):
            continue
        m = re.match(r'^(title|author):\s*(.*)$', line)
        if m:
            meta[m.group(1)] = m.group(2)
            continue
        m = re.match(r'^(#{1,6})\s+(.*)$', line)
        if m:
            level = len(m.group(1))
            if level == 1 or not sections:
                sections.append([])
            sections[-1].append(Item('heading', plain(m.group(2)), level))
            meta.setdefault('title', plain(m.group(2)))
            continue
        if not sections:
            sections.append([])
        m = re.match(r'^(?:[-*+]|\d+[.)])\s+(.*)$', line)
        if m:
            if plain(m.group(1)):
                sections[-1].append(Item('text', plain(m.group(1))))
            continue
        line = plain(line)
        m = re.match(r'^\[page\s+(\S+)\]$', line)
        if m:
            sections[-1].append(Item('page', m.group(1)))
            continue
        m = re.match(r'^(note|sidebar):\s*(.*)$', line)
        if m:
            sections[-1].append(Item(m.group(1), m.group(2)))
            continue
        for sentence in re.findall(r'[^.!?]+[.!?]*', line):
            if sentence.strip():
                sections[-1].append(Item('text', sentence.strip()))
    meta.setdefault('title', 'Untitled')
    meta.setdefault('author', 'Unknown')
    return meta, sections


def large_outline(headings, pages, files, phrases):
    """A synthetic book: headings on six levels and pages spread over the SMIL files."""
    sections = []
    heading_no = page_no = 0
    for f in range(files):
        items = []
        want_headings = (headings * (f + 1)) // files - (headings * f) // files
        want_pages = (pages * (f + 1)) // files - (pages * f) // files
        slots = phrases
        for p in range(slots):
            if p < want_headings:
                level = 1 + heading_no % 6
                heading_no += 1
                items.append(Item('heading', 'Heading %d' % heading_no, level))
            elif p - want_headings < want_pages and p % 2 == 1:
                page_no += 1
                items.append(Item('page', str(page_no)))
            else:
                items.append(Item('text', 'Phrase %d of file %d.' % (p + 1, f + 1)))
        # Pages that did not fit on odd slots go to the end of the file.
        while page_no < (pages * (f + 1)) // files:
            page_no += 1
            items.append(Item('page', str(page_no)))
        sections.append(items)
    return {'title': 'Large synthetic book', 'author': 'Benchmark'}, sections


def spoken(item):
    if item.kind == 'page':
        return 'Page %s' % item.text
    return item.text


def wav_ms(path):
    with wave.open(path, 'rb') as w:
        return (w.getnframes() * 1000) // w.getframerate()


def make_audio(sections, out, workdir):
    """One WAV per phrase (measured), concatenated per section and encoded to MP3."""
    jobs = []
    for s, items in enumerate(sections):
        for i, item in enumerate(items):
            jobs.append((s, i, os.path.join(workdir, 's%04d_%04d.wav' % (s, i)), spoken(item)))

    def speak(job):
        subprocess.run(['espeak-ng', '-s', '190', '-w', job[2], job[3]], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        list(pool.map(speak, jobs))

    for s, items in enumerate(sections):
        t = 0
        wavs = []
        for i, item in enumerate(items):
            path = os.path.join(workdir, 's%04d_%04d.wav' % (s, i))
            ms = wav_ms(path)
            item.begin, item.end = t, t + ms
            t += ms
            wavs.append(path)
        joined = os.path.join(workdir, 'section%04d.wav' % s)
        with wave.open(wavs[0], 'rb') as first:
            params = first.getparams()
        with wave.open(joined, 'wb') as dst:
            dst.setparams(params)
            for path in wavs:
                with wave.open(path, 'rb') as src:
                    dst.writeframes(src.readframes(src.getnframes()))
        subprocess.run(['lame', '--silent', '-b', '32', joined, os.path.join(out, audio_name(s))], check=True)


def synthetic_times(sections):
    for items in sections:
        t = 0
        for item in items:
            item.begin, item.end = t, t + SYNTHETIC_PHRASE_MS
            t += SYNTHETIC_PHRASE_MS


def audio_name(s):
    return 'audio%04d.mp3' % (s + 1)


def smil_name(s):
    return 'text%04d.smil' % (s + 1)


def assign_ids(sections):
    n = 0
    for items in sections:
        for item in items:
            n += 1
            item.id = 'i%d' % n


def total_ms(sections):
    return sum(items[-1].end for items in sections if items)


def hms(ms, fraction=True):
    h, rest = divmod(ms, 3600000)
    m, rest = divmod(rest, 60000)
    s = rest / 1000.0
    return '%d:%02d:%06.3f' % (h, m, s) if fraction else '%02d:%02d:%02d' % (h, m, int(s))


def esc(text):
    return html.escape(text, quote=True)


SKIP_202 = {'page': 'pagenumber-on', 'note': 'footnote-on', 'sidebar': 'sidebar-on'}


def write_daisy202(meta, sections, out):
    pages = sum(1 for items in sections for it in items if it.kind == 'page')
    depth = max([it.level for items in sections for it in items if it.kind == 'heading'] or [1])
    headings = sum(1 for items in sections for it in items if it.kind == 'heading')
    total = total_ms(sections)
    elapsed = 0
    for s, items in enumerate(sections):
        pars = []
        for it in items:
            req = SKIP_202.get(it.kind)
            attr = ' system-required="%s"' % req if req else ''
            pars.append('   <par endsync="last" id="p%s"%s>\n'
                        '    <text src="content.html#%s" id="t%s"/>\n'
                        '    <audio src="%s" clip-begin="npt=%.3fs" clip-end="npt=%.3fs" id="a%s"/>\n'
                        '   </par>' % (it.id, attr, it.id, it.id, audio_name(s), it.begin / 1000.0,
                                       it.end / 1000.0, it.id))
        dur = items[-1].end if items else 0
        with open(os.path.join(out, smil_name(s)), 'w', encoding='utf-8') as f:
            f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                    '<!DOCTYPE smil PUBLIC "-//W3C//DTD SMIL 1.0//EN" "http://www.w3.org/TR/REC-smil/SMIL10.dtd">\n'
                    '<smil>\n <head>\n'
                    '  <meta name="dc:format" content="Daisy 2.02"/>\n'
                    '  <meta name="dc:title" content="%s"/>\n'
                    '  <meta name="ncc:totalElapsedTime" content="%s"/>\n'
                    '  <meta name="ncc:timeInThisSmil" content="%s"/>\n'
                    '  <layout><region id="txtView"/></layout>\n'
                    ' </head>\n <body>\n  <seq dur="%.3fs">\n%s\n  </seq>\n </body>\n</smil>\n'
                    % (esc(meta['title']), hms(elapsed), hms(dur), dur / 1000.0, '\n'.join(pars)))
        elapsed += dur

    body = []
    title_done = False
    for s, items in enumerate(sections):
        for it in items:
            href = '%s#p%s' % (smil_name(s), it.id)
            if it.kind == 'heading':
                cls = ''
                if not title_done:
                    cls = ' class="title"'
                    title_done = True
                body.append('<h%d%s id="%s"><a href="%s">%s</a></h%d>'
                            % (it.level, cls, it.id, href, esc(it.text), it.level))
            elif it.kind == 'page':
                body.append('<span class="page-normal" id="%s"><a href="%s">%s</a></span>'
                            % (it.id, href, esc(it.text)))
            elif it.kind == 'note':
                body.append('<span class="noteref" id="%s"><a href="%s">note</a></span>' % (it.id, href))
            elif it.kind == 'sidebar':
                body.append('<span class="sidebar" id="%s"><a href="%s">sidebar</a></span>' % (it.id, href))
    metas = [('dc:title', meta['title']), ('dc:creator', meta['author']), ('dc:format', 'Daisy 2.02'),
             ('dc:identifier', 'quimbo-sample-%d' % headings), ('dc:language', 'en'),
             ('ncc:charset', 'utf-8'), ('ncc:depth', str(depth)), ('ncc:files', str(2 * len(sections) + 2)),
             ('ncc:footnotes', '0'), ('ncc:generator', 'quimbo make-daisy-book.py'),
             ('ncc:kByteSize', '0'), ('ncc:maxPageNormal', str(pages)), ('ncc:multimediaType', 'audioFullText'),
             ('ncc:pageFront', '0'), ('ncc:pageNormal', str(pages)), ('ncc:pageSpecial', '0'),
             ('ncc:prodNotes', '0'), ('ncc:sidebars', '0'), ('ncc:setInfo', '1 of 1'),
             ('ncc:tocItems', str(headings + pages)), ('ncc:totalTime', hms(total, False))]
    with open(os.path.join(out, 'ncc.html'), 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" '
                '"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">\n'
                '<html xmlns="http://www.w3.org/1999/xhtml">\n<head>\n<title>%s</title>\n'
                '<meta http-equiv="Content-type" content="text/html; charset=utf-8"/>\n%s\n</head>\n'
                '<body>\n%s\n</body>\n</html>\n'
                % (esc(meta['title']),
                   '\n'.join('<meta name="%s" content="%s"/>' % (n, esc(c)) for n, c in metas),
                   '\n'.join(body)))
    write_content_html(meta, sections, out)


def write_content_html(meta, sections, out):
    lines = []
    for items in sections:
        for it in items:
            tag = 'h%d' % it.level if it.kind == 'heading' else ('span' if it.kind == 'page' else 'p')
            lines.append('<%s id="%s">%s</%s>' % (tag, it.id, esc(spoken(it)), tag))
    with open(os.path.join(out, 'content.html'), 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">\n'
                '<head><title>%s</title></head>\n<body>\n%s\n</body>\n</html>\n'
                % (esc(meta['title']), '\n'.join(lines)))


SKIP_3 = {'page': 'pagenum', 'note': 'note', 'sidebar': 'sidebar'}


def write_daisy3(meta, sections, out, with_audio):
    uid = 'quimbo-sample-3'
    total = total_ms(sections)
    elapsed = 0
    for s, items in enumerate(sections):
        pars = []
        for it in items:
            test = SKIP_3.get(it.kind)
            attr = ' customTest="%s"' % test if test else ''
            pars.append('   <par id="p%s" class="%s"%s>\n'
                        '    <text src="book.xml#%s" id="t%s"/>\n'
                        '    <audio src="%s" clipBegin="%s" clipEnd="%s" id="a%s"/>\n'
                        '   </par>' % (it.id, it.kind, attr, it.id, it.id, audio_name(s), hms(it.begin),
                                       hms(it.end), it.id))
        dur = items[-1].end if items else 0
        with open(os.path.join(out, smil_name(s)), 'w', encoding='utf-8') as f:
            f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                    '<!DOCTYPE smil PUBLIC "-//NISO//DTD dtbsmil 2005-2//EN" '
                    '"http://www.daisy.org/z3986/2005/dtbsmil-2005-2.dtd">\n'
                    '<smil xmlns="http://www.w3.org/2001/SMIL20/">\n <head>\n'
                    '  <meta name="dtb:uid" content="%s"/>\n'
                    '  <meta name="dtb:totalElapsedTime" content="%s"/>\n'
                    '  <customAttributes>\n'
                    '   <customTest id="pagenum" defaultState="false" override="visible"/>\n'
                    '   <customTest id="note" defaultState="false" override="visible"/>\n'
                    '   <customTest id="sidebar" defaultState="false" override="visible"/>\n'
                    '  </customAttributes>\n'
                    ' </head>\n <body>\n  <seq id="root%d">\n%s\n  </seq>\n </body>\n</smil>\n'
                    % (uid, hms(elapsed), s + 1, '\n'.join(pars)))
        elapsed += dur

    # NCX: nav map nested by level, page list, nav lists for notes and sidebars.
    play = 0
    nav = []
    open_levels = []
    pages = []
    notes = []
    sidebars = []

    def label(it, s):
        a = '<audio src="%s" clipBegin="%s" clipEnd="%s"/>' % (audio_name(s), hms(it.begin), hms(it.end))
        return '<navLabel><text>%s</text>%s</navLabel>' % (esc(spoken(it)), a)

    first_heading = None
    for s, items in enumerate(sections):
        for it in items:
            play += 1
            src = '%s#p%s' % (smil_name(s), it.id)
            if it.kind == 'heading':
                if first_heading is None:
                    first_heading = (it, s)
                while open_levels and open_levels[-1] >= it.level:
                    nav.append('  ' * len(open_levels) + '</navPoint>')
                    open_levels.pop()
                open_levels.append(it.level)
                nav.append('  ' * len(open_levels) + '<navPoint id="n%s" class="h%d" playOrder="%d">%s'
                           '<content src="%s"/>' % (it.id, it.level, play, label(it, s), src))
            elif it.kind == 'page':
                pages.append('  <pageTarget id="n%s" type="normal" value="%s" playOrder="%d">%s'
                             '<content src="%s"/></pageTarget>' % (it.id, esc(it.text), play, label(it, s), src))
            elif it.kind in ('note', 'sidebar'):
                target = ('  <navTarget id="n%s" class="%s" playOrder="%d">%s<content src="%s"/></navTarget>'
                          % (it.id, it.kind, play, label(it, s), src))
                (notes if it.kind == 'note' else sidebars).append(target)
    while open_levels:
        nav.append('  ' * len(open_levels) + '</navPoint>')
        open_levels.pop()
    depth = max([it.level for items in sections for it in items if it.kind == 'heading'] or [1])
    title_audio = ''
    if first_heading:
        it, s = first_heading
        title_audio = '<audio src="%s" clipBegin="%s" clipEnd="%s"/>' % (audio_name(s), hms(it.begin), hms(it.end))
    navlists = ''
    for cls, entries in (('note', notes), ('sidebar', sidebars)):
        if entries:
            navlists += ('<navList class="%s"><navLabel><text>%ss</text></navLabel>\n%s\n</navList>\n'
                         % (cls, cls, '\n'.join(entries)))
    with open(os.path.join(out, 'navigation.ncx'), 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd">\n'
                '<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1" xml:lang="en">\n'
                '<head>\n<meta name="dtb:uid" content="%s"/>\n<meta name="dtb:depth" content="%d"/>\n'
                '<meta name="dtb:totalPageCount" content="%d"/>\n<meta name="dtb:maxPageNumber" content="%d"/>\n'
                '<smilCustomTest id="pagenum" defaultState="false" override="visible" bookStruct="PAGE_NUMBER"/>\n'
                '<smilCustomTest id="note" defaultState="false" override="visible" bookStruct="NOTE"/>\n'
                '<smilCustomTest id="sidebar" defaultState="false" override="visible" bookStruct="SIDEBAR"/>\n'
                '</head>\n'
                '<docTitle><text>%s</text>%s</docTitle>\n<docAuthor><text>%s</text></docAuthor>\n'
                '<navMap><navLabel><text>Contents</text></navLabel>\n%s\n</navMap>\n'
                '<pageList><navLabel><text>Pages</text></navLabel>\n%s\n</pageList>\n%s</ncx>\n'
                % (uid, depth, len(pages), len(pages), esc(meta['title']), title_audio, esc(meta['author']),
                   '\n'.join(nav), '\n'.join(pages), navlists))

    write_dtbook(meta, sections, out)
    items = ['<item id="opf" href="book.opf" media-type="text/xml"/>',
             '<item id="ncx" href="navigation.ncx" media-type="application/x-dtbncx+xml"/>',
             '<item id="xml" href="book.xml" media-type="application/x-dtbook+xml"/>']
    for s in range(len(sections)):
        items.append('<item id="smil%d" href="%s" media-type="application/smil"/>' % (s + 1, smil_name(s)))
        if with_audio:
            items.append('<item id="mp3_%d" href="%s" media-type="audio/mpeg"/>' % (s + 1, audio_name(s)))
    refs = ['<itemref idref="smil%d"/>' % (s + 1) for s in range(len(sections))]
    with open(os.path.join(out, 'book.opf'), 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<!DOCTYPE package PUBLIC "+//ISBN 0-9673008-1-9//DTD OEB 1.2 Package//EN" '
                '"http://openebook.org/dtds/oeb-1.2/oebpkg12.dtd">\n'
                '<package xmlns="http://openebook.org/namespaces/oeb-package/1.0/" unique-identifier="uid">\n'
                '<metadata><dc-metadata xmlns:dc="http://purl.org/dc/elements/1.1/" '
                'xmlns:oebpackage="http://openebook.org/namespaces/oeb-package/1.0/">\n'
                '<dc:Title>%s</dc:Title>\n<dc:Creator>%s</dc:Creator>\n<dc:Identifier id="uid">%s</dc:Identifier>\n'
                '<dc:Format>ANSI/NISO Z39.86-2005</dc:Format>\n<dc:Language>en</dc:Language>\n'
                '</dc-metadata>\n<x-metadata>\n<meta name="dtb:multimediaType" content="audioFullText"/>\n'
                '<meta name="dtb:totalTime" content="%s"/>\n</x-metadata></metadata>\n'
                '<manifest>\n%s\n</manifest>\n<spine>\n%s\n</spine>\n</package>\n'
                % (esc(meta['title']), esc(meta['author']), uid, hms(total), '\n'.join(items), '\n'.join(refs)))


def write_dtbook(meta, sections, out):
    lines = []
    for items in sections:
        for it in items:
            if it.kind == 'heading':
                lines.append('<h%d id="%s">%s</h%d>' % (it.level, it.id, esc(it.text), it.level))
            elif it.kind == 'page':
                lines.append('<pagenum id="%s" page="normal">%s</pagenum>' % (it.id, esc(it.text)))
            elif it.kind == 'note':
                lines.append('<note id="%s"><p>%s</p></note>' % (it.id, esc(it.text)))
            elif it.kind == 'sidebar':
                lines.append('<sidebar id="%s" render="optional"><p>%s</p></sidebar>' % (it.id, esc(it.text)))
            else:
                lines.append('<p id="%s">%s</p>' % (it.id, esc(it.text)))
    with open(os.path.join(out, 'book.xml'), 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<dtbook xmlns="http://www.daisy.org/z3986/2005/dtbook/" version="2005-3">\n'
                '<head><meta name="dc:Title" content="%s"/></head>\n<book><bodymatter><level>\n%s\n'
                '</level></bodymatter></book>\n</dtbook>\n' % (esc(meta['title']), '\n'.join(lines)))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--format', choices=['202', '3'], required=True)
    ap.add_argument('--outline', help='outline file (default: a built-in sample outline)')
    ap.add_argument('--out', required=True, help='book folder to write (replaced)')
    ap.add_argument('--no-audio', action='store_true', help='synthetic clip times, no audio files')
    ap.add_argument('--large', metavar='H,P,F,N',
                    help='synthetic book: H headings on 6 levels, P pages, F SMIL files of N phrases '
                         '(implies --no-audio), e.g. 3000,5000,600,40')
    args = ap.parse_args()

    if args.large:
        h, p, f, n = (int(x) for x in args.large.split(','))
        meta, sections = large_outline(h, p, f, n)
        args.no_audio = True
    else:
        text = DEFAULT_OUTLINE
        if args.outline:
            with open(args.outline, encoding='utf-8') as fh:
                text = fh.read()
        meta, sections = parse_outline(text)
    sections = [s for s in sections if s]
    if not sections:
        sys.exit('make-daisy-book: the outline has no content')
    assign_ids(sections)

    if not args.no_audio:
        for tool in ('espeak-ng', 'lame'):
            if not shutil.which(tool):
                sys.exit('make-daisy-book: %s is needed for audio (or use --no-audio)' % tool)
    # The book is written beside its final place and moved there whole, so an
    # interrupted run never leaves a half-written book that looks finished.
    out = os.path.normpath(args.out)
    part = out + '.part'
    if os.path.isdir(part):
        shutil.rmtree(part)
    os.makedirs(part)
    if args.no_audio:
        synthetic_times(sections)
    else:
        with tempfile.TemporaryDirectory() as work:
            make_audio(sections, part, work)
    if args.format == '202':
        write_daisy202(meta, sections, part)
    else:
        write_daisy3(meta, sections, part, not args.no_audio)
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.rename(part, out)


if __name__ == '__main__':
    main()
