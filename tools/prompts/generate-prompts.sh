#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Speaks one language's prompt set with espeak-ng into ROOT/root/quimbo/messages/CODE/:
# every row of its message table as messageNNN.wav and the numbers 0..999 as N.wav.
# English (eng) reads messages.tsv; every other language its messages-CODE.tsv.
#
# usage: generate-prompts.sh [--language CODE] [--numbers LAST] [--jobs N] ROOT
#   --language CODE eng (default), ged, frf, spe or dun
#   --numbers LAST  speak the numbers 0..LAST only (default 999; -1 for none)
#   --jobs N        espeak-ng processes at a time (default: number of CPUs)
#
# Existing files are overwritten; deciding whether to regenerate is the caller's business.

set -u

me="generate-prompts.sh"

if ! command -v espeak-ng >/dev/null 2>&1; then
    echo "$me: espeak-ng not found on PATH; install it (apt-get install espeak-ng) to generate the voice prompts" >&2
    exit 2
fi

last=999
jobs=""
language=eng
root=""
while [ $# -gt 0 ]; do
    case "$1" in
        --numbers) last="${2:-}"; shift 2 || { echo "$me: --numbers needs a value" >&2; exit 1; } ;;
        --jobs) jobs="${2:-}"; shift 2 || { echo "$me: --jobs needs a value" >&2; exit 1; } ;;
        --language) language="${2:-}"; shift 2 || { echo "$me: --language needs a value" >&2; exit 1; } ;;
        -h|--help) sed -n '5,14p' "$0"; exit 0 ;;
        -*) echo "$me: unknown option $1" >&2; exit 1 ;;
        *) root="$1"; shift ;;
    esac
done

if [ -z "$root" ]; then
    echo "usage: $me [--language CODE] [--numbers LAST] [--jobs N] ROOT" >&2
    exit 1
fi
if ! [[ "$last" =~ ^-?[0-9]+$ ]] || [ "$last" -gt 999 ]; then
    echo "$me: --numbers wants a number up to 999, got '$last'" >&2
    exit 1
fi
if [ -z "$jobs" ]; then
    jobs=$(nproc 2>/dev/null || echo 2)
fi
if ! [[ "$jobs" =~ ^[0-9]+$ ]] || [ "$jobs" -lt 1 ]; then
    echo "$me: --jobs wants a positive number, got '$jobs'" >&2
    exit 1
fi

# The device's language code names the message folder; espeak-ng names its voices otherwise.
case "$language" in
    eng) voice=en; suffix="" ;;
    ged) voice=de; suffix="-ged" ;;
    frf) voice=fr; suffix="-frf" ;;
    spe) voice=es; suffix="-spe" ;;
    dun) voice=nl; suffix="-dun" ;;
    *) echo "$me: no prompt set for the language '$language' (eng, ged, frf, spe, dun)" >&2; exit 1 ;;
esac

table="${PROMPT_TABLE:-$(cd "$(dirname "$0")" && pwd)/messages$suffix.tsv}"
if [ ! -r "$table" ]; then
    echo "$me: cannot read the prompt table $table" >&2
    exit 1
fi

out="$root/root/quimbo/messages/$language"
if ! mkdir -p "$out"; then
    echo "$me: cannot create $out" >&2
    exit 1
fi

# One "file NUL text NUL" pair per prompt; xargs hands two at a time to a small
# shell that speaks into a temporary name and renames it, so an interrupted run
# never leaves a truncated WAV under the final name.
{
    while IFS=$'\t' read -r number name text; do
        case "$number" in
            [0-9][0-9][0-9]) ;;
            *) continue ;;
        esac
        if [ -z "$text" ]; then
            echo "$me: row $number ($name) has no text" >&2
            exit 1
        fi
        printf '%s\0%s\0' "$out/message$number.wav" "$text"
    done < "$table"
    n=0
    while [ "$n" -le "$last" ]; do
        printf '%s\0%s\0' "$out/$n.wav" "$n"
        n=$((n + 1))
    done
} | VOICE="$voice" xargs -0 -n 2 -P "$jobs" sh -c 'espeak-ng -v "$VOICE" -s 160 -w "$0.part" "$1" && mv -f "$0.part" "$0"'
status=$?

if [ "$status" -ne 0 ]; then
    echo "$me: espeak-ng failed for some prompts (xargs status $status)" >&2
    exit 1
fi

count=$(find "$out" -maxdepth 1 -name '*.wav' | wc -l)
echo "$me: $count prompts in $out"
