#!/usr/bin/env bash
# Inside the simulated Mac, as root, with nuvra's whole footprint for the console user (tester)
# and riley's user-level footprint: runs the uninstall package's postinstall as the installer
# does, and checks what a management tool relies on: exit 0, one JSON line per step and the
# result in the deployment log, tester's and the system's traces gone, riley's untouched.
#   uninstall_package.sh APP_BUNDLE installed|packaged
# installed: the uninstaller lies in /Applications and the package carries no copy;
# packaged: no uninstaller is installed, the package carries one (and a package aimed at another
# volume is refused first, with nothing removed; then a stand-in command shows that the install's
# status follows the command's).
set -euo pipefail
bundle=$1 where=$2
repo=$(cd "${BASH_SOURCE[0]%/*}/../.." && pwd)
fail() {
    printf 'FAILED: %s\n' "$*" >&2
    exit 1
}

"$repo/sim/scene" full
"$repo/sim/scene" --for riley footprint
package=$(mktemp -d /var/tmp/package-scripts.XXXXXX)
cp "$repo/scripts/uninstall-pkg/postinstall" "$package/"
case $where in
installed) cp -R "$bundle" /Applications/nuvraUninstaller.app ;;
packaged) cp -R "$bundle" "$package/nuvraUninstaller.app" ;;
*) fail "installed or packaged, not $where" ;;
esac
cli=$bundle/Contents/MacOS/nuvra-uninstall

# Everything of riley's a run for tester could touch.
rileys_traces() {
    find /Users/riley /var/folders/zq -printf '%y %m %u %p -> %l\n' | LC_ALL=C sort
    sudo -H -u riley /usr/bin/defaults export com.apple.HIToolbox -
    sudo -H -u riley /usr/bin/security dump-keychain
    python3 -c 'import json, sys
for name in sys.argv[1:]:
    for record in json.load(open("/var/db/sim/" + name)):
        if record.get("home") == "/Users/riley" or record.get("domain") == "gui/502":
            print(json.dumps(record, sort_keys=True))' launchd.json tcc.json lsregister.json
    ps -o args= -u riley
}
riley_before=$(rileys_traces)

if [[ $where == packaged ]]; then
    status=0
    "$package/postinstall" "$package/../nuvra.pkg" / /Volumes/Other / 2>/dev/null || status=$?
    [[ $status != 0 ]] || fail "a package aimed at another volume was run"
    [[ ! -e /Library/Logs/nuvraUninstaller/deploy.jsonl ]] || fail "it ran all the same"
fi

status=0
"$package/postinstall" "$package/../nuvra.pkg" / / / || status=$?
[[ $status == 0 ]] || fail "postinstall exited $status"

log=/Library/Logs/nuvraUninstaller/deploy.jsonl
python3 - "$log" <<'PY' || fail "the deployment log is not one JSON line per step and the result: $(cat "$log")"
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
steps = [line["step"] for line in lines if "step" in line]
assert steps == ["stopProcesses", "inputSource", "removeApps", "removeData", "resetPermissions",
                 "refreshSystem", "verify"], steps
assert all(line["state"] == "done" for line in lines if "step" in line), lines
assert len(lines) == len(steps) + 1 and lines[-1]["result"] == "finished", lines[-1]
assert lines[-1]["exitStatus"] == 0 and lines[-1]["residues"] == [], lines[-1]
PY

status=0
"$cli" inventory --json --user tester >/tmp/inventory-after.json || status=$?
[[ $status == 0 ]] || fail "tester's or the system's traces are left: $(cat /tmp/inventory-after.json)"
[[ $(rileys_traces) == "$riley_before" ]] || fail "riley's traces changed: $(diff <(echo "$riley_before") <(rileys_traces))"

# The install's status follows the command's: traces left (1) is still a successful install,
# anything else (a failed step, bad usage) fails it. A stand-in command exits with each.
if [[ $where == packaged ]]; then
    rm -rf /Applications/nuvraUninstaller.app "$package/nuvraUninstaller.app"
    mkdir -p "$package/nuvraUninstaller.app/Contents/MacOS"
    cat >"$package/nuvraUninstaller.app/Contents/MacOS/nuvra-uninstall" <<'STAND_IN'
#!/bin/sh
echo '{"result":"stand-in"}'
exit "$STAND_IN_STATUS"
STAND_IN
    chmod 755 "$package/nuvraUninstaller.app/Contents/MacOS/nuvra-uninstall"
    for pair in 1:0 3:3 64:64; do
        status=0
        STAND_IN_STATUS=${pair%:*} "$package/postinstall" "$package/../nuvra.pkg" / / / 2>/dev/null ||
            status=$?
        [[ $status == "${pair#*:}" ]] || fail "the command exited ${pair%:*}, postinstall $status"
    done
    [[ $(grep -c '"stand-in"' "$log") == 3 ]] || fail "the stand-in's lines are not all in the log"
fi
echo "passed ($where): $(wc -l <"$log") lines in the deployment log"
