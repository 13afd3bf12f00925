#!/bin/bash
# Removes the product's system-wide traces. Run as root by the uninstaller, with no arguments.
#
# Every target is removed with rm, which deletes a symbolic link itself and never descends through
# one: "/tmp/nuvra" sits in a folder every user can write to, so it may be a link someone planted to
# a system folder, and following it as root would be a disaster.
#
# Exit status 0 when nothing is left; otherwise 1, naming each survivor on standard error.

set -u
shopt -s nullglob
export PATH=/usr/bin:/bin:/usr/sbin:/sbin

targets=(
    "/Applications/nuvra.app"
    "/Applications/NuvraAgent.app"
    "/Library/Input Methods"/nuvraInput*.app
    "/tmp/nuvra"
)

status=0
for target in "${targets[@]}"; do
    if [[ ! -e "$target" && ! -L "$target" ]]; then
        continue
    fi
    /bin/rm -rf -- "$target" 2>/dev/null
    if [[ -e "$target" || -L "$target" ]]; then
        echo "Could not remove $target." >&2
        status=1
    fi
done
exit "$status"
