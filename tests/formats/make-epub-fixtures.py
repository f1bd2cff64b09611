#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Packs the small EPUB variants the parser tests open. Each case is a few
hand-written files; the mimetype entry comes first and is stored, as in a
real EPUB."""
import os
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

CONTAINER = """<?xml version="1.0" encoding="UTF-8"?>
<container xmlns="urn:oasis:names:tc:opendocument:xmlns:container" version="1.0">
  <rootfiles>
{rootfiles}
  </rootfiles>
</container>
"""


def rootfiles(*paths):
    return "\n".join('    <rootfile full-path="%s" media-type="application/oebps-package+xml"/>' % p for p in paths)


OPF = """<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="{version}" unique-identifier="uid">{first}
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
    <dc:identifier id="uid">urn:quimbo:fixture</dc:identifier>
    <dc:Title>Fixture Book</dc:Title>
    {language}
    <dc:creator>Quimbo Tests</dc:creator>
    <meta property="dcterms:modified">2026-01-01T00:00:00Z</meta>
    <meta name="media:duration" content="0:00:09"/>
    <meta property="media:duration" refines="#smil1">0:00:05.5</meta>
    <meta property="media:duration" refines="#smil2">3.5s</meta>
    <meta property="media:duration">0:00:09</meta>
    <meta property="media:narrator"></meta>
  </metadata>
  <manifest>
    <item id="ch1" href="Text/ch1.xhtml" media-type="application/xhtml+xml" media-overlay="smil1"/>
    <item id="ch2" href="Text/./ch2.xhtml" media-type="application/xhtml+xml" media-overlay="smil2"/>
    <item id="notes" href="Text/notes.xhtml" media-type="application/xhtml+xml"/>
    <item id="smil1" href="Smil/ch1.smil" media-type="application/smil+xml"/>
    <item id="smil2" href="Smil/ch2.smil" media-type="application/smil+xml"/>
    <item id="audio" href="../Audio/a.mp3" media-type="audio/mpeg"/>
    <item id="escaped" href="Text/Caf%C3%A9%201.xhtml" media-type="application/xhtml+xml"/>
    <item id="broken" media-type="text/css"/>
  </manifest>
  <spine>
    <itemref idref="ch1"/>
    <itemref idref="notes" linear="no"/>
    <itemref idref="ch2" linear="yes"/>
    <itemref idref="unknown"/>
    <itemref/>
    <itemref idref="ch1"/>
  </spine>
</package>
"""

SMIL = """<?xml version="1.0" encoding="UTF-8"?>
<smil xmlns="http://www.w3.org/ns/SMIL" version="3.0"><body>
<par id="p1"><text src="../Text/{ch}.xhtml#s1"/><audio src="../../Audio/a.mp3" clipBegin="0s" clipEnd="{end}"/></par>
</body></smil>
"""

LANGUAGE = "<dc:language>en</dc:language>"


def opf(version="3.0", language=LANGUAGE, first=""):
    return OPF.format(version=version, language=language, first=first)


def base(**opf_args):
    return {
        "META-INF/container.xml": CONTAINER.format(rootfiles=rootfiles("OEBPS/content.opf")),
        "OEBPS/content.opf": opf(**opf_args),
        "OEBPS/Text/ch1.xhtml": "<html><body><p id='s1'>One.</p></body></html>",
        "OEBPS/Text/ch2.xhtml": "<html><body><p id='s1'>Two.</p></body></html>",
        "OEBPS/Text/notes.xhtml": "<html><body><p>Notes.</p></body></html>",
        "OEBPS/Text/Café 1.xhtml": "<html><body><p>Escaped.</p></body></html>",
        "OEBPS/Smil/ch1.smil": SMIL.format(ch="ch1", end="5.5s"),
        "OEBPS/Smil/ch2.smil": SMIL.format(ch="ch2", end="3.5s"),
        "Audio/a.mp3": "ID3 not really audio, but bytes to compare",
    }


def deep(levels):
    return "<?xml version='1.0'?>" + "<a>" * levels + "</a>" * levels


cases = {
    "good": (b"application/epub+zip", base()),
    "mimetype-newline": (b"application/epub+zip\n", base()),
    "version-2": (b"application/epub+zip", base(version="2.0")),
    "no-language": (b"application/epub+zip", base(language="")),
    "comment-first": (b"application/epub+zip", base(first="<!-- metadata follows -->")),
    "instruction-first": (b"application/epub+zip", base(first="<?oxygen RNGSchema='package.rnc'?>")),
    "no-container": (b"application/epub+zip", {k: v for k, v in base().items() if not k.startswith("META-INF")}),
    "malformed-opf": (b"application/epub+zip", dict(base(), **{"OEBPS/content.opf": opf()[:700]})),
    "wrong-root": (b"application/epub+zip", dict(base(), **{"OEBPS/content.opf": opf().replace("<package ", "<opf:package xmlns:opf='x' ").replace("</package>", "</opf:package>")})),
    "second-rootfile": (b"application/epub+zip", dict(base(), **{"META-INF/container.xml": CONTAINER.format(rootfiles=rootfiles("OEBPS/missing.opf", "", "OEBPS/content.opf"))})),
    "undeclared-prefix": (b"application/epub+zip", dict(base(), **{"OEBPS/content.opf": opf().replace(' xmlns:dc="http://purl.org/dc/elements/1.1/"', "")})),
    "deep-container": (b"application/epub+zip", dict(base(), **{"META-INF/container.xml": deep(50000)})),
}

for name, (mimetype, files) in cases.items():
    with zipfile.ZipFile(os.path.join(out, name + ".epub"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), mimetype, zipfile.ZIP_STORED)
        for path, text in files.items():
            z.writestr(path, text)

# A leading stub: the archive no longer starts with a local header.
with open(os.path.join(out, "good.epub"), "rb") as f:
    good = f.read()
with open(os.path.join(out, "not-zip.epub"), "wb") as f:
    f.write(b"MZ" + b"\0" * 62 + good)
