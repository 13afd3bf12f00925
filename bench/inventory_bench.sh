#!/bin/bash
# The whole-process inventory figures, inside a simulated Mac with the full footprint and tool
# stand-ins that answer at once (then slowed to 50 ms a call). Prints table rows (bench/table.py).
#
#   sim/run --scene full -- bench/inventory_bench.sh APP CANNED_TOOL [repetitions]
set -euo pipefail
app=$1 canned_tool=$2 reps=${3:-5}
here=$(cd "${BASH_SOURCE[0]%/*}" && pwd)
# shellcheck source=canned_tools.sh
source "$here/canned_tools.sh"
install_canned_tools "$canned_tool"

# Milliseconds the command takes, start to exit, output discarded.
elapsed_ms() {
    local start=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1 || true
    local end=${EPOCHREALTIME/./}
    printf '%d.%03d' $(((end - start) / 1000)) $(((end - start) % 1000))
}

samples() { local IFS=,; echo "$*"; }

true_ms=() app_ms=() script_ms=()
for ((i = 0; i < reps; i++)); do
    true_ms+=("$(elapsed_ms /bin/true)")
    app_ms+=("$(elapsed_ms "$app" --inventory)")
    script_ms+=("$(elapsed_ms "$here/inventory_scan.sh")")
done
echo "row|--inventory, whole process (anchor /bin/true)|ms|$(samples "${app_ms[@]}")|$(samples "${true_ms[@]}")|+<=25"
echo "row|--inventory, whole process (anchor the bash scan)|ms|$(samples "${app_ms[@]}")|$(samples "${script_ms[@]}")|x<=0.5"

set_tool_delay 50
slow_app=() slowest_call=()
for ((i = 0; i < reps; i++)); do
    slow_app+=("$(elapsed_ms "$app" --inventory)")
    a=$(elapsed_ms /usr/bin/security dump-keychain)
    b=$(elapsed_ms /usr/bin/defaults export com.apple.HIToolbox -)
    c=$(elapsed_ms /usr/sbin/pkgutil --pkgs)
    slowest_call+=("$(printf '%s\n%s\n%s\n' "$a" "$b" "$c" | sort -g | tail -n 1)")
done
set_tool_delay 0
echo "row|--inventory, tools 50 ms a call (anchor the slowest call)|ms|$(samples "${slow_app[@]}")|$(samples "${slowest_call[@]}")|+<=25"
