#!/usr/bin/env bash
# Inside the simulated Mac, as root, with nuvra's whole footprint for tester and riley's user-level
# footprint: runs the uninstall package's postinstall as the installer does, and checks what a
# management tool relies on: exit 0, one JSON line per step and the result in the deployment log,
# the system's traces gone and the accounts' as the case says.
#   uninstall_package.sh APP_BUNDLE installed|packaged|admin-owned
# installed: the uninstaller lies in /Applications, root's, and the package carries no copy;
#   tester is at the console: tester's traces go, riley's stay untouched;
# packaged: no uninstaller is installed, the package carries one, and nobody is at the console:
#   every account is cleaned, each account's lines name it (before that, a package aimed at another
#   volume and a log folder that is a link are refused with nothing removed; afterwards a stand-in
#   command shows that the install's status follows the command's);
# admin-owned: the uninstaller in /Applications belongs to an administrator, whose program has
#   replaced its command: the package's own copy runs, never theirs.
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
packaged)
    cp -R "$bundle" "$package/nuvraUninstaller.app"
    umount /dev/console
    ;;
admin-owned)
    cp -R "$bundle" /Applications/nuvraUninstaller.app
    printf '#!/bin/sh\ntouch /etc/owned\n' >/Applications/nuvraUninstaller.app/Contents/MacOS/nuvra-uninstall
    chown -R 501:20 /Applications/nuvraUninstaller.app
    cp -R "$bundle" "$package/nuvraUninstaller.app"
    ;;
*) fail "installed, packaged or admin-owned, not $where" ;;
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
    # A log folder someone made a link: root writes nothing through it, and removes nothing.
    mkdir -p /Library/Logs && ln -s /etc /Library/Logs/nuvraUninstaller
    status=0
    "$package/postinstall" "$package/../nuvra.pkg" / / / 2>/dev/null || status=$?
    [[ $status == 73 ]] || fail "postinstall exited $status with a linked log folder"
    [[ ! -e /etc/deploy.jsonl ]] || fail "it wrote through the link"
    [[ -e /Applications/nuvra.app ]] || fail "it removed things all the same"
    rm /Library/Logs/nuvraUninstaller
fi

status=0
"$package/postinstall" "$package/../nuvra.pkg" / / / || status=$?
[[ $status == 0 ]] || fail "postinstall exited $status"

log=/Library/Logs/nuvraUninstaller/deploy.jsonl
python3 - "$log" "$where" <<'PY' || fail "the deployment log is not one JSON line per step and the result: $(cat "$log")"
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
all_steps = ["stopProcesses", "inputSource", "removeApps", "removeData", "resetPermissions",
             "refreshSystem", "verify"]
runs = {}  # whose run -> its step lines and result
for line in lines[:-1] if sys.argv[2] == "packaged" else lines:
    run = runs.setdefault(line.get("user", "console"), {"steps": [], "result": None})
    if "step" in line:
        assert line["state"] == "done", line
        run["steps"].append(line["step"])
    else:
        assert run["result"] is None and line["result"] == "finished", line
        assert line["exitStatus"] == 0 and line["residues"] == [], line
        run["result"] = line
if sys.argv[2] == "packaged":
    # Nobody at the console: the system-wide part once, then each account in turn.
    assert list(runs) == [None, "tester", "riley"], list(runs)
    assert runs[None]["steps"] == ["removeApps", "verify"], runs[None]
    assert runs["tester"]["steps"] == all_steps and runs["riley"]["steps"] == all_steps, runs
    assert lines[-1] == {"result": "finished", "users": ["tester", "riley"], "exitStatus": 0}, lines[-1]
else:
    assert list(runs) == ["console"] and runs["console"]["steps"] == all_steps, runs
PY

status=0
"$cli" inventory --json --user tester >/tmp/inventory-after.json || status=$?
[[ $status == 0 ]] || fail "tester's or the system's traces are left: $(cat /tmp/inventory-after.json)"
if [[ $where == packaged ]]; then
    status=0
    "$cli" inventory --json --user riley >/tmp/inventory-after.json || status=$?
    [[ $status == 0 ]] || fail "riley's traces are left: $(cat /tmp/inventory-after.json)"
else
    [[ $(rileys_traces) == "$riley_before" ]] || fail "riley's traces changed: $(diff <(echo "$riley_before") <(rileys_traces))"
fi
[[ ! -e /etc/owned ]] || fail "root ran the administrator's replacement of the command"

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
