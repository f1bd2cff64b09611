#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Builds the ZIP archives the reader tests open: made by Info-ZIP zip and by
Python's zipfile, then some of them damaged on purpose."""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

CONTENT = b"".join(b"line %05d of the same text, stored and deflated\n" % i for i in range(2000))


def path(name):
    return os.path.join(out, name)


with tempfile.TemporaryDirectory() as tmp:
    tree = os.path.join(tmp, "tree")
    os.makedirs(os.path.join(tree, "Folder", "Sub"))
    with open(os.path.join(tree, "text.txt"), "wb") as f:
        f.write(CONTENT)
    with open(os.path.join(tree, "Folder", "Sub", "deep.txt"), "wb") as f:
        f.write(b"deep\n")
    with open(os.path.join(tree, "Readme.TXT"), "wb") as f:
        f.write(b"mixed case\n")
    for name, level in (("stored.zip", "-0"), ("deflated.zip", "-9")):
        target = path(name)
        if os.path.exists(target):
            os.remove(target)
        subprocess.run(["zip", "-q", "-X", "-r", level, target, "."], cwd=tree, check=True)

# Archive comment of exactly 100 bytes after the end record.
with zipfile.ZipFile(path("comment.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("a.txt", b"commented archive\n")
    z.comment = b"C" * 100

# A self-extractor style stub in front: the file no longer starts with a local header.
with open(path("deflated.zip"), "rb") as f:
    plain = f.read()
with open(path("stub.zip"), "wb") as f:
    f.write(b"MZ" + b"\0" * 510 + plain)

# Names: UTF-8 with flag bit 11, Latin-1 without it, and UTF-8 without it
# (what Info-ZIP and most archivers write).
with zipfile.ZipFile(path("names.zip"), "w") as z:
    z.writestr("caf\u00e9-utf8.txt", b"utf8 name\n")
    z.writestr("cafX-latin1.txt", b"latin1 name\n")
    z.writestr("Kapitel_XX.mp3", b"unflagged utf8 name\n")
data = open(path("names.zip"), "rb").read().replace(b"cafX-latin1", b"caf\xe9-latin1")
data = data.replace(b"Kapitel_XX", "Kapitel_\u00fc".encode("utf-8"))
open(path("names.zip"), "wb").write(data)

# MS-DOS host attributes: a directory (0x10), a read-only file (0x01), a plain file.
with zipfile.ZipFile(path("dos.zip"), "w") as z:
    for name, attr, content in (("DIR/", 0x10, b""), ("DIR/READONLY.TXT", 0x01, b"ro\n"), ("DIR/PLAIN.TXT", 0x20, b"rw\n")):
        info = zipfile.ZipInfo(name, date_time=(2020, 3, 6, 11, 11, 52))
        info.create_system = 0
        info.external_attr = attr
        z.writestr(info, content)
    info = zipfile.ZipInfo("amiga.txt")
    info.create_system = 1
    z.writestr(info, b"other host\n")


def central_offset(blob, name):
    i = blob.find(b"PK\x01\x02")
    while i >= 0:
        n = struct.unpack_from("<H", blob, i + 28)[0]
        if blob[i + 46:i + 46 + n] == name:
            return i
        i = blob.find(b"PK\x01\x02", i + 4)
    raise SystemExit("entry not found: %r" % name)


def patched(source, target, fn):
    blob = bytearray(open(path(source), "rb").read())
    fn(blob)
    open(path(target), "wb").write(bytes(blob))


with zipfile.ZipFile(path("small.zip"), "w") as z:
    z.writestr(zipfile.ZipInfo("stored.txt"), b"stored entry\n", zipfile.ZIP_STORED)
    z.writestr(zipfile.ZipInfo("deflated.txt"), CONTENT, zipfile.ZIP_DEFLATED)
small = open(path("small.zip"), "rb").read()
eod = small.rfind(b"PK\x05\x06")
cd = struct.unpack_from("<I", small, eod + 16)[0]

# Cut inside the central directory: the end record is gone.
open(path("truncated-cd.zip"), "wb").write(small[:cd + 20])
# End record pointing past the end of the file.
patched("small.zip", "eod-outside.zip", lambda b: struct.pack_into("<I", b, eod + 16, len(b) + 1000))
# Claims more entries than the directory holds.
patched("small.zip", "too-many-entries.zip", lambda b: struct.pack_into("<HH", b, eod + 8, 40, 40))


def deflated_entry_offsets(blob):
    c = central_offset(blob, b"deflated.txt")
    comp = struct.unpack_from("<I", blob, c + 20)[0]
    local = struct.unpack_from("<I", blob, c + 42)[0]
    start = local + 30 + struct.unpack_from("<HH", blob, local + 26)[0] + struct.unpack_from("<HH", blob, local + 26)[1]
    return c, local, start, comp


c, local, start, comp = deflated_entry_offsets(small)
# Garbage in the middle of the deflate stream.
def corrupt(b):
    for k in range(start + 10, start + 60):
        b[k] = 0xFF
patched("small.zip", "corrupt-deflate.zip", corrupt)
# A compressed size far beyond the end of the file.
patched("small.zip", "size-beyond-end.zip", lambda b: struct.pack_into("<I", b, c + 20, 0x7FFFFFF0))
# An uncompressed size of 4 GB for a small stream: only the real bytes come out.
patched("small.zip", "claims-4gb.zip", lambda b: struct.pack_into("<I", b, c + 24, 0xFFFFFFFF))
# Needs a newer ZIP version, is encrypted, uses an unknown method.
patched("small.zip", "version-45.zip", lambda b: struct.pack_into("<H", b, c + 6, 45))
patched("small.zip", "encrypted.zip", lambda b: struct.pack_into("<H", b, local + 6, 1))
patched("small.zip", "method-12.zip", lambda b: struct.pack_into("<H", b, c + 10, 12))
# Bytes that do not match the CRC-32 in the directory, stored and deflated.
stored_c = central_offset(small, b"stored.txt")
patched("small.zip", "crc-stored.zip", lambda b: struct.pack_into("<I", b, stored_c + 16, struct.unpack_from("<I", b, stored_c + 16)[0] ^ 1))
patched("small.zip", "crc-deflated.zip", lambda b: struct.pack_into("<I", b, c + 16, struct.unpack_from("<I", b, c + 16)[0] ^ 0x80000000))
# Local header offset pointing past the end.
patched("small.zip", "local-outside.zip", lambda b: struct.pack_into("<I", b, c + 42, len(b) + 5))
# A stream shorter than its entry says: the deflate data ends early.
with open(path("truncated-data.zip"), "wb") as f:
    blob = bytearray(small)
    struct.pack_into("<I", blob, c + 20, 20)
    f.write(bytes(blob))

# A zip bomb: 300 MB of zeros deflated to a few hundred KB, sizes told truthfully.
compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
chunk = b"\0" * (1 << 20)
parts = [compressor.compress(chunk) for _ in range(300)]
parts.append(compressor.flush())
stream = b"".join(parts)
crc = 0
for _ in range(300):
    crc = zlib.crc32(chunk, crc)
name = b"zeros.bin"
size = 300 << 20
local_header = struct.pack("<IHHHHHIIIHH", 0x04034b50, 20, 0, 8, 0, 0x5021, crc, len(stream), size, len(name), 0) + name
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014b50, 0x0314, 20, 0, 8, 0, 0x5021, crc, len(stream), size, len(name), 0, 0, 0, 0, 0o100644 << 16, 0) + name
end = struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 1, 1, len(central), len(local_header) + len(stream), 0)
open(path("bomb.zip"), "wb").write(local_header + stream + central + end)
