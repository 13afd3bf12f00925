#!/usr/bin/env bash
# Before the end-to-end scenarios, on the host: renders the reference images of the seven
# screens, and gives every scenario a fresh screenshot folder that the simulated user may write.
#   prepare.sh RENDER_SCREENS APP_ICON REFERENCE_FOLDER SCREENSHOT_FOLDER SCENARIO...
set -euo pipefail
render=$1 icon=$2 references=$3 shots=$4
shift 4
rm -rf "$references"
QT_QPA_PLATFORM=offscreen "$render" "$references" "$icon" >/dev/null
for scenario in "$@"; do
    rm -rf "${shots:?}/$scenario"
    mkdir -p "$shots/$scenario"
    chmod 0777 "$shots/$scenario"
done
