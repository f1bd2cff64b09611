#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives tools/apt-get-retry.sh with a stand-in apt-get whose index download
# fails a given number of times, as a mirror in the middle of a sync does.
set -u
retry=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
    if [ "$1" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}

# usage: fake FAILURES EXIT-ON-FAILURE: an apt-get that counts its calls in $work/calls,
# prints apt's index warnings on the first FAILURES calls and exits EXIT-ON-FAILURE then.
fake() {
    cat > "$work/apt-get" <<SCRIPT
#!/bin/sh
echo "\$*" >> "$work/args"
n=\$(( \$(cat "$work/calls" 2>/dev/null || echo 0) + 1 ))
echo \$n > "$work/calls"
if [ \$n -le $1 ]; then
    echo "W: Failed to fetch http://deb.example/dists/bookworm/main/binary-armhf/Packages.xz  Hash Sum mismatch"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit $2
fi
echo "Reading package lists..."
SCRIPT
    chmod +x "$work/apt-get"
    rm -f "$work/calls" "$work/args"
}
run() { APT_GET="$work/apt-get" APT_RETRY_DELAY=0 APT_TRIES=3 sh "$retry" "$@" > "$work/out" 2>&1; }

fake 2 100
run update; rc=$?
check "$([ $rc -eq 0 ] && [ "$(cat "$work/calls")" = 3 ] && echo ok)" "two failed index downloads are retried and the third try succeeds (exit $rc, $(cat "$work/calls") calls)"
check "$([ "$(sort -u "$work/args")" = update ] && echo ok)" "every try passes the same arguments"

# apt-get update may only warn and exit 0 with stale lists: that is a failed try too.
fake 1 0
run update; rc=$?
check "$([ $rc -eq 0 ] && [ "$(cat "$work/calls")" = 2 ] && echo ok)" "a warning with exit 0 is retried (exit $rc, $(cat "$work/calls") calls)"

fake 5 100
run install -y qemu-user-static; rc=$?
check "$([ $rc -ne 0 ] && [ "$(cat "$work/calls")" = 3 ] && grep -q 'still failing after 3 tries' "$work/out" && echo ok)" "gives up after the set number of tries (exit $rc, $(cat "$work/calls") calls)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
