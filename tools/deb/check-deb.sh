#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Checks device packages made by make-deb.sh: unpacks each into a scratch root
# and looks at what the boot service will find there, runs lintian, and for a
# package of this machine's architecture runs the packaged firmware itself.
# Prints one "ok:" or "FAIL:" line per check, the package sizes and the lintian
# tags; exits 1 when a check failed or lintian reports an error.
# With QUIMBO_UPDATE set to a built quimbo-update, it also installs a firmware
# update package into the scratch root, as the device would from a stick.
#
# usage: [QUIMBO_UPDATE=build/bin/quimbo-update] check-deb.sh PACKAGE.deb...

set -uo pipefail

me="check-deb.sh"
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
failures=0

check() { # check "description" command...
    local what="$1"
    shift
    if "$@"; then
        echo "  ok: $what"
    else
        echo "  FAIL: $what"
        failures=$((failures + 1))
    fi
}

[ $# -ge 1 ] || { echo "usage: $me PACKAGE.deb..." >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

project_version=$(sed -n 's/^project(quimbo VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
host_arch=$(dpkg --print-architecture)

# Follows links inside ROOT the way the running system would (absolute link
# targets are taken below ROOT); prints the path below ROOT it ends at.
resolve_in_root() { # root path
    local root="$1" path="$2" hops=0 target
    while [ -L "$root$path" ] && [ $hops -lt 10 ]; do
        target=$(readlink "$root$path")
        case "$target" in
            /*) path="$target" ;;
            *) path="$(dirname "$path")/$target" ;;
        esac
        hops=$((hops + 1))
    done
    echo "$path"
}

unit_value() { # unit key
    sed -n "s/^$2=//p" "$1" | tail -1
}

elf_matches_arch() { # file arch
    local machine
    machine=$(LC_ALL=C readelf -h "$1" 2>/dev/null | sed -n 's/^ *Machine: *//p')
    case "$2" in
        amd64) [[ "$machine" == *X86-64* ]] ;;
        armhf|armel) [ "$machine" = ARM ] ;;
        arm64) [ "$machine" = AArch64 ] ;;
        *) false ;;
    esac
}

# Every library the program links is installed here for its architecture, and
# comes from a package the control file depends on (what those libraries pull
# in is their own packages' business).
libraries_are_depended_on() { # program depends multiarch
    local program="$1" multiarch="$3" missing=0 needed library owner names dir
    names=$(tr ',|' '\n\n' <<< "$2" | sed 's/(.*//; s/:.*//; s/ //g' | grep -v '^$')
    [ -f "$program" ] || return 1
    for needed in $(LC_ALL=C objdump -p "$program" | sed -n 's/^ *NEEDED *//p'); do
        library=""
        for dir in "/lib/$multiarch" "/usr/lib/$multiarch" /lib /usr/lib; do
            [ -e "$dir/$needed" ] && { library="$dir/$needed"; break; }
        done
        owner=""
        # dpkg knows the file by its name in /lib or /usr/lib, whichever the package ships.
        [ -n "$library" ] && owner=$(dpkg -S "*/$multiarch/$(basename "$(readlink -f "$library")")" 2>/dev/null | head -1 | cut -d: -f1)
        if [ -z "$owner" ] || ! grep -qxF "$owner" <<< "$names"; then
            echo "    $needed (${library:-not installed}, package '${owner:-none}') is not in Depends" >&2
            missing=1
        fi
    done
    [ $missing -eq 0 ]
}

# The firmware, started in ROOT on the simulated board, finds the udev rule
# there and leaves it as it is.
firmware_keeps_packaged_rule() { # root program
    local root="$1" program="$2" rule="$1/etc/udev/rules.d/69-cdrom.rules" before
    before=$(md5sum < "$rule")
    run_firmware_once "$root" "$program" || return 1
    [ -s "$root/root/quimbo/log" ] && [ "$(md5sum < "$rule")" = "$before" ] \
        && ! grep -q "69-cdrom.rules' created" "$root/root/quimbo/log"
}

# In an empty root the firmware writes the rule itself: the package must ship the same one.
firmware_writes_packaged_rule() { # packaged-rule program
    local root
    root=$(mktemp -d "$scratch/empty-root.XXXXXX")
    run_firmware_once "$root" "$2" || return 1
    cmp -s "$1" "$root/etc/udev/rules.d/69-cdrom.rules"
}

