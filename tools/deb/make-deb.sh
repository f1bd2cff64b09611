#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Makes the device package quimbo-basic_VERSION_ARCH.deb from one build folder.
# The architecture is read from the built program (amd64 from an ordinary build,
# armhf from the cross build), the version from the build's quimboversion.h.
# Needs dpkg-deb and dpkg-shlibdeps (dpkg-dev); for a foreign architecture the
# runtime libraries of that architecture must be installed (multiarch), as the
# cross build needs them anyway.
#
# usage: make-deb.sh BUILD_DIR OUT_DIR

set -euo pipefail
umask 022

me="make-deb.sh"
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
package=quimbo-basic

fail() { echo "$me: $*" >&2; exit 1; }

[ $# -eq 2 ] || { echo "usage: $me BUILD_DIR OUT_DIR" >&2; exit 1; }
build="$(cd "$1" 2>/dev/null && pwd)" || fail "no build folder $1"
mkdir -p "$2"
out="$(cd "$2" && pwd)"

program="$build/bin/quimbo-basic"
[ -x "$program" ] || fail "$program is missing; build the target quimbo-basic in $build first"
helper="$build/bin/quimbo-update"
[ -x "$helper" ] || fail "$helper is missing; build the target quimbo-update in $build first"

version=$(sed -n 's/^#define QUIMBO_VERSION_STRING "\(.*\)"$/\1/p' "$build/generated/quimboversion.h" 2>/dev/null || true)
[ -n "$version" ] || fail "no version in $build/generated/quimboversion.h"

machine=$(LC_ALL=C readelf -h "$program" | sed -n 's/^ *Machine: *//p')
flags=$(LC_ALL=C readelf -h "$program" | sed -n 's/^ *Flags: *//p')
case "$machine" in
    *X86-64*) arch=amd64 ;;
    AArch64) arch=arm64 ;;
    ARM)
        case "$flags" in
            *hard-float*) arch=armhf ;;
            *) arch=armel ;;
        esac ;;
    *) fail "$program is built for '$machine', which has no package architecture here" ;;
esac
multiarch=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)

# Only the board starts the firmware at boot; on a PC it is the simulator.
case "$arch" in
    amd64) start_at_boot=no ;;
    *) start_at_boot=yes ;;
esac

strip_tool="$multiarch-strip"
command -v "$strip_tool" >/dev/null 2>&1 || strip_tool=strip

# The files' times come from the last commit, so the same sources give the same package.
SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
commit=$(git -C "$source_dir" log -1 --format=%h 2>/dev/null || echo unknown)

work="$out/stage-$arch"
rm -rf "$work"
root="$work/$package"
doc="$root/usr/share/doc/$package"
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$doc" "$root/usr/share/$package/prompts" \
    "$root/usr/share/lintian/overrides" "$root/lib/systemd/system" "$root/etc/udev/rules.d" \
    "$root/root/quimbo/bin"
chmod 0700 "$root/root"

"$strip_tool" --strip-unneeded --remove-section=.comment --remove-section=.note -o "$root/usr/bin/quimbo-basic" "$program"
chmod 0755 "$root/usr/bin/quimbo-basic"
# The service runs it before each start of the program: it cleans what an interrupted
# update left and takes a new program back that does not start. A firmware update never
# replaces it, so it stays able to judge the program an update brought.
mkdir -p "$root/usr/lib/$package"
"$strip_tool" --strip-unneeded --remove-section=.comment --remove-section=.note -o "$root/usr/lib/$package/quimbo-update" "$helper"
chmod 0755 "$root/usr/lib/$package/quimbo-update"
# The device runs its program from below its own root, where a firmware update
# puts a new one; the link keeps the packaged program the one in use until then.
# Relative, so that it leads to the package's program in any root the files are
# unpacked to (an image being built, a test root), as the updater's backup needs.
ln -s ../../../usr/bin/quimbo-basic "$root/root/quimbo/bin/quimbo-basic"

