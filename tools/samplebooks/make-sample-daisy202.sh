#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the built-in sample DAISY 2.02 book (spoken by espeak-ng, MP3 by lame) into the folder $1.
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
exec python3 "$(dirname "$0")/make-daisy-book.py" --format 202 --out "$1"
