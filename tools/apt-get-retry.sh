#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# apt-get with a few tries: a mirror in the middle of a sync serves an index
# that fails its hash check for a minute or so, and "apt-get update" then only
# warns ("Some index files failed to download") and may exit 0 with stale lists.
# A try counts as failed on a non-zero exit or on such a warning.
#
# usage: tools/apt-get-retry.sh APT-GET-ARGUMENTS...
#        APT_GET (default apt-get, with sudo when not root), APT_TRIES (5) and
#        APT_RETRY_DELAY (15 seconds) can be set in the environment.

tries=${APT_TRIES:-5}
delay=${APT_RETRY_DELAY:-15}
if [ -z "${APT_GET:-}" ]; then
    APT_GET=apt-get
    [ "$(id -u)" = 0 ] || APT_GET="sudo apt-get"
fi
log=$(mktemp) || exit 1
status_file=$(mktemp) || exit 1
trap 'rm -f "$log" "$status_file"' EXIT

attempt=1
while :; do
    { DEBIAN_FRONTEND=noninteractive $APT_GET "$@" 2>&1; echo $? > "$status_file"; } | tee "$log"
    status=$(cat "$status_file")
    if [ "$status" = 0 ] && ! grep -Eq '^(W|E): (Failed to fetch|Some index files failed to download)' "$log"; then
        exit 0
    fi
    if [ "$attempt" -ge "$tries" ]; then
        echo "apt-get-retry: 'apt-get $*' still failing after $attempt tries" >&2
        exit 1
    fi
    echo "apt-get-retry: try $attempt of $tries failed; trying again in ${delay}s" >&2
    attempt=$((attempt + 1))
    sleep "$delay"
done
