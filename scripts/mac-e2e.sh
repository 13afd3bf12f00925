#!/usr/bin/env bash
# End to end on the Mac it runs on (a hosted runner, or the simulated Mac through CTest): plants a
# small footprint of nuvra with the system's own tools, each trace with a decoy beside it, removes
# it with the administrators' command as root, and checks that every trace is gone and every decoy
# is still there; then starts the window for a few seconds and saves a screenshot of it.
#   scripts/mac-e2e.sh APP_BUNDLE OUTPUT_FOLDER
# Runs as an ordinary user who may use sudo. It refuses a Mac that already has something of nuvra
# or one of the decoys: it removes only what it planted itself. The decoys go at the end.
set -euo pipefail
app=${1:?usage: mac-e2e.sh APP_BUNDLE OUTPUT_FOLDER}
out=${2:?usage: mac-e2e.sh APP_BUNDLE OUTPUT_FOLDER}
cli=$app/Contents/MacOS/nuvra-uninstall
user=${USER:-$(id -un)}
uid=$(id -u)
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/mac-e2e.XXXXXX")

say() { printf '== %s\n' "$*"; }
fail() {
    printf 'mac-e2e: FAILED: %s\n' "$*" >&2
    exit 1
}

# What is planted. The product's names are ones the uninstaller knows; every decoy is a look-alike
# of the trace beside it that the uninstaller must leave alone.
product_app=nuvra.app product_id=ai.nuvra.macos
decoy_app="Nuvra Notes.app" decoy_id=com.example.nuvranotes
product_domain=ai.nuvra.inputmethod.NuvraInput decoy_domain=$decoy_id
product_accounts=(ai.nuvra.auth.session ai.nuvra.auth.pendingPKCE) decoy_account=nuvra.auth.session
agents="$HOME/Library/LaunchAgents"
product_agent=ai.nuvra.tis-helper decoy_agent=com.example.nuvranotes.helper

