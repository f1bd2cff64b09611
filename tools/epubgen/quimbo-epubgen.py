#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes an EPUB 3 book with media overlays: one XHTML chapter per entry of
--chapter, narrated by espeak-ng, encoded to MP3 by lame, a SMIL overlay per
chapter whose clips follow the sentences, and media:duration metadata for
every overlay and for the whole book.

  quimbo-epubgen.py OUT.epub --title "A Book" --chapter "First. Second." --chapter "Third."

The package document sits in OEBPS/, the audio in Audio/ beside it, so the
manifest and the overlays reach the audio with "../"."""
import argparse
import html
import os
import re
import subprocess
import sys
import tempfile
import wave
import zipfile


def clock(seconds):
    ms = int(round(seconds * 1000))
    return "%d:%02d:%02d.%03d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000)


def sentences(text):
    return [s.strip() for s in re.split(r"(?<=[.!?])\s+", text) if s.strip()]


def speak(text, voice, wav):
    subprocess.run(["espeak-ng", "-v", voice, "-s", "190", "-w", wav, text], check=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output")
    ap.add_argument("--title", default="Generated Book")
    ap.add_argument("--language", default="en")
    ap.add_argument("--voice", default="en")
    ap.add_argument("--identifier", default=None)
    ap.add_argument("--chapter", action="append", default=[], help="text of one chapter (repeatable)")
    ap.add_argument("--no-durations", action="store_true", help="leave out the media:duration metadata")
    args = ap.parse_args()
    chapters = args.chapter or ["This is the first chapter.", "This is the second chapter."]
    identifier = args.identifier or "urn:quimbo:" + re.sub(r"\W+", "-", args.title.lower())

    files = {}
    durations = []
    with tempfile.TemporaryDirectory() as tmp:
        for n, text in enumerate(chapters, 1):
            parts = sentences(text) or [text]
            frames = []
            params = None
            clips = []
            position = 0.0
            for k, sentence in enumerate(parts, 1):
                wav = os.path.join(tmp, "c%d-%d.wav" % (n, k))
                speak(sentence, args.voice, wav)
                with wave.open(wav, "rb") as w:
                    params = w.getparams()
                    data = w.readframes(w.getnframes())
                    length = w.getnframes() / w.getframerate()
                frames.append(data)
                clips.append((k, sentence, position, position + length))
                position += length
            joined = os.path.join(tmp, "chapter%d.wav" % n)
            with wave.open(joined, "wb") as w:
                w.setparams(params)
                for data in frames:
                    w.writeframes(data)
            mp3 = os.path.join(tmp, "chapter%d.mp3" % n)
            subprocess.run(["lame", "--quiet", "-b", "32", joined, mp3], check=True)
            with open(mp3, "rb") as f:
                files["Audio/chapter%d.mp3" % n] = f.read()
            durations.append(position)

            body = "\n".join('<p id="s%d">%s</p>' % (k, html.escape(s)) for k, s, _, _ in clips)
            files["OEBPS/Text/chapter%d.xhtml" % n] = (
                '<?xml version="1.0" encoding="UTF-8"?>\n'
                '<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops">\n'
                "<head><title>Chapter %d</title></head>\n<body>\n<h1>Chapter %d</h1>\n%s\n</body>\n</html>\n" % (n, n, body))
            pars = "\n".join(
                '  <par id="p%d"><text src="../Text/chapter%d.xhtml#s%d"/>'
                '<audio src="../../Audio/chapter%d.mp3" clipBegin="%s" clipEnd="%s"/></par>' % (k, n, k, n, clock(b), clock(e))
                for k, _, b, e in clips)
            files["OEBPS/Smil/chapter%d.smil" % n] = (
                '<?xml version="1.0" encoding="UTF-8"?>\n'
                '<smil xmlns="http://www.w3.org/ns/SMIL" xmlns:epub="http://www.idpf.org/2007/ops" version="3.0">\n'
                '<body>\n<seq id="seq1" epub:textref="../Text/chapter%d.xhtml">\n%s\n</seq>\n</body>\n</smil>\n' % (n, pars))

    meta = []
    if not args.no_durations:
        meta += ['    <meta property="media:duration" refines="#smil%d">%s</meta>' % (n, clock(d)) for n, d in enumerate(durations, 1)]
        meta.append('    <meta property="media:duration">%s</meta>' % clock(sum(durations)))
    manifest = ['    <item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>']
    spine = []
    for n in range(1, len(chapters) + 1):
        manifest.append('    <item id="chapter%d" href="Text/chapter%d.xhtml" media-type="application/xhtml+xml" media-overlay="smil%d"/>' % (n, n, n))
        manifest.append('    <item id="smil%d" href="Smil/chapter%d.smil" media-type="application/smil+xml"/>' % (n, n))
        manifest.append('    <item id="audio%d" href="../Audio/chapter%d.mp3" media-type="audio/mpeg"/>' % (n, n))
        spine.append('    <itemref idref="chapter%d"/>' % n)
    files["OEBPS/content.opf"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="uid">\n'
        '  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">\n'
        '    <dc:identifier id="uid">%s</dc:identifier>\n    <dc:title>%s</dc:title>\n    <dc:language>%s</dc:language>\n'
        '    <meta property="dcterms:modified">2026-01-01T00:00:00Z</meta>\n%s\n  </metadata>\n'
        "  <manifest>\n%s\n  </manifest>\n  <spine>\n%s\n  </spine>\n</package>\n"
        % (html.escape(identifier), html.escape(args.title), args.language, "\n".join(meta), "\n".join(manifest), "\n".join(spine)))
    items = "\n".join('<li><a href="Text/chapter%d.xhtml">Chapter %d</a></li>' % (n, n) for n in range(1, len(chapters) + 1))
    files["OEBPS/nav.xhtml"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><head><title>Contents</title></head>\n'
        '<body><nav epub:type="toc"><ol>\n%s\n</ol></nav></body></html>\n' % items)
    files["META-INF/container.xml"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<container xmlns="urn:oasis:names:tc:opendocument:xmlns:container" version="1.0">\n'
        '  <rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles>\n'
        "</container>\n")

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with zipfile.ZipFile(args.output, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), b"application/epub+zip", zipfile.ZIP_STORED)
        for name in sorted(files):
            data = files[name]
            # MP3 does not deflate: store it, as EPUB tools do.
            z.writestr(name, data if isinstance(data, bytes) else data.encode(),
                       zipfile.ZIP_STORED if name.endswith(".mp3") else zipfile.ZIP_DEFLATED)
    return 0


if __name__ == "__main__":
    sys.exit(main())
