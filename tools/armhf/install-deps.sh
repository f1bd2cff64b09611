#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Installs what the armhf cross build needs: the cross compiler, qemu user
# emulation, and the board's libraries as armhf multiarch packages beside the
# amd64 ones. The amd64 Qt host tools (moc, rcc) stay the ones in use.
#
# The machine is shared with amd64 builds, so nothing is installed when apt
# would remove or downgrade an amd64 package to make room for an armhf one
# (multiarch needs the same version on both sides); upgrades to the versions
# the archive serves are let through.
#
# usage: tools/armhf/install-deps.sh PACKAGE...   (armhf ones written NAME:armhf)

set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
retry="$here/apt-get-retry.sh"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

missing=""
for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
[ -n "$missing" ] || exit 0
echo "armhf: installing$missing"

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    $sudo dpkg --add-architecture armhf
fi
"$retry" update

plan=$(mktemp)
trap 'rm -f "$plan"' EXIT
# shellcheck disable=SC2086
LC_ALL=C apt-get install -s --no-install-recommends $missing > "$plan"
# "Remv NAME [VER]" removes; "Inst NAME [OLD] (NEW ...)" replaces OLD with NEW.
harm=$(awk '
    /^Remv / && $2 !~ /:armhf$/ { print "remove " $2; next }
    /^Inst / && $2 !~ /:armhf$/ && $3 ~ /^\[/ {
        old = $3; gsub(/[][]/, "", old); new = $4; sub(/^\(/, "", new)
        print $2 " " old " " new
    }' "$plan" | while read -r name old new; do
        if [ "$name" = remove ]; then
            echo "removes $old"
        elif dpkg --compare-versions "$new" lt "$old"; then
            echo "downgrades $name $old -> $new"
        fi
    done)
if [ -n "$harm" ]; then
    echo "armhf: refusing to install, apt would change amd64 packages:" >&2
    echo "$harm" >&2
    exit 1
fi
# shellcheck disable=SC2086
"$retry" install -y --no-install-recommends $missing
