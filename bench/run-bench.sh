#!/usr/bin/env bash
# Runs every benchmark built into <build>/bin/bench. Each prints its figures as
# "name: value unit" lines, so two runs can be compared line by line.
set -uo pipefail
build=${1:-build-bench}
status=0
shopt -s nullglob
mkdir -p "$build/benchhome"
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$build/benchhome/.asoundrc"
for b in "$build"/bin/bench/*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    # The engine's own debug lines would drown the figures.
    QT_LOGGING_RULES="default.debug=false" HOME="$PWD/$build/benchhome" "$b" || { echo "$(basename "$b") failed" >&2; status=1; }
done
exit $status
