#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Puts Debian 13's qemu-arm into DEST/qemu-arm for the tests under emulation.
# Debian 12's qemu-user-static (7.2) now and then aborts a many-threaded guest
# inside its own translator ("cpu_exec: assertion failed: (cpu == current_cpu)":
# gcc loses the CPU pointer kept across the translator's siglongjmp), which a
# test cannot tell from a fault of ours; qemu 8.0 and later keep it in a
# function of its own. Debian 13's qemu-user is statically linked, so its
# binary runs here as it is. It is fetched with a private apt state in a
# scratch folder: nothing of Debian 13 is installed or added to this machine's
# package sources.
#
# usage: tools/armhf/qemu.sh DEST

set -eu
dest=$1
release=trixie
package=qemu-user
here=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$dest/qemu-arm" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt's download user writes here
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
echo "deb http://deb.debian.org/debian $release main" > "$work/sources.list"
set -- -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o APT::Architectures::=amd64 \
    -o Debug::NoLocking=1
APT_GET=apt-get "$here/apt-get-retry.sh" "$@" update >/dev/null
(cd "$work" && APT_GET=apt-get "$here/apt-get-retry.sh" "$@" download "$package" >/dev/null)
dpkg-deb --fsys-tarfile "$work"/"$package"_*.deb | tar -x -C "$work" ./usr/bin/qemu-arm
mkdir -p "$dest"
"$work/usr/bin/qemu-arm" --version | head -1
mv "$work/usr/bin/qemu-arm" "$dest/qemu-arm"
echo "armhf: $(basename "$dest")/qemu-arm from Debian $release's $package"
