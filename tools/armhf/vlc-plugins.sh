#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Unpacks libvlc's armhf plug-ins into DEST/plugins for the tests under
# emulation (they find them through VLC_PLUGIN_PATH). The package itself cannot
# be installed beside the amd64 one: some of its dependencies (libcddb2,
# libsidplay2) exist for one architecture at a time, so apt would remove the
# amd64 plug-ins the simulator plays with. Plug-ins whose own libraries are
# missing are skipped by libvlc; the MP3 decoders' libraries are installed
# (libmpg123-0:armhf, libmad0:armhf, in the Makefile's list).
#
# usage: tools/armhf/vlc-plugins.sh DEST

set -eu
dest=$1
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-query -W -f='${Version}' libvlccore9:armhf)
stamp="$dest/plugins/.version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt's download user writes here
(cd "$work" && "$here/apt-get-retry.sh" download "vlc-plugin-base:armhf=$version")
rm -rf "$dest/plugins"
dpkg-deb -x "$work"/vlc-plugin-base_*_armhf.deb "$work/root"
mkdir -p "$dest"
mv "$work/root/usr/lib/arm-linux-gnueabihf/vlc/plugins" "$dest/plugins"
echo "$version" > "$stamp"
echo "armhf: libvlc plug-ins $version in $dest/plugins"
