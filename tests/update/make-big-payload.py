#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a large test program: a shell script that prints VERSION and exits, followed by
MIB mebibytes of fixed pseudo-random bytes that the shell never reaches and deflate cannot
shrink, so the package holds an entry of that size in earnest.

  make-big-payload.py OUT VERSION MIB"""
import os
import random
import sys


def main():
    out, version, mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    noise = random.Random(20260101)
    with open(out, "wb") as f:
        f.write(("#!/bin/sh\necho %s\nexit 0\n" % version).encode())
        for _ in range(mib):
            f.write(noise.randbytes(1 << 20))
    os.chmod(out, 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
