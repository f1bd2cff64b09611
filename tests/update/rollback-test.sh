#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Plays the device's service on the simulated board: quimbo-update --at-start,
# then the program in /root/quimbo/bin, again whenever it ends. The update
# installs a program that answers --version but dies on every start; after
# three such starts the previous firmware must be back and say so. Then a good
# update is charged in idle mode more often than that: those starts are no try.
set -u
tool=$1
firmware=$2
packages=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export QUIMBO_ROOT="$root" QUIMBO_PLATFORM=sim QUIMBO_TIME_SCALE=0.05 QUIMBO_TEST_FIRMWARE="$firmware"
program="$root/root/quimbo/bin/quimbo-basic"
passed=0
failed=0
check() {
    if [ "$1" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}
result() { if eval "$1"; then echo ok; else echo no; fi; }
# A cross build's programs run through the emulator; the packaged shell program does not.
run() {
    case "$(head -c 4 "$1")" in
    *ELF) ${QUIMBO_TEST_EMULATOR:-} "$@" ;;
    *) "$@" ;;
    esac
}
# The unit: its start helper, then the program. The program's exit status is returned.
start() {
    run "$tool" --at-start >>"$root/helper.out" 2>&1
    run "$program" --sim --script "$1" </dev/null >>"$root/sim.out" 2>/dev/null
}

# Prompts are only named, in the order they are started.
mkdir -p "$root/bin" "$root/stick" "$root/root/quimbo/bin"
printf '#!/bin/sh\nfor a; do case "$a" in *.m3u) cat "$a";; *) echo "$a";; esac; done >>"%s/played"\n' "$root" >"$root/bin/play"
chmod 755 "$root/bin/play"
export PATH="$root/bin:$PATH"
# As the device package installs it: a link to the packaged program.
ln -s "$firmware" "$program"
cp "$packages/firmware-crash.zip" "$root/stick/update.zip"

printf 'usb insert %s\nadapter in\npress menu\nawait void MainClass::runUpdate()\nrelease menu\n' "$root/stick" >"$root/update.script"
start "$root/update.script"; rc=$?
check "$(result '[ $rc -eq 0 ] && grep -q "firmware updated to" "$root/root/quimbo/log"')" "the update installs the new program (exit $rc)"
check "$(result '[ -f "$program.bak" ] && cmp -s "$program.bak" "$firmware"')" "the previous program is kept beside the new one"

printf 'await void MainClass::runMainClass()\nwait 300\nquit\n' >"$root/normal.script"
for n in 1 2 3; do
    start "$root/normal.script"; rc=$?
    check "$(result '[ $rc -eq 1 ] && grep -q "start $n of the new program" "$root/helper.out"')" "start $n runs the new program, which dies (exit $rc)"
done

: >"$root/played"
start "$root/normal.script"; rc=$?
check "$(result '[ $rc -eq 0 ] && grep -q "did not come to the welcome in 3 starts: the previous program is back" "$root/helper.out"')" "the fourth start goes back to the previous program (exit $rc)"
check "$(result 'cmp -s "$program" "$firmware" && [ ! -e "$program.bak" ]')" "the previous program is in place, no backup left"
check "$(result 'grep -o "message[0-9]*\.wav" "$root/played" | grep -A1 message047 | grep -q message043')" "after the welcome the reader hears: update failed"
check "$(result 'grep -q "\[FirmwareTrial::confirmGoodStart\]: update failed: the new program" "$root/root/quimbo/log"')" "the log says why"

: >"$root/played"
start "$root/normal.script"; rc=$?
check "$(result '[ $rc -eq 0 ] && ! grep -q message043.wav "$root/played"')" "the next start is an ordinary one (exit $rc)"

# The firmware under test as the next version; the adapter plugged in while off starts idle mode.
cp "$packages/firmware-next.zip" "$root/stick/update.zip"
start "$root/update.script"; rc=$?
check "$(result '[ $rc -eq 0 ] && cmp -s "$program" "$packages/programs/firmware-next.sh" && [ -f "$program.bak" ]')" "a good update is on trial (exit $rc)"
printf 'adapter in\nawait void IdleMode::run()\nadapter out\n' >"$root/idle.script"
: >"$root/helper.out"
for n in 1 2 3 4; do
    start "$root/idle.script"; rc=$?
    check "$(result '[ $rc -eq 0 ] && [ "$(grep -c "start 1 of the new program" "$root/helper.out")" -eq $n ]')" "charging start $n is no try (exit $rc)"
done
: >"$root/played"
start "$root/normal.script"; rc=$?
check "$(result '[ $rc -eq 0 ] && cmp -s "$program" "$packages/programs/firmware-next.sh" && [ ! -e "$program.bak" ] && ! grep -q message043.wav "$root/played"')" "then switched on, the update stays and its trial ends (exit $rc)"

[ "$failed" -eq 0 ] || { echo "helper:"; cat "$root/helper.out"; echo "simulator:"; tail -20 "$root/sim.out"; }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
