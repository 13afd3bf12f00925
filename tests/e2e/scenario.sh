#!/usr/bin/env bash
# One end-to-end scenario of the real uninstaller window, run as the user inside a simulated Mac
# whose scene CTest planted (tests/e2e/CMakeLists.txt):
#   scenario.sh goodbye | dismissed-then-retry | residue | clean-mac | crash
# Screenshots of every screen passed, the application's output and the session log end up in
# E2E_SHOTS.
set -euo pipefail
here=$(cd "${BASH_SOURCE[0]%/*}" && pwd)
. "$here/window.sh"

check() { "$here/check.py" "$@"; }
fail() {
    note "FAILED: $*"
    exit 1
}
keep_log() { cp "$HOME/Library/Logs/nuvraUninstaller/uninstall.log" "$E2E_SHOTS/" 2>/dev/null || true; }
trap keep_log EXIT

# Clicks "Quit" on a final screen and checks that the application ended by itself.
quit_app() {
    click_control
    wait_app_end 10 || fail "Quit did not end the application"
    ((app_status == 0)) || fail "the application exited with status $app_status"
}

set_pkexec() { echo "$1" >"$SIM_STATE_DIR/pkexec.mode"; }

goodbye() {
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    wait_screen done done-residues failed || fail "the run did not end"
    [[ $screen_reached == done ]] || fail "expected Goodbye., got $screen_reached"
    saw_screen uninstalling || fail "no progress bar during the run"
    quit_app
    check log finished:0
    check product-gone
}

dismissed-then-retry() {
    set_pkexec dismiss
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    wait_screen failed done done-residues || fail "the run did not end"
    [[ $screen_reached == failed ]] || fail "expected the failure screen, got $screen_reached"
    set_pkexec approve
    click_control # Retry
    wait_screen done done-residues failed || fail "the retried run did not end"
    [[ $screen_reached == done ]] || fail "expected Goodbye. after Retry, got $screen_reached"
    quit_app
    check log failed finished:0
    check product-gone
}

residue() {
    # A folder in the product's data that the user cannot delete: it belongs to root, and so does
    # the file inside. Planted through the administrator helper, then the dialog is reset.
    local locked="$HOME/Library/Application Support/nuvra/locked"
    pkexec /bin/sh -c 'mkdir -p "$1" && echo keep >"$1/file" && chown -R 0:0 "$1" && chmod 755 "$1"' \
        sh "$locked" >/dev/null
    [[ -O $locked ]] && fail "the protected folder was not planted as root"
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    wait_screen done-residues done failed || fail "the run did not end"
    [[ $screen_reached == done-residues ]] || fail "expected 'nuvra was removed', got $screen_reached"
    # "Show Log" reveals the log in a file manager, which the simulated Mac does not have: the
    # click must leave the window as it was.
    click_link
    sleep 1
    app_running || fail "Show Log ended the application"
    expect_screen done-residues || fail "Show Log changed the screen"
    quit_app
    [[ -f $locked/file ]] || fail "the protected file vanished"
    check log finished:some
    check decoys
}

clean-mac() {
    start_app
    expect_screen nothing-found || fail "expected 'nuvra was not found'"
    click_link # Clean up anyway
    wait_screen done done-residues failed || fail "the clean-up run did not end"
    [[ $screen_reached == done ]] || fail "expected Goodbye. after the clean-up, got $screen_reached"
    saw_screen uninstalling || fail "no progress bar during the clean-up"
    quit_app
    check log finished:0
}

crash() {
    start_app
    expect_screen nothing-found || fail "no first screen"
    kill -SEGV "$app_pid"
    wait_app_end 10 || fail "SIGSEGV did not end the application"
    ((app_status != 0)) || fail "the crashed application exited with status 0"
    start_app
    expect_screen nothing-found || fail "no first screen after the crash"
    quit_app
    check crash-warning
}

case "${1:-}" in
goodbye | dismissed-then-retry | residue | clean-mac | crash) ;;
*)
    note "usage: scenario.sh goodbye|dismissed-then-retry|residue|clean-mac|crash"
    exit 2
    ;;
esac
start_xvfb
"$1"
note "passed: $1 (screens: $(cd "$E2E_SHOTS" && ls ./*.png 2>/dev/null | tr '\n' ' '))"
