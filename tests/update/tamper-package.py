#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Copies an update package the way an attacker would alter a signed one.

  tamper-package.py IN.zip OUT.zip --change NAME OFFSET   flip one bit of one byte of an entry
                                   --truncate NAME        drop the last byte of an entry
                                   --drop NAME            leave an entry out
                                   --add NAME SRC         add an entry at the end

Entries keep their order, names, dates and compression, so a stored package
changed in one byte keeps every offset: it can replace the original in place."""
import argparse
import sys
import zipfile


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("input")
    ap.add_argument("output")
    ap.add_argument("--change", nargs=2, metavar=("NAME", "OFFSET"))
    ap.add_argument("--truncate", metavar="NAME")
    ap.add_argument("--drop", metavar="NAME")
    ap.add_argument("--add", nargs=2, metavar=("NAME", "SRC"))
    args = ap.parse_args()

    touched = False
    with zipfile.ZipFile(args.input) as src, zipfile.ZipFile(args.output, "w") as out:
        for old in src.infolist():
            data = src.read(old)
            if args.drop == old.filename:
                touched = True
                continue
            if args.change and args.change[0] == old.filename:
                offset = int(args.change[1])
                data = data[:offset] + bytes([data[offset] ^ 0x20]) + data[offset + 1:]
                touched = True
            if args.truncate == old.filename:
                data = data[:-1]
                touched = True
            info = zipfile.ZipInfo(old.filename, date_time=old.date_time)
            info.external_attr = old.external_attr
            info.compress_type = old.compress_type
            out.writestr(info, data)
        if args.add:
            name, path = args.add
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                out.writestr(info, f.read())
            touched = True
    if not touched:
        sys.exit("tamper-package: nothing in %s matched" % args.input)
    return 0


if __name__ == "__main__":
    sys.exit(main())
