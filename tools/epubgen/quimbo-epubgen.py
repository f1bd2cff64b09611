#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes an EPUB 3 book with media overlays: one XHTML chapter per entry of
--chapter, narrated by espeak-ng, encoded to MP3 by lame, a SMIL overlay per
chapter whose clips follow the sentences, and media:duration metadata for
every overlay and for the whole book.

  quimbo-epubgen.py OUT.epub --title "A Book" --chapter "First. Second." --chapter "Third."

The package document sits in OEBPS/, the audio in Audio/ beside it, so the
manifest and the overlays reach the audio with "../".

--split-audio gives every sentence an audio file of its own (as many
narrated books do: one file per paragraph). --variant writes the overlay of
the chapter of the same position the way test suites write theirs:
  plain       as above
  open-ends   no clipBegin on the first clip, no clipEnd on the last one
  past-end    the last clipEnd lies 30 s past the end of the audio
  mo          the overlay document is named chapterN.mo
  bad-text    the text targets do not resolve
  no-audio    the overlay has text only, no audio at all
  svg         the chapter is an SVG page of a fixed-layout book
  vertical    the chapter is set vertically, right to left (as Japanese books)"""
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


def encode(tmp, name, params, frames, files):
    """Joins the sentences' PCM into one WAV and encodes it as Audio/NAME.mp3."""
    joined = os.path.join(tmp, name + ".wav")
    with wave.open(joined, "wb") as w:
        w.setparams(params)
        for data in frames:
            w.writeframes(data)
    mp3 = os.path.join(tmp, name + ".mp3")
    subprocess.run(["lame", "--quiet", "-b", "32", joined, mp3], check=True)
    with open(mp3, "rb") as f:
        files["Audio/%s.mp3" % name] = f.read()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output")
    ap.add_argument("--title", default="Generated Book")
    ap.add_argument("--language", default="en")
    ap.add_argument("--voice", default="en")
    ap.add_argument("--identifier", default=None)
    ap.add_argument("--chapter", action="append", default=[], help="text of one chapter (repeatable)")
    ap.add_argument("--no-durations", action="store_true", help="leave out the media:duration metadata")
    ap.add_argument("--split-audio", action="store_true", help="one audio file per sentence")
    ap.add_argument("--variant", action="append", default=[], help="overlay variant of the chapter at the same position (repeatable)")
    args = ap.parse_args()
    chapters = args.chapter or ["This is the first chapter.", "This is the second chapter."]
    identifier = args.identifier or "urn:quimbo:" + re.sub(r"\W+", "-", args.title.lower())

    files = {}
    durations = []
    chapter_variants = []
    overlays = []
    text_docs = []
    audio_names = []
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
            variant = args.variant[n - 1] if n - 1 < len(args.variant) else "plain"
            if args.split_audio:
                # One file per sentence: every clip starts at 0 in a file of its own.
                audio_files = []
                for k, data in enumerate(frames, 1):
                    name = "chapter%d-%d" % (n, k)
                    encode(tmp, name, params, [data], files)
                    audio_files.append(name + ".mp3")
                clips = [(k, s_, 0.0, e - b) for (k, s_, b, e) in clips]
            else:
                encode(tmp, "chapter%d" % n, params, frames, files)
                audio_files = ["chapter%d.mp3" % n] * len(clips)
            durations.append(position)
            chapter_variants.append(variant)

            text_doc = "Text/chapter%d.%s" % (n, "svg" if variant == "svg" else "xhtml")
            body = "\n".join('<p id="s%d">%s</p>' % (k, html.escape(s_)) for k, s_, _, _ in clips)
            if variant == "svg":
                texts = "\n".join('<text id="s%d" x="10" y="%d">%s</text>' % (k, 30 * k, html.escape(s_)) for k, s_, _, _ in clips)
                files["OEBPS/" + text_doc] = (
                    '<?xml version="1.0" encoding="UTF-8"?>\n'
                    '<svg xmlns="http://www.w3.org/2000/svg" version="1.1" viewBox="0 0 600 800">\n%s\n</svg>\n' % texts)
            else:
                style = ' style="writing-mode: vertical-rl"' if variant == "vertical" else ""
                files["OEBPS/" + text_doc] = (
                    '<?xml version="1.0" encoding="UTF-8"?>\n'
                    '<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops">\n'
                    "<head><title>Chapter %d</title></head>\n<body%s>\n<h1>Chapter %d</h1>\n%s\n</body>\n</html>\n" % (n, style, n, body))
            pars = []
            for i, (k, _, b, e) in enumerate(clips):
                target = "../%s#s%d" % (text_doc, k) if variant != "bad-text" else "../Text/nowhere.xhtml#missing%d" % k
                begin = ' clipBegin="%s"' % clock(b)
                end = ' clipEnd="%s"' % clock(e)
                if variant == "open-ends" and i == 0:
                    begin = ""
                if variant == "open-ends" and i == len(clips) - 1:
                    end = ""
                if variant == "past-end" and i == len(clips) - 1:
                    end = ' clipEnd="%s"' % clock(e + 30)
                audio = '<audio src="../../Audio/%s"%s%s/>' % (audio_files[i], begin, end)
                if variant == "no-audio":
                    audio = ""
                pars.append('  <par id="p%d"><text src="%s"/>%s</par>' % (k, target, audio))
            overlay = "OEBPS/Smil/chapter%d.%s" % (n, "mo" if variant == "mo" else "smil")
            files[overlay] = (
                '<?xml version="1.0" encoding="UTF-8"?>\n'
                '<smil xmlns="http://www.w3.org/ns/SMIL" xmlns:epub="http://www.idpf.org/2007/ops" version="3.0">\n'
                '<body>\n<seq id="seq1" epub:textref="../%s">\n%s\n</seq>\n</body>\n</smil>\n' % (text_doc, "\n".join(pars)))
            overlays.append(overlay[len("OEBPS/"):])
            text_docs.append(text_doc)
            audio_names.append(sorted(set(audio_files)))

    meta = []
    if not args.no_durations:
        meta += ['    <meta property="media:duration" refines="#smil%d">%s</meta>' % (n, clock(d)) for n, d in enumerate(durations, 1)]
        meta.append('    <meta property="media:duration">%s</meta>' % clock(sum(durations)))
    manifest = ['    <item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>']
    spine = []
    audio_id = 0
    for n in range(1, len(chapters) + 1):
        svg = chapter_variants[n - 1] == "svg"
        manifest.append('    <item id="chapter%d" href="%s" media-type="%s" media-overlay="smil%d"/>'
                        % (n, text_docs[n - 1], "image/svg+xml" if svg else "application/xhtml+xml", n))
        manifest.append('    <item id="smil%d" href="%s" media-type="application/smil+xml"/>' % (n, overlays[n - 1]))
        for name in audio_names[n - 1]:
            audio_id += 1
            manifest.append('    <item id="audio%d" href="../Audio/%s" media-type="audio/mpeg"/>' % (audio_id, name))
        spine.append('    <itemref idref="chapter%d"/>' % n)
    if "svg" in chapter_variants:
        meta.append('    <meta property="rendition:layout">pre-paginated</meta>')
    progression = ' page-progression-direction="rtl"' if "vertical" in chapter_variants else ""
    files["OEBPS/content.opf"] = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="uid">\n'
        '  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">\n'
        '    <dc:identifier id="uid">%s</dc:identifier>\n    <dc:title>%s</dc:title>\n    <dc:language>%s</dc:language>\n'
        '    <meta property="dcterms:modified">2026-01-01T00:00:00Z</meta>\n%s\n  </metadata>\n'
        "  <manifest>\n%s\n  </manifest>\n  <spine%s>\n%s\n  </spine>\n</package>\n"
        % (html.escape(identifier), html.escape(args.title), args.language, "\n".join(meta), "\n".join(manifest), progression,
           "\n".join(spine)))
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
