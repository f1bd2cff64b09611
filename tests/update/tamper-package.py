#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Copies an update package the way an attacker would alter a signed one.

  tamper-package.py IN.zip OUT.zip --change NAME OFFSET   flip one bit of one byte of an entry
                                   --keep-crc             with --change: also alter the 4 bytes after
                                                          it so that the entry keeps its CRC-32
                                   --corrupt NAME OFFSET  flip one bit in a stored entry's bytes in
                                                          the archive, leaving its recorded CRC-32
                                   --truncate NAME        drop the last byte of an entry
                                   --drop NAME            leave an entry out
                                   --add NAME SRC         add an entry at the end

Entries keep their order, names, dates and compression, so a stored package
changed in one byte keeps every offset: it can replace the original in place."""
import argparse
import struct
import sys
import zipfile


def keep_crc(data, original, at):
    """Alters data[at:at+4] so that data has the CRC-32 of original again.

    CRC-32 is affine over GF(2): flipping a bit changes the CRC by a fixed vector
    that depends only on the bit's place, so the 32 bits at `at` can cancel any change."""
    if at + 4 > len(data):
        sys.exit("tamper-package: no 4 bytes after the change to keep the CRC-32 with")
    zeros = bytes(len(data))
    base = zipfile.crc32(zeros)
    columns = []
    for bit in range(32):
        flipped = bytearray(zeros)
        flipped[at + bit // 8] ^= 1 << (bit % 8)
        columns.append(zipfile.crc32(bytes(flipped)) ^ base)
    target = zipfile.crc32(data) ^ zipfile.crc32(original)
    # Gaussian elimination: rows are (column vector, mask of the bits it is made of).
    rows = [(columns[bit], 1 << bit) for bit in range(32)]
    basis = {}
    for vector, mask in rows:
        for pivot in sorted(basis, reverse=True):
            if vector >> pivot & 1:
                vector ^= basis[pivot][0]
                mask ^= basis[pivot][1]
        if vector:
            basis[vector.bit_length() - 1] = (vector, mask)
    choice = 0
    for pivot in sorted(basis, reverse=True):
        if target >> pivot & 1:
            target ^= basis[pivot][0]
            choice ^= basis[pivot][1]
    if target:
        sys.exit("tamper-package: cannot keep the CRC-32 here")
    out = bytearray(data)
    for bit in range(32):
        if choice >> bit & 1:
            out[at + bit // 8] ^= 1 << (bit % 8)
    assert zipfile.crc32(bytes(out)) == zipfile.crc32(original)
    return bytes(out)


def corrupt_in_place(path, name, offset):
    """Flips one bit of a stored entry's bytes in the archive file; its CRC-32 stays as recorded."""
    with zipfile.ZipFile(path) as z:
        info = z.getinfo(name)
    if info.compress_type != zipfile.ZIP_STORED:
        sys.exit("tamper-package: --corrupt needs a stored entry, %s is compressed" % name)
    with open(path, "r+b") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = struct.unpack("<HH", f.read(4))
        at = info.header_offset + 30 + name_length + extra_length + offset
        f.seek(at)
        byte = f.read(1)[0]
        f.seek(at)
        f.write(bytes([byte ^ 0x20]))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("input")
    ap.add_argument("output")
    ap.add_argument("--change", nargs=2, metavar=("NAME", "OFFSET"))
    ap.add_argument("--keep-crc", action="store_true")
    ap.add_argument("--corrupt", nargs=2, metavar=("NAME", "OFFSET"))
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
                changed = data[:offset] + bytes([data[offset] ^ 0x20]) + data[offset + 1:]
                data = keep_crc(changed, data, offset + 1) if args.keep_crc else changed
                touched = True
            if args.corrupt and args.corrupt[0] == old.filename:
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
    if args.corrupt:
        corrupt_in_place(args.output, args.corrupt[0], int(args.corrupt[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
