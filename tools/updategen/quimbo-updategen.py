#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes an update package: a zip file with update.xml and the payload.

  quimbo-updategen.py OUT.zip --version 3.6.0 --minimum-version 3.5.0 \\
      --firmware build/quimbo-basic /root/quimbo/bin/quimbo-basic 3.6.0 \\
      --file settings.ini /root/quimbo \\
      --dir prompts/eng voices/eng/ /root/quimbo/messages/eng

Payload hrefs: firmware/<name>, plugins/<name>, data/<name>, and for --dir the
given href followed by each file's path below the source folder. --entry adds
an entry under any name (also names a device must refuse), --xml replaces the
generated update.xml, --no-xml leaves it out."""
import argparse
import os
import sys
import zipfile
from xml.sax.saxutils import quoteattr


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output")
    ap.add_argument("--target", default="quimbo-basic", help="application name of the product")
    ap.add_argument("--minimum-version", default="3.5.0")
    ap.add_argument("--version", default="3.6.0", help="version of the package")
    ap.add_argument("--firmware", nargs=3, metavar=("SRC", "DEST", "VERSION"))
    ap.add_argument("--plugin", nargs=2, action="append", default=[], metavar=("SRC", "DEST_DIR"))
    ap.add_argument("--file", nargs=2, action="append", default=[], metavar=("SRC", "DEST_DIR"))
    ap.add_argument("--dir", nargs=3, action="append", default=[], metavar=("SRC_DIR", "HREF", "DEST_DIR"))
    ap.add_argument("--entry", nargs=2, action="append", default=[], metavar=("NAME", "SRC"))
    ap.add_argument("--xml", help="use this update.xml as it is")
    ap.add_argument("--no-xml", action="store_true")
    args = ap.parse_args()

    entries = []  # (name, source file)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<kalUpdate version=%s>" % quoteattr(args.version),
             "  <target id=%s minimumVersion=%s/>" % (quoteattr(args.target), quoteattr(args.minimum_version))]
    if args.firmware:
        src, dest, version = args.firmware
        href = "firmware/" + os.path.basename(src)
        entries.append((href, src))
        lines.append("  <firmware href=%s dest=%s version=%s/>" % (quoteattr(href), quoteattr(dest), quoteattr(version)))
    if args.plugin:
        lines.append("  <plugins>")
        for src, dest in args.plugin:
            href = "plugins/" + os.path.basename(src)
            entries.append((href, src))
            lines.append("    <plugin href=%s dest=%s/>" % (quoteattr(href), quoteattr(dest)))
        lines.append("  </plugins>")
    if args.file or args.dir:
        lines.append("  <datapackages>")
        for src, dest in args.file:
            href = "data/" + os.path.basename(src)
            entries.append((href, src))
            lines.append('    <packages type="file" href=%s dest=%s/>' % (quoteattr(href), quoteattr(dest)))
        for src, href, dest in args.dir:
            for folder, _, names in sorted(os.walk(src)):
                for name in sorted(names):
                    path = os.path.join(folder, name)
                    entries.append((href + os.path.relpath(path, src).replace(os.sep, "/"), path))
            lines.append('    <packages type="dir" href=%s dest=%s/>' % (quoteattr(href), quoteattr(dest)))
        lines.append("  </datapackages>")
    lines.append("</kalUpdate>")
    entries += [tuple(e) for e in args.entry]

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with zipfile.ZipFile(args.output, "w", zipfile.ZIP_DEFLATED) as z:
        if args.xml:
            z.write(args.xml, "update.xml")
        elif not args.no_xml:
            z.writestr("update.xml", "\n".join(lines) + "\n")
        for name, src in entries:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = (0o100755 if os.access(src, os.X_OK) else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(src, "rb") as f:
                z.writestr(info, f.read())
    return 0


if __name__ == "__main__":
    sys.exit(main())