install -m 0755 "$source_dir/tools/prompts/generate-prompts.sh" "$root/usr/share/$package/prompts/"
install -m 0644 "$source_dir"/tools/prompts/messages*.tsv "$root/usr/share/$package/prompts/"
install -m 0644 "$here/69-cdrom.rules" "$root/etc/udev/rules.d/69-cdrom.rules"
install -m 0644 "$here/quimbo-basic.service" "$root/lib/systemd/system/quimbo-basic.service"
install -m 0644 "$here/copyright" "$here/README.Debian" "$doc/"
gzip -9n < "$here/quimbo-basic.1" > "$root/usr/share/man/man1/quimbo-basic.1.gz"
chmod 0644 "$root/usr/share/man/man1/quimbo-basic.1.gz"
install -m 0644 "$here/lintian-overrides" "$root/usr/share/lintian/overrides/$package"
{
    echo "$package ($version) unstable; urgency=medium"
    echo
    echo "  * Firmware $version, built from commit $commit."
    echo
    echo " -- The Quimbo developers <maintainers@quimbo.invalid>  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# Libraries the program links, as dpkg-shlibdeps finds them for the package's
# architecture (it wants a debian/control beside it, nothing of debhelper).
mkdir -p "$work/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" > "$work/debian/control"
shlibs=$(cd "$work" && DEB_HOST_ARCH="$arch" dpkg-shlibdeps -O -e"$root/usr/bin/quimbo-basic" -e"$root/usr/lib/$package/quimbo-update" 2>"$work/shlibdeps.log" \
    | sed -n 's/^shlibs:Depends=//p') || true
[ -n "$shlibs" ] || { cat "$work/shlibdeps.log" >&2; fail "dpkg-shlibdeps found no libraries for $arch (are the $arch libraries installed?)"; }
rm -rf "$work/debian"

# Programs the firmware runs or loads by name, which no library link reveals:
# libvlc's decoders and CD access, its cache generator (postinst), "play" for
# messages and tones, "aplay" and "amixer", "udevadm".
depends="$shlibs, vlc-plugin-base, libvlc-bin, sox, alsa-utils, udev"
# espeak-ng speaks the prompts at installation; exfat-fuse mounts exFAT sticks.
recommends="espeak-ng, exfat-fuse"

sed -e "s/@MULTIARCH@/$multiarch/" -e "s/@START_AT_BOOT@/$start_at_boot/" "$here/postinst.in" > "$root/DEBIAN/postinst"
install -m 0755 "$here/prerm" "$here/postrm" "$root/DEBIAN/"
chmod 0755 "$root/DEBIAN/postinst"
echo /etc/udev/rules.d/69-cdrom.rules > "$root/DEBIAN/conffiles"

installed_size=$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)
cat > "$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: The Quimbo developers <maintainers@quimbo.invalid>
Installed-Size: $installed_size
Depends: $depends
Recommends: $recommends
Section: sound
Priority: optional
Description: firmware of a hand-held talking-book player
 The one program of a talking-book player for blind and partially sighted
 readers: it plays DAISY 2.02 and DAISY 3 books, EPUB 3 books with audio
 media overlays, audio CDs and folders of MP3 files from USB sticks, SD cards
 and a USB CD drive, driven by a keypad, a volume knob and a power button, and
 speaking to the reader through recorded voice prompts.
 .
 The package holds the firmware, started at boot by a systemd service that
 restarts it when it dies, the udev rule that names a USB CD drive, and the
 generator of the spoken voice prompts (espeak-ng).
CONTROL

(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums" "$root/DEBIAN/control" "$root/DEBIAN/conffiles"

# One package per architecture in the folder: an older version's goes.
rm -f "$out/${package}_"*"_$arch.deb"
deb="$out/${package}_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
rm -rf "$work"
echo "$me: $deb ($(du -k "$deb" | cut -f1) KiB)"
