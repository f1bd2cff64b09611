#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Runs the firmware on the simulated board: `make run` calls this with the
# build folder. Everything the firmware writes stays below BUILD/simroot.
#
# usage: tools/run-sim.sh BUILD [quimbo-basic options: --script FILE, --revision 4|6, --control SOCKET, --demo]
# (the script adds --usb, --sd and --audio-cd with the generated sample media)
#
# With a terminal on stdin the board is played from the keyboard (the key map
# is printed at start). Without one (CI, `make run < /dev/null`) the built-in
# demo runs and the simulation ends by itself.

set -u

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
build="${1:-build}"
[ $# -gt 0 ] && shift
if [ ! -d "$build" ]; then
    echo "run-sim.sh: no build folder '$build'; run 'make build' first" >&2
    exit 1
fi
build=$(cd "$build" && pwd)
exe=""
for candidate in "$build/bin/quimbo-basic" "$build/app/quimbo-basic"; do
    [ -x "$candidate" ] && { exe="$candidate"; break; }
done
if [ -z "$exe" ]; then
    echo "run-sim.sh: no quimbo-basic in $build/bin or $build/app; run 'make build' first" >&2
    exit 1
fi

root="$build/simroot"
mkdir -p "$root/root/quimbo" "$root/tmp"

# libao and play need an ALSA device; on a machine without a sound card route
# ALSA to the null device through a private HOME (never the real one).
has_sound=no
if ls /dev/snd/pcm* >/dev/null 2>&1; then
    has_sound=yes
elif command -v aplay >/dev/null 2>&1 && aplay -l 2>/dev/null | grep -q '^card '; then
    has_sound=yes
fi
if [ "$has_sound" = no ]; then
    export HOME="$build/simhome"
    mkdir -p "$HOME"
    printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$HOME/.asoundrc"
    echo "[sim] no sound device: audio goes to the null device"
    # The null device takes a prompt at once: the play wrapper waits as long
    # as the prompt would sound (QUIMBO_SIM_PLAY_SCALE=0.25 is four times as fast).
    export QUIMBO_SIM_PLAY_SCALE="${QUIMBO_SIM_PLAY_SCALE:-1}"
fi

# The English prompt set, spoken once by espeak-ng.
prompts="$root/root/quimbo/messages/eng"
generator="$source_dir/tools/prompts/generate-prompts.sh"
if [ ! -f "$prompts/.generated" ]; then
    if [ -x "$generator" ] || [ -f "$generator" ]; then
        echo "[sim] generating the voice prompts into $prompts (once)..."
        if bash "$generator" "$root"; then
            touch "$prompts/.generated"
        else
            echo "[sim] the prompt generator failed; the firmware will be silent" >&2
        fi
    else
        echo "[sim] no prompt generator yet ($generator); the firmware will be silent" >&2
    fi
fi

# The other languages' prompt sets (German, French, Spanish, Dutch), spoken
# like the English one and again only when their table changes; choosing one
# of them in the settings menu makes the device speak it.
for language in ged frf spe dun; do
    folder="$root/root/quimbo/messages/$language"
    table="$source_dir/tools/prompts/messages-$language.tsv"
    if [ -f "$folder/.generated" ] && [ "$folder/.generated" -nt "$table" ]; then
        continue
    fi
    echo "[sim] generating the $language voice prompts into $folder..."
    if bash "$generator" --language "$language" "$root" >/dev/null; then
        touch "$folder/.generated"
    else
        echo "[sim] the $language prompt generator failed" >&2
    fi
done

# The spoken manual: the build reads docs/user-guide.md aloud (target
# "manual", redone only when the guide or its generator change), and a book
# newer than the one below the simulated root replaces it.
manual="$build/emanuals/eng"
installed="$root/root/quimbo/emanuals/eng"
if cmake --build "$build" --target manual >/dev/null; then
    if [ ! -f "$installed/ncc.html" ] || [ "$manual/ncc.html" -nt "$installed/ncc.html" ]; then
        echo "[sim] installing the spoken manual into $installed"
        rm -rf "$installed" && mkdir -p "$installed" && cp -R "$manual/." "$installed/"
    fi
else
    echo "[sim] the spoken manual could not be built; the menu will say it is not available" >&2
fi

# One generated DAISY 2.02 book on the simulated USB stick, made once. The
# stick is a host folder; the simulator inserts it once the firmware is up
# (key 1 takes it out and puts it back).
stick="$build/simmedia/usb"
if [ ! -f "$stick/.generated" ]; then
    mkdir -p "$stick"
    maker="$source_dir/tools/samplebooks/make-daisy-book.py"
    if [ -f "$maker" ]; then
        echo "[sim] making a sample DAISY 2.02 book on the stick ($stick)..."
        if python3 "$maker" --format 202 --out "$stick/sample-daisy202" >/dev/null; then
            touch "$stick/.generated"
        else
            echo "[sim] the sample book generator failed; the stick stays empty" >&2
        fi
    fi
fi

# Beside it, a folder of MP3 files (a book without navigation) and a narrated
# EPUB 3 book, each made once.
if [ ! -f "$stick/.generated-mp3-epub" ] && command -v sox >/dev/null 2>&1; then
    mkdir -p "$stick/sample mp3 folder"
    ok=yes
    for part in 1 2 3; do
        sox -q -n -r 22050 -c 1 "$stick/sample mp3 folder/part $part.mp3" synth 6 sine $((330 * part)) vol 0.3 || ok=no
    done
    python3 "$source_dir/tools/epubgen/quimbo-epubgen.py" "$stick/sample-epub3.epub" --title "Sample EPUB" \
        --chapter "This is the first chapter of the sample book." \
        --chapter "The second chapter follows." --chapter "The third chapter ends the book." >/dev/null || ok=no
    [ "$ok" = yes ] && touch "$stick/.generated-mp3-epub"
fi

# And a text-only EPUB 3 book, which the player reads aloud, made once.
if [ ! -f "$stick/.generated-text-epub" ]; then
    mkdir -p "$stick"
    if python3 "$source_dir/tools/textbookgen/quimbo-textbookgen.py" --kind epub "$stick/sample-text.epub" \
        --title "A Book Read Aloud" \
        --section "1:Chapter one:This book has no recorded voice. The player reads it aloud, sentence by sentence.|Press fast forward to hear the next sentence." \
        --section "2:A section:Stop the book and press fast forward in navigation mode 2 to walk the headings." \
        --section "1:Chapter two:Switch the player off and on again. The book goes on from the sentence where you stopped." \
        --section "1:Chapter three:This is the end of the sample book." >/dev/null; then
        touch "$stick/.generated-text-epub"
    fi
fi

# A stick holding several books for the bookshelf demo (sim/bookshelf.script
# inserts it): the sample book, a second DAISY book (DAISY 3) and a folder of
# MP3 files, so that the shelf has titles to walk through and two groups.
shelf="$build/simmedia/shelf"
if [ ! -f "$shelf/.generated" ] && [ -f "$stick/.generated" ]; then
    rm -rf "$shelf"
    mkdir -p "$shelf/Music #1"
    echo "[sim] making a stick with several books ($shelf)..."
    if cp -r "$stick/sample-daisy202" "$shelf/Sample Book" &&
        python3 "$source_dir/tools/samplebooks/make-daisy-book.py" --format 3 \
            --outline "$source_dir/tools/samplebooks/second-book.txt" --out "$shelf/Second Book" >/dev/null &&
        cp "$shelf/Second Book"/*.mp3 "$shelf/Music #1/"; then
        touch "$shelf/.generated"
    else
        echo "[sim] the bookshelf demo stick could not be made" >&2
    fi
fi

# An audio CD of three short tones (key 2), and an SD card without a book
# (key 3), which the firmware refuses with its unsupported-medium warning.
audiocd="$build/simmedia/audiocd"
if [ ! -f "$audiocd/.generated" ] && command -v sox >/dev/null 2>&1; then
    mkdir -p "$audiocd"
    ok=yes
    for track in 1 2 3; do
        sox -q -n -r 44100 -c 2 -b 16 "$audiocd/track0$track.wav" synth 4 sine $((220 * track)) vol 0.3 || ok=no
    done
    [ "$ok" = yes ] && touch "$audiocd/.generated"
fi
card="$build/simmedia/sd-without-book"
mkdir -p "$card"
[ -f "$card/readme.txt" ] || echo "This card holds no book." >"$card/readme.txt"
media_options=(--usb "$stick" --sd "$card")
[ -f "$audiocd/.generated" ] && media_options+=(--audio-cd "$audiocd")

export QUIMBO_ROOT="$root"
export QUIMBO_PLATFORM=sim
export QUIMBO_SIM_VOICE_LOG="$root/tmp/quimbo-sim-voice.log"
export QUIMBO_PROMPT_TABLE="$source_dir/tools/prompts/messages.tsv"
export PATH="$source_dir/tools/sim-bin:$PATH"
: >"$QUIMBO_SIM_VOICE_LOG"

echo "[sim] root $root, log $root/root/quimbo/log"
if [ -t 0 ]; then
    exec "$exe" --sim "${media_options[@]}" "$@"
fi
# No terminal: the demo, with a hard limit so that CI never hangs.
timeout --kill-after=5 90 "$exe" --sim --demo "${media_options[@]}" "$@" </dev/null
status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    echo "[sim] the demo did not end in time; stopped" >&2
fi
exit $status
