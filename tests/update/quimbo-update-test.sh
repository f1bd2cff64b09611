#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives quimbo-update on generated packages: listing, installing, refusing.
set -u
tool=$1
# A cross build's tool runs through the emulator that runs its tests.
run_tool() { ${QUIMBO_TEST_EMULATOR:-} "$tool" "$@"; }
packages=$2
version=$3
next=$4
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export QUIMBO_ROOT="$root"
passed=0
failed=0
check() {
    if [ "$1" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}
result() { if eval "$1"; then echo ok; else echo no; fi; }

out=$(run_tool "$packages/data-only.zip" 2>/dev/null); rc=$?
check "$(result '[ $rc -eq 0 ]')" "verifying data-only.zip exits 0 (got $rc)"
check "$(result 'echo "$out" | grep -qx "write: datapackage/dir voices/eng/a/b.wav -> $root/root/quimbo/messages/eng/a/b.wav"')" "lists the directory entry with its destination"
check "$(result '[ -z "$(find "$root" -type f)" ]')" "verifying writes nothing"

run_tool "$packages/data-only.zip" --install >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 0 ] && cmp -s "$root/root/quimbo/config/settings.ini" "$(dirname "$0")/../data/update/settings.ini"')" "installs data-only.zip (exit $rc)"

mkdir -p "$root/root/quimbo/bin"
printf '#!/bin/sh\necho %s\n' "$version" > "$root/root/quimbo/bin/quimbo-basic"
chmod 755 "$root/root/quimbo/bin/quimbo-basic"
before=$(cd "$root" && find . -exec ls -ld --time-style=+%s {} + | sort)
run_tool "$packages/evil-firmware.zip" --install >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 7 ]')" "refuses a firmware destination that climbs out with status 7 (got $rc)"
check "$(result '[ "$before" = "$(cd "$root" && find . -exec ls -ld --time-style=+%s {} + | sort)" ]')" "a refused package changes nothing"

run_tool "$packages/firmware-wrong.zip" --install >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 10 ] && [ "$(sh "$root/root/quimbo/bin/quimbo-basic")" = "$version" ]')" "keeps the old program when the new one reports another version (exit $rc)"

run_tool "$packages/firmware-good.zip" --install >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 0 ] && [ "$("$root/root/quimbo/bin/quimbo-basic" --version)" = "$next" ]')" "installs new firmware (exit $rc)"

# A power cut while the new program is asked its version, after the data files: the
# next start leaves the old program and the new data, and nothing half-written.
rm -rf "$root/root"; mkdir -p "$root/root/quimbo/bin"
printf '#!/bin/sh\necho %s\n' "$version" > "$root/root/quimbo/bin/quimbo-basic"
chmod 755 "$root/root/quimbo/bin/quimbo-basic"
run_tool "$packages/firmware-powercut.zip" --install >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -ne 0 ] && [ -e "$root/root/quimbo/bin/quimbo-basic_new" ]')" "the installer dies with the new program beside the old (exit $rc)"
: > "$root/root/quimbo/messages/eng/.c.wav.x1Y2z3"
: > "$root/root/quimbo/messages/eng/.keep"
run_tool --at-start >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 0 ] && [ "$(ls -A "$root/root/quimbo/bin")" = quimbo-basic ]')" "at start the unfinished program goes, the old one stays (exit $rc)"
check "$(result '[ "$(ls -A "$root/root/quimbo/messages/eng" | tr "\n" " ")" = ".keep a c.wav " ] && [ "$(ls -A "$root/root/quimbo" | grep update)" = "" ]')" "the temporary files and the update state go"
check "$(result '[ "$(sh "$root/root/quimbo/bin/quimbo-basic")" = "$version" ]')" "the old program still answers"
cp "$root/root/quimbo/bin/quimbo-basic" "$root/root/quimbo/bin/quimbo-basic.bak"
run_tool --at-start >/dev/null 2>&1
check "$(result '[ ! -e "$root/root/quimbo/bin/quimbo-basic.bak" ]')" "a backup left outside a trial goes at start"

run_tool "$packages/no-xml.zip" >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 4 ]')" "a zip without update.xml exits 4 (got $rc)"

# With a device key only a package signed by its private key is accepted.
mkdir -p "$root/root/quimbo/keys"
cp "$packages/keys/a/update.pub" "$root/root/quimbo/keys/update.pub"
run_tool "$packages/data-only.zip" >/dev/null 2>&1; rc=$?
check "$(result '[ $rc -eq 7 ]')" "with a device key an unsigned package exits 7 (got $rc)"
out=$(run_tool "$packages/signed-data.zip" 2>/dev/null); rc=$?
check "$(result '[ $rc -eq 0 ] && echo "$out" | grep -qx "verified: yes"')" "with a device key a signed package verifies (exit $rc)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
