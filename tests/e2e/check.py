#!/usr/bin/python3 -sE
"""Checks of the end-to-end scenarios, run inside the simulated Mac after the window is done:

  check.py log EXPECT...   the last session of the session log: its header, then one run per
                           EXPECT ("finished:0", "finished:some", "failed" or "stopped": ended
                           early because the window was closed), each with its step lines in
                           order, and "Session ended normally" as the last line
  check.py nothing-after-end
                           no fake tool was called after the session log's last line was
                           written
  check.py crash-warning   the session before the last one logged its SIGSEGV, and the last one
                           begins with the warning that it ended abnormally, naming its start
  check.py product-gone    nothing of the product on disk, in the fake tools' state or among the
                           processes, and every decoy still there
  check.py decoys          every decoy still there

Prints what is wrong and exits 1, or exits 0 silently.
"""

import json
import os
import re
import sys

HOME = os.environ.get("HOME", "/Users/tester")
TMP = os.environ.get("TMPDIR", "/tmp/").rstrip("/") + "/"
DARWIN = os.environ.get("SIM_DARWIN_USER_DIR", TMP.rstrip("/").rsplit("/", 1)[0])
CACHE = DARWIN + "/C/"
STATE = os.environ.get("SIM_STATE_DIR", "/var/db/sim")
LOG = HOME + "/Library/Logs/nuvraUninstaller/uninstall.log"

SEPARATOR = "─" * 60
STEP_AREAS = ["Stop", "Input method", "Apps", "Data", "Permissions", "Refresh", "Verify"]
ADMIN_REFUSED = "Uninstall failed at Remove nuvra apps: Administrator access was not granted."

problems = []


def problem(text):
    problems.append(text)


# ---------------------------------------------------------------------------------------------
# The session log.

ENTRY = re.compile(r"^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\] (.*)$")


def log_entries():
    """(timestamp, message) pairs; lines without a timestamp continue the message before them."""
    entries = []
    with open(LOG, encoding="utf-8") as f:
        for line in f.read().splitlines():
            match = ENTRY.match(line)
            if match:
                entries.append((match.group(1), match.group(2)))
            elif entries:
                entries[-1] = (entries[-1][0], entries[-1][1] + "\n" + line)
    return entries


def session_starts(entries):
    """Indexes of the header lines "nuvra Uninstaller v…" (each session has one)."""
    return [i for i, (_, m) in enumerate(entries) if m.startswith("nuvra Uninstaller v")]


def check_header(entries, at):
    lines = [m for _, m in entries[at - 1:at + 4]]
    if len(lines) != 5 or lines[0] != SEPARATOR or lines[4] != SEPARATOR \
            or not lines[2].startswith("macOS ") or not lines[3].startswith("Machine: "):
        problem("the session header is not separator, version, macOS, Machine, separator: "
                + repr(lines))
    # The simulated Mac's version file and model name, as a Mac's header gives them.
    elif lines[2] != "macOS 14.6.1 (23G93)" or not lines[3].startswith("Machine: Mac15,6 ["):
        problem("the session header does not tell which Mac this is: " + repr(lines[2:4]))


def check_run(messages, expect):
    """Checks one run starting at messages[0] == "Uninstall started"; returns the messages after
    its last line."""
    if not messages or messages[0] != "Uninstall started":
        problem(f"expected 'Uninstall started', found {messages[:1]}")
        return []
    end = next((i for i, m in enumerate(messages) if m.startswith("Uninstall finished")
                or m.startswith("Uninstall failed") or m.startswith("Uninstall stopped")), None)
    if end is None:
        problem("the run has no finish line")
        return []
    areas = [m.split(":", 1)[0].strip() for m in messages[1:end] if m.startswith("  ")]
    order = [STEP_AREAS.index(a) if a in STEP_AREAS else -1 for a in areas]
    if -1 in order or order != sorted(order):
        problem(f"step lines out of order or unknown: {areas}")
    finish = messages[end]
    if expect == "stopped":
        stopped = re.fullmatch(r"Uninstall stopped after (\d) of 7 steps: the application was closed",
                               finish)
        if not stopped:
            problem(f"expected the line of a run stopped by closing the window, found {finish!r}")
        elif any(a not in STEP_AREAS[:int(stopped.group(1))] for a in areas):
            problem(f"steps after the one at work when the window closed logged lines: {areas}")
    elif expect == "failed":
        if finish != ADMIN_REFUSED:
            problem(f"expected {ADMIN_REFUSED!r}, found {finish!r}")
        if any(a in areas for a in STEP_AREAS[3:]):
            problem(f"steps after the refused administrator dialog ran: {areas}")
    else:
        missing = [a for a in STEP_AREAS if a not in areas]
        if missing:
            problem(f"no log lines from the steps {missing}")
        residues = re.fullmatch(r"Uninstall finished \(residues: (\d+)\)", finish)
        if not residues:
            problem(f"expected the finish line, found {finish!r}")
        elif expect == "finished:0" and residues.group(1) != "0":
            problem(f"expected no residues, found {finish!r}")
        elif expect == "finished:some" and residues.group(1) == "0":
            problem(f"expected residues, found {finish!r}")
    return messages[end + 1:]


