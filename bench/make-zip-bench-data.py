#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Archives for the ZIP benchmark, made once by Info-ZIP zip: 2,000 small
entries, and one 50 MB entry both stored and deflated. The big entry is
word-like text from a fixed seed, so it deflates about as well as the XML and
text of a book does."""
import os
import random
import subprocess
import sys
import tempfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(20261206)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 11))) for _ in range(5000)]

with tempfile.TemporaryDirectory() as tmp:
    many = os.path.join(tmp, "many")
    for i in range(2000):
        folder = os.path.join(many, "chapter%02d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "page%04d.xhtml" % i), "w") as f:
            f.write("<p>%s</p>\n" % " ".join(rng.choice(words) for _ in range(40)))
    target = os.path.join(out, "many.zip")
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(["zip", "-q", "-r", "-D", target, "."], cwd=many, check=True)

    big = os.path.join(tmp, "big.txt")
    size = 50 * 1000 * 1000
    with open(big, "w") as f:
        written = 0
        while written < size:
            line = " ".join(rng.choice(words) for _ in range(12)) + "\n"
            f.write(line)
            written += len(line)
    with open(big, "r+") as f:
        f.truncate(size)
    for name, level in (("big-stored.zip", "-0"), ("big-deflated.zip", "-6")):
        target = os.path.join(out, name)
        if os.path.exists(target):
            os.remove(target)
        subprocess.run(["zip", "-q", "-j", level, target, big], check=True)
