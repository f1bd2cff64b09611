#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Makes the twelve sound effects compiled into the firmware (resources/sounds/*.wav):
# mono 22050 Hz 16-bit sine tones with soft edges, all well under a second
# except the start-up and shutdown tunes. The output is committed; run this
# again only to change a sound.
#
# usage: resources/make-sounds.sh [OUTDIR]   (default: the sounds folder beside this script)

set -eu

if ! command -v sox >/dev/null 2>&1; then
    echo "make-sounds.sh: sox not found on PATH; install it (apt-get install sox)" >&2
    exit 2
fi

out="${1:-$(cd "$(dirname "$0")" && pwd)/sounds}"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# -D: no dither, so the same script always gives the same bytes.
fmt=(-D -r 22050 -c 1 -b 16 -e signed-integer)

# tone NAME SECONDS FREQUENCY[-FREQUENCY] [VOLUME]: one sine note (or sweep) with 5 ms fade-in
# and a fade-out over its last third, so that it neither clicks nor stops abruptly.
tone() {
    local name=$1 length=$2 freq=$3 vol=${4:-0.5}
    local fadeout
    fadeout=$(awk -v l="$length" 'BEGIN { printf "%.3f", l / 3 }')
    sox -n "${fmt[@]}" "$work/$name.wav" synth "$length" sine "$freq" fade q 0.005 "$length" "$fadeout" vol "$vol"
}

# gap NAME SECONDS: silence between notes.
gap() {
    sox -n "${fmt[@]}" "$work/$1.wav" trim 0 "$2"
}

# join OUTPUT PARTS...: the parts one after the other.
join() {
    local target=$1
    shift
    local parts=()
    for p in "$@"; do parts+=("$work/$p.wav"); done
    sox "${parts[@]}" "${fmt[@]}" "$out/$target.wav"
}

# Single beeps: the everyday key answers, told apart by pitch and length.
tone beep 0.12 880
tone normal_beep 0.16 660
tone short_beep 0.06 1175
tone tick_beep 0.018 2000 0.35
join beep beep
join normal_beep normal_beep
join short_beep short_beep
join tick_beep tick_beep

# Double beep: limits reached (volume 7 or 21, first/last book).
tone db 0.09 988
gap g60 0.06
join double_beep db g60 db

# Alarm: a rising sweep, twice; refused volume changes.
tone sweep 0.22 600-1400 0.55
gap g40 0.04
join alarm_beep sweep g40 sweep

# Bookshelf grew (rising fifth) or shrank (falling fifth).
tone a1 0.1 587
tone a2 0.14 880
join bookshelf_added a1 a2
join bookshelf_removed a2 a1

# Charger: two rising notes when plugged in, two falling when pulled out.
tone c1 0.12 523
tone c2 0.18 784
gap g30 0.03
join charger_connect c1 g30 c2
join charger_disconnect c2 g30 c1

# Start-up and shutdown tunes: a C major arpeggio up, and down to rest.
tone n1 0.13 523
tone n2 0.13 659
tone n3 0.13 784
tone n4 0.32 1047
tone m1 0.13 1047
tone m2 0.13 784
tone m3 0.13 659
tone m4 0.36 523
join startup n1 n2 n3 n4
join shutdown m1 m2 m3 m4

ls "$out"/*.wav | wc -l | xargs echo "make-sounds.sh: sounds in $out:"