def check_log(expected_runs):
    entries = log_entries()
    starts = session_starts(entries)
    if not starts:
        problem("the session log has no header")
        return
    check_header(entries, starts[-1])
    rest = [m for _, m in entries[starts[-1] + 5:]]
    rest = [m for m in rest if not m.startswith("Preflight scan:")]
    for expect in expected_runs:
        rest = check_run(rest, expect)
    if rest != ["Session ended normally"]:
        problem(f"expected only 'Session ended normally' after the runs, found {rest}")


def check_nothing_after_end():
    """The fake tools log each call before they act, so a call log changed after the session log's
    last write means a command started after "Session ended normally"."""
    calls = os.environ.get("SIM_CALL_LOG", "/var/log/sim/calls.log")
    if os.path.exists(calls) and os.stat(calls).st_mtime_ns > os.stat(LOG).st_mtime_ns:
        with open(calls, encoding="utf-8", errors="replace") as f:
            last = f.read().splitlines()[-1:]
        problem(f"a command started after the session's end line: {last}")


def check_crash_warning():
    entries = log_entries()
    starts = session_starts(entries)
    if len(starts) < 2:
        problem("the session log does not hold two sessions")
        return
    crashed = entries[starts[-2] - 1:starts[-1] - 1]
    # The new session opens with the warning, then any crash-report lines, then its header.
    opening = starts[-1] - 2
    while opening > 0 and entries[opening][1].startswith("⚠️ System crash report found: "):
        opening -= 1
    warning = re.fullmatch(r"⚠️ Previous session \(started (.+)\) ended abnormally",
                           entries[opening][1])
    if not warning:
        problem(f"the new session does not open with the warning: {entries[opening][1]!r}")
    elif not crashed[0][0] <= warning.group(1) <= crashed[-1][0]:
        problem(f"the warning names {warning.group(1)}, but the crashed session ran from "
                f"{crashed[0][0]} to {crashed[-1][0]}")
    if any(m == "Session ended normally" for _, m in crashed):
        problem("the crashed session logged a normal end")
    if not any(m == "‼️ CRASH: SIGSEGV" for _, m in crashed):
        problem("the crashed session did not log '‼️ CRASH: SIGSEGV'")


# ---------------------------------------------------------------------------------------------
# The simulated Mac after a complete uninstall.

DECOY_PATHS = [
    "/Applications/Nuvra Notes.app/Contents/Info.plist",
    "/Library/Input Methods/KanaPad.app/Contents/Info.plist",
    HOME + "/Applications/NuvraAgentTools.app/Contents/Info.plist",
    "/usr/local/bin/nuvractl",
    HOME + "/Library/LaunchAgents/com.example.helper.plist",
    HOME + "/Library/LaunchAgents/ai.nuvra.tis-helper.plist.orig",
    HOME + "/Library/Preferences/com.example.nuvranotes.plist",
    HOME + "/Library/Preferences/ai.nuvra.inputmethod.NuvraInputExtras.plist",
    HOME + "/Library/Preferences/group.ai.nuvra.shared.backup.plist",
    HOME + "/Library/Group Containers/group.ai.nuvra.shared.backup/keep.txt",
    HOME + "/Library/Logs/nuvra-notes/app.log",
    HOME + "/Library/Application Support/nuvra2/keep.txt",
    HOME + "/Library/Caches/ai.nuvra.inputmethod.NuvraInput.helper/keep.txt",
    HOME + "/Library/Saved Application State/com.example.nuvranotes.savedState/windows.plist",
    TMP + "Nuvrainstaller.tmp",
    TMP + "xnuvraInstaller",
    TMP + "nuvra-agent-notes/keep.txt",
    CACHE + "com.apple.IntlDataCache.le.sbdx",
    "/tmp/nuvra-notes/keep.txt",
    HOME + "/Documents/Keep/notes.txt",
    HOME + "/Documents/Keep/cache-target/blob.bin",
    "/var/decoy/keep.txt",
]

