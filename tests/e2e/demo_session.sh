#!/usr/bin/env bash
# The demo's part inside the simulated Mac, run as the user by scripts/demo.sh: the inventory,
# one complete uninstall in the real window, the inventory again and the session log.
# DEMO_DISPLAY (and DEMO_XAUTHORITY): the user's own display, tried first.
set -euo pipefail
here=$(cd "${BASH_SOURCE[0]%/*}" && pwd)
# shellcheck source=window.sh
. "$here/window.sh"

section() { printf '\n== %s\n' "$*"; }

section "Inventory of this Mac (nuvraUninstaller --inventory)"
"$E2E_APP" --inventory

on_own_display=false
if [[ -n ${DEMO_DISPLAY:-} ]]; then
    if DISPLAY=$DEMO_DISPLAY XAUTHORITY=${DEMO_XAUTHORITY:-} xdotool getdisplaygeometry >/dev/null 2>&1; then
        export DISPLAY=$DEMO_DISPLAY XAUTHORITY=${DEMO_XAUTHORITY:-}
        on_own_display=true
    else
        echo "(your display $DEMO_DISPLAY cannot be reached from inside the simulated Mac:" \
            "using a private X server instead)"
    fi
fi
$on_own_display || start_xvfb

section "The uninstaller window"
start_app
wait_screen ready nothing-found
echo "The window shows: $screen_reached"
if $on_own_display; then
    echo "Click \"Uninstall\" in the window."
    E2E_WAIT=600 wait_screen "done" done-residues failed
else
    echo "Clicking \"Uninstall\""
    click_control
    wait_screen "done" done-residues failed
fi
echo "The window shows: $screen_reached"
if $on_own_display; then
    echo "Click \"Quit\" to close the window."
    wait_app_end 600
else
    echo "Clicking \"Quit\""
    click_control
    wait_app_end 10
fi

# This session's part of the log: from the separator above its header to the end (the inventory
# runs write their own scan entries around it).
log=$HOME/Library/Logs/nuvraUninstaller/uninstall.log
first=$(grep -n '^\[[^]]*\] nuvra Uninstaller v' "$log" | tail -n 1 | cut -d: -f1)
session=$(tail -n +"$((first - 1))" "$log")

section "Inventory after the uninstall"
"$E2E_APP" --inventory

section "Session log of the run (~/Library/Logs/nuvraUninstaller/uninstall.log)"
printf '%s\n' "$session"
rm -f "$E2E_SHOTS/match-distances.txt" "$E2E_SHOTS/app-output.txt"