# A bundle as a build makes one: Info.plist with the identifier, and an executable that only exits.
make_app() { # FOLDER IDENTIFIER
    local name=${1##*/}
    name=${name%.app}
    mkdir -p "$1/Contents/MacOS"
    cat >"$1/Contents/Info.plist" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key><string>$name</string>
	<key>CFBundleIdentifier</key><string>$2</string>
	<key>CFBundlePackageType</key><string>APPL</string>
</dict>
</plist>
EOF
    printf '#!/bin/sh\nexit 0\n' >"$1/Contents/MacOS/$name"
    chmod 755 "$1/Contents/MacOS/$name"
}

# A launch agent that does nothing when started and is never started by itself.
make_agent() { # LABEL
    cat >"$agents/$1.plist" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Label</key><string>$1</string>
	<key>ProgramArguments</key><array><string>/usr/bin/true</string></array>
	<key>RunAtLoad</key><false/>
</dict>
</plist>
EOF
}

# Runs "$@" and checks its exit status against $expected; output goes to the file $into.
expect_status() { # EXPECTED INTO COMMAND...
    local expected=$1 into=$2 status=0
    shift 2
    "$@" >"$into" || status=$?
    [[ $status == "$expected" ]] || fail "$* exited $status, expected $expected (output: $into)"
}

window_pid=""
remove_decoys() {
    if [[ -n $window_pid ]]; then kill "$window_pid" 2>/dev/null || true; fi
    sudo rm -rf "/Applications/$decoy_app"
    rm -rf "$HOME/Applications/$decoy_app" "$work"
    defaults delete "$decoy_domain" >/dev/null 2>&1 || true
    security delete-generic-password -a "$decoy_account" -s "$decoy_id" >/dev/null 2>&1 || true
    launchctl bootout "gui/$uid/$decoy_agent" 2>/dev/null || true
    rm -f "$agents/$decoy_agent.plist"
}

say "Is this Mac free of nuvra and of the decoys?"
expect_status 0 "$out/inventory-first.json" "$cli" inventory --json
for path in "/Applications/$decoy_app" "$HOME/Applications/$decoy_app" \
    "$HOME/Library/Preferences/$decoy_domain.plist" "$agents/$decoy_agent.plist"; do
    [[ ! -e $path ]] || fail "$path is already there; this script plants its own"
done
if security find-generic-password -a "$decoy_account" -s "$decoy_id" >/dev/null 2>&1; then
    fail "the Keychain already has the decoy item ($decoy_account, $decoy_id)"
fi
trap remove_decoys EXIT

say "Planting nuvra's footprint and the decoys with the system's tools"
make_app "$work/$product_app" "$product_id"
make_app "$work/$decoy_app" "$decoy_id"
mkdir -p "$HOME/Applications" "$agents"
for bundle in "$product_app" "$decoy_app"; do
    sudo cp -R "$work/$bundle" /Applications/
    cp -R "$work/$bundle" "$HOME/Applications/"
done
defaults write "$product_domain" plantedBy -string mac-e2e
defaults write "$decoy_domain" plantedBy -string mac-e2e
for account in "${product_accounts[@]}"; do
    security add-generic-password -a "$account" -s "$account" -w planted
done
security add-generic-password -a "$decoy_account" -s "$decoy_id" -w planted
make_agent "$product_agent"
make_agent "$decoy_agent"
launchctl bootstrap "gui/$uid" "$agents/$product_agent.plist"
launchctl bootstrap "gui/$uid" "$agents/$decoy_agent.plist"

say "nuvra-uninstall inventory --json (exit status 1: something to remove)"
expect_status 1 "$out/inventory-before.json" "$cli" inventory --json
say "sudo nuvra-uninstall run --yes --json --user $user (exit status 0: nothing left)"
expect_status 0 "$out/run.jsonl" sudo "$cli" run --yes --json --user "$user"
cat "$out/run.jsonl"
say "nuvra-uninstall inventory --json again (exit status 0: nothing to remove)"
expect_status 0 "$out/inventory-after.json" "$cli" inventory --json

say "Every decoy is still there"
for path in "/Applications/$decoy_app" "$HOME/Applications/$decoy_app"; do
    [[ -x "$path/Contents/MacOS/Nuvra Notes" ]] || fail "the decoy $path is gone"
done
[[ $(defaults read "$decoy_domain" plantedBy) == mac-e2e ]] || fail "the decoy domain $decoy_domain changed"
security find-generic-password -a "$decoy_account" -s "$decoy_id" >/dev/null ||
    fail "the decoy Keychain item ($decoy_account, $decoy_id) is gone"
[[ -f $agents/$decoy_agent.plist ]] || fail "the decoy agent's file is gone"
launchctl print "gui/$uid/$decoy_agent" >/dev/null || fail "the decoy agent $decoy_agent was unloaded"
say "And the traces are gone"
[[ ! -e /Applications/$product_app && ! -e $HOME/Applications/$product_app ]] ||
    fail "a copy of $product_app is left"
for account in "${product_accounts[@]}"; do
    if security find-generic-password -a "$account" -s "$account" >/dev/null 2>&1; then
        fail "the Keychain item $account is left"
    fi
done
if launchctl print "gui/$uid/$product_agent" >/dev/null 2>&1; then
    fail "the agent $product_agent is still loaded"
fi

say "The window, for a few seconds"
# The window's session log says when its first scan is done, the moment the window shows what it
# found; nothing else on a Mac tells a script that another process's window is on screen without
# a permission this job cannot grant.
session_log=$HOME/Library/Logs/nuvraUninstaller/uninstall.log
scans_before=$(grep -c '^\[.*\] Preflight scan:' "$session_log" 2>/dev/null || true)
"$app/Contents/MacOS/nuvraUninstaller" >"$out/window-output.txt" 2>&1 &
window_pid=$!
for ((tenths = 0; tenths < 300; tenths++)); do
    kill -0 "$window_pid" 2>/dev/null || fail "the window application ended early (see window-output.txt)"
    scans=$(grep -c '^\[.*\] Preflight scan:' "$session_log" 2>/dev/null || true)
    ((${scans:-0} > ${scans_before:-0})) && break
    sleep 0.1
done
((tenths < 300)) || fail "the window's first scan did not end within 30 s (see $session_log)"
sleep 1 # a frame or two to draw what it found
kill -0 "$window_pid" 2>/dev/null || fail "the window application ended early (see window-output.txt)"
screencapture -x "$out/window.png"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""
say "passed: the screenshot is $out/window.png"