# Names with "nuvra" in them that may stay: the decoys and the folders holding them, the
# uninstaller's own session log, staged input-source tool and Qt cache, and the stray copy in
# Downloads, which is the user's file: only its LaunchServices registration goes.
ALLOWED_PREFIXES = [
    "/Applications/Nuvra Notes.app",
    "/Library/Input Methods/KanaPad.app",
    HOME + "/Applications/NuvraAgentTools.app",
    HOME + "/Library/Logs/nuvra-notes",
    HOME + "/Library/Application Support/nuvra2",
    HOME + "/Library/Caches/ai.nuvra.inputmethod.NuvraInput.helper",
    HOME + "/Library/Group Containers/group.ai.nuvra.shared.backup",
    HOME + "/Library/Saved Application State/com.example.nuvranotes.savedState",
    TMP + "nuvra-agent-notes",
    "/tmp/nuvra-notes",
    HOME + "/Library/Logs/nuvraUninstaller",
    TMP + "nuvra-uninstaller-sourcectl",
    HOME + "/.cache/nuvraUninstaller",
    HOME + "/Downloads/nuvraInput.app",
]


PRODUCT_FILES_WITHOUT_NAME = [CACHE + "com.apple.IntlDataCache.le",
                              CACHE + "com.apple.IntlDataCache.le.kbdx"]

SEARCH_ROOTS = ["/Users", "/Applications", "/Library", "/tmp", "/var/folders", "/usr/local"]


def allowed(path):
    return path in DECOY_PATHS or any(path == p or path.startswith(p + "/") for p in ALLOWED_PREFIXES)


def check_decoys():
    for path in DECOY_PATHS:
        if not os.path.exists(path):
            problem(f"decoy removed: {path}")


def check_disk():
    for root in SEARCH_ROOTS:
        for folder, dirs, files in os.walk(root):  # does not follow symbolic links
            for name in dirs + files:
                path = os.path.join(folder, name)
                if "nuvra" in name.lower() and not allowed(path):
                    problem(f"left on disk: {path}")
                    if name in dirs:
                        dirs.remove(name)  # one line per leftover folder is enough
    for path in PRODUCT_FILES_WITHOUT_NAME:
        if os.path.lexists(path):
            problem(f"left on disk: {path}")


def load_state(name):
    with open(os.path.join(STATE, name), encoding="utf-8") as f:
        return json.load(f)


def product_id(text):
    return isinstance(text, str) and (text.startswith("ai.nuvra.") or text.startswith("com.nuvra."))


def check_tool_state():
    accounts = sorted(item.get("acct") for item in load_state("keychain.json"))
    expected = sorted(["jane@example.com", "jane", "com.apple.wifi", "nuvra.auth.session",
                       "jane@nuvranotes.example", "com.nuvra.agent"])
    if accounts != expected:
        problem(f"Keychain accounts {accounts}, expected {expected}")
    labels = [agent["label"] for agent in load_state("launchd.json")]
    if labels != ["com.example.helper"]:
        problem(f"loaded agents {labels}, expected only com.example.helper")
    registered = [r["identifier"] for r in load_state("lsregister.json")]
    if any(product_id(i) for i in registered) or sorted(registered) != sorted(
            ["com.example.nuvranotes", "com.example.inputmethod.KanaPad"]):
        problem(f"LaunchServices records {registered}")
    # Another app's records stay, and so does the legacy identifier's: no installed bundle carries
    # it, so macOS cannot reset it by identifier. The installed bundles' records must be gone.
    clients = sorted(r["client"] for r in load_state("tcc.json"))
    if clients != ["com.example.inputmethod.KanaPad", "com.nuvra.agent", "us.zoom.xos"]:
        problem(f"privacy records for {clients}")
    check_keyboard_settings()


def check_keyboard_settings():
    import plistlib
    with open(HOME + "/Library/Preferences/com.apple.HIToolbox.plist", "rb") as f:
        settings = plistlib.load(f)
    for key in ("AppleEnabledInputSources", "AppleSelectedInputSources", "AppleInputSourceHistory"):
        for entry in settings.get(key, []):
            if product_id(entry.get("Bundle ID")) or product_id(entry.get("Input Mode")):
                problem(f"keyboard settings still list the product under {key}: {entry}")


def process_commands():
    commands = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
            commands.append(argv[0].decode("utf-8", "replace"))
        except OSError:
            pass
    return commands


def check_processes():
    commands = process_commands()
    for command in commands:
        if re.search(r"/(nuvra|nuvraInput|NuvraAgent)\.app/Contents/MacOS/", command):
            problem(f"still running: {command}")
    for decoy in ("/Applications/Nuvra Notes.app/Contents/MacOS/Nuvra Notes",
                  "/usr/local/bin/nuvractl"):
        if decoy not in commands:
            problem(f"decoy process ended: {decoy}")


def main(argv):
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    what, args = argv[0], argv[1:]
    if what == "log":
        check_log(args)
    elif what == "nothing-after-end":
        check_nothing_after_end()
    elif what == "crash-warning":
        check_crash_warning()
    elif what == "product-gone":
        check_disk()
        check_tool_state()
        check_processes()
        check_decoys()
    elif what == "decoys":
        check_decoys()
    else:
        sys.stderr.write(__doc__)
        return 2
    for text in problems:
        print(f"check {what}: {text}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