run_firmware_once() { # root program
    printf 'quit\n' > "$scratch/quit.script"
    QUIMBO_ROOT="$1" QUIMBO_TIME_SCALE=0.01 HOME="$scratch" timeout 300 $runner "$2" --sim --script "$scratch/quit.script" \
        > "$scratch/firmware.out" 2>&1 < /dev/null
}

# The postinst, run into ROOT, speaks the English prompts that are missing there
# and leaves the other languages' folders (recorded voices, say) as they are;
# run again, as on an upgrade, it speaks nothing.
postinst_speaks_missing_prompts() { # root control
    local root="$1" postinst="$2/postinst" messages="$1/root/quimbo/messages" table code rows before
    command -v espeak-ng >/dev/null 2>&1 || { echo "    espeak-ng not installed here" >&2; return 1; }
    for table in "$root"/usr/share/quimbo-basic/prompts/messages-*.tsv; do
        code=$(basename "$table" .tsv)
        mkdir -p "$messages/${code#messages-}"
        echo recorded > "$messages/${code#messages-}/message001.wav"
    done
    DPKG_ROOT="$root" sh "$postinst" configure > /dev/null || return 1
    rows=$(grep -cE '^[0-9]{3}	' "$root/usr/share/quimbo-basic/prompts/messages.tsv")
    [ "$rows" -gt 0 ] && [ "$(find "$messages/eng" -name 'message*.wav' | wc -l)" -eq "$rows" ] \
        && [ -s "$messages/eng/0.wav" ] || { echo "    English prompts missing" >&2; return 1; }
    for table in "$root"/usr/share/quimbo-basic/prompts/messages-*.tsv; do
        code=$(basename "$table" .tsv)
        [ "$(ls -A "$messages/${code#messages-}")" = message001.wav ] \
            && [ "$(cat "$messages/${code#messages-}/message001.wav")" = recorded ] \
            || { echo "    ${code#messages-} was touched" >&2; return 1; }
    done
    [ -z "$(find "$messages" -maxdepth 1 -name '.speaking.*')" ] || { echo "    scratch folder left" >&2; return 1; }
    before=$(stat -c %Y.%i "$messages/eng/message001.wav")
    DPKG_ROOT="$root" sh "$postinst" configure "$(dpkg-deb -f "$deb" Version)" > /dev/null \
        && [ "$(stat -c %Y.%i "$messages/eng/message001.wav")" = "$before" ]
}

# A firmware update replaces the program the service starts (the packaged link)
# and leaves the packaged program itself alone.
firmware_update_replaces_link() { # root version
    local root="$1" version="$2" next program="/root/quimbo/bin/quimbo-basic" packaged
    next="${version%.*}.$(( ${version##*.} + 1 ))"
    printf '#!/bin/sh\necho %s\n' "$next" > "$scratch/next-firmware"
    "$source_dir/tools/updategen/quimbo-updategen.py" "$scratch/update.zip" \
        --firmware "$scratch/next-firmware" "$program" "$next" > /dev/null || return 1
    packaged=$(md5sum < "$root/usr/bin/quimbo-basic")
    QUIMBO_ROOT="$root" HOME="$scratch" "$QUIMBO_UPDATE" "$scratch/update.zip" --install > "$scratch/update.out" 2>&1 \
        || { cat "$scratch/update.out" >&2; return 1; }
    [ ! -L "$root$program" ] && [ "$("$root$program" --version)" = "$next" ] \
        && [ "$(md5sum < "$root/usr/bin/quimbo-basic")" = "$packaged" ]
}

lintian_errors=0
for deb in "$@"; do
    echo "== $deb"
    if ! dpkg-deb --info "$deb" > "$scratch/info" 2>&1; then
        echo "  FAIL: dpkg-deb cannot read it"
        failures=$((failures + 1))
        continue
    fi
    version=$(dpkg-deb -f "$deb" Version)
    arch=$(dpkg-deb -f "$deb" Architecture)
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "  size: $(du -k "$deb" | cut -f1) KiB, installed $(dpkg-deb -f "$deb" Installed-Size) KiB, $(dpkg-deb --contents "$deb" | wc -l) entries"
    check "version $version is the project's ($project_version)" [ "$version" = "$project_version" ]

    root="$scratch/root-$arch"
    rm -rf "$root"
    mkdir -p "$root" "$scratch/control-$arch"
    dpkg-deb -x "$deb" "$root"
    dpkg-deb -e "$deb" "$scratch/control-$arch"
    control="$scratch/control-$arch"

    unit="$root/lib/systemd/system/quimbo-basic.service"
    check "boot service unit is in the package" [ -f "$unit" ]
    exec_start=$(unit_value "$unit" ExecStart)
    program=$(resolve_in_root "$root" "$exec_start")
    check "ExecStart $exec_start leads to an executable $arch program ($program)" \
        bash -c '[ -x "$1" ] && [ -f "$1" ]' _ "$root$program"
    check "that program is built for $arch" elf_matches_arch "$root$program" "$arch"
    check "WorkingDirectory $(unit_value "$unit" WorkingDirectory) exists" [ -d "$root$(unit_value "$unit" WorkingDirectory)" ]
    check "the service is restarted whenever it ends" [ "$(unit_value "$unit" Restart)" = always ]
    helper=$(unit_value "$unit" ExecStartPre)
    helper=${helper#-}
    check "ExecStartPre ${helper% *} is a $arch program" elf_matches_arch "$root${helper% *}" "$arch"
    check "the service is wanted at boot" grep -q '^WantedBy=multi-user.target' "$unit"
    rule="$root/etc/udev/rules.d/69-cdrom.rules"
    check "the udev rule is a conffile" grep -qx /etc/udev/rules.d/69-cdrom.rules "$control/conffiles"
    check "the maintainer scripts parse" bash -c 'for s in postinst prerm postrm; do sh -n "$1/$s" || exit 1; done' _ "$control"
    check "postinst has no placeholder left" bash -c '! grep -q "@[A-Z_]*@" "$1/postinst"' _ "$control"
    multiarch=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
    check "postinst refreshes the VLC plug-in cache of $arch" grep -q "^multiarch=$multiarch\$" "$control/postinst"
    check "every library the program links is in Depends" libraries_are_depended_on "$root$program" "$depends" "$multiarch"

    # A program of another architecture runs under qemu user emulation when it is installed.
    runner=""
    case "$arch" in
        "$host_arch") ;;
        armhf|armel) runner=$(command -v qemu-arm-static || command -v qemu-arm || true) ;;
        arm64) runner=$(command -v qemu-aarch64-static || command -v qemu-aarch64 || true) ;;
    esac
    if [ "$arch" = "$host_arch" ] || [ -n "$runner" ]; then
        check "the program prints the package version" \
            bash -c '[ "$($1 "$2" --version 2>&1)" = "$3" ]' _ "$runner" "$root$program" "$version"
        check "the firmware finds the packaged udev rule and keeps it" firmware_keeps_packaged_rule "$root" "$root$program"
        check "the packaged udev rule is the one the firmware writes" firmware_writes_packaged_rule "$rule" "$root$program"
        if [ "$arch" = "$host_arch" ]; then
            check "postinst speaks the missing prompt languages only, once" postinst_speaks_missing_prompts "$root" "$control"
            if [ -n "${QUIMBO_UPDATE:-}" ]; then
                check "a firmware update replaces the program the service starts" firmware_update_replaces_link "$root" "$version"
            fi
        fi
    else
        echo "  (no qemu for $arch here: the program is not run)"
    fi

    lintian -I --no-tag-display-limit "$deb" > "$scratch/lintian" 2>/dev/null
    for letter in E W I; do
        echo "  lintian $letter: $(grep -c "^$letter: " "$scratch/lintian")"
    done
    sed 's/^/    /' "$scratch/lintian"
    lintian_errors=$((lintian_errors + $(grep -c '^E: ' "$scratch/lintian")))
done

if [ $failures -ne 0 ] || [ $lintian_errors -ne 0 ]; then
    echo "$me: $failures checks failed, $lintian_errors lintian errors"
    exit 1
fi
echo "$me: all checks passed"
