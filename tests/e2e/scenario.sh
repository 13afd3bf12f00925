#!/usr/bin/env bash
# One end-to-end scenario of the real uninstaller window, run as the user inside a simulated Mac
# whose scene CTest planted (tests/e2e/CMakeLists.txt):
#   scenario.sh goodbye | dismissed-then-retry | residue | clean-mac | crash
#               | window-manager | close-mid-run
# The last two run under a window manager (openbox), the others on a bare X server.
# Screenshots of every screen passed, the application's output and the session log end up in
# E2E_SHOTS.
set -euo pipefail
here=$(cd "${BASH_SOURCE[0]%/*}" && pwd)
# shellcheck source=window.sh
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
    wait_app_end || fail "Quit did not end the application"
    ((app_status == 0)) || fail "the application exited with status $app_status"
}

set_pkexec() { echo "$1" >"$SIM_STATE_DIR/pkexec.mode"; }

goodbye() {
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    wait_screen "done" done-residues failed || fail "the run did not end"
    [[ $screen_reached == "done" ]] || fail "expected Goodbye., got $screen_reached"
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
    wait_screen failed "done" done-residues || fail "the run did not end"
    [[ $screen_reached == failed ]] || fail "expected the failure screen, got $screen_reached"
    set_pkexec approve
    click_control # Retry
    wait_screen "done" done-residues failed || fail "the retried run did not end"
    [[ $screen_reached == "done" ]] || fail "expected Goodbye. after Retry, got $screen_reached"
    quit_app
    check log failed finished:0
    check product-gone
}

residue() {
    # A folder in the product's data that the user cannot delete: it belongs to root, and so does
    # the file inside. Planted through the administrator helper, then the dialog is reset.
    local locked="$HOME/Library/Application Support/nuvra/locked"
    # shellcheck disable=SC2016 # expanded by the shell pkexec starts
    pkexec /bin/sh -c 'mkdir -p "$1" && echo keep >"$1/file" && chown -R 0:0 "$1" && chmod 755 "$1"' \
        sh "$locked" >/dev/null
    [[ -O $locked ]] && fail "the protected folder was not planted as root"
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    wait_screen done-residues "done" failed || fail "the run did not end"
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
    wait_screen "done" done-residues failed || fail "the clean-up run did not end"
    [[ $screen_reached == "done" ]] || fail "expected Goodbye. after the clean-up, got $screen_reached"
    saw_screen uninstalling || fail "no progress bar during the clean-up"
    quit_app
    check log finished:0
}

crash() {
    start_app
    expect_screen nothing-found || fail "no first screen"
    kill -SEGV "$app_pid"
    wait_app_end || fail "SIGSEGV did not end the application"
    ((app_status != 0)) || fail "the crashed application exited with status 0"
    start_app
    expect_screen nothing-found || fail "no first screen after the crash"
    quit_app
    check crash-warning
}

# Under a window manager, the content's top-left corner is where centring the 480 × 450 content
# on the screen puts it (openbox has no panels: the whole screen is visible), within 1 pixel.
expect_content_centred() {
    local x y width height
    read -r x y < <(content_origin)
    read -r width height < <(xdotool getdisplaygeometry)
    local dx=$((x - (width - 480) / 2)) dy=$((y - (height - 450) / 2))
    ((dx * dx <= 1 && dy * dy <= 1)) || fail "$1: content at $x,$y on a ${width}x$height screen"
}

# The title bar shows no title: both title properties are empty, and the title bar between the
# window icon and the buttons is one gradient, the same in every column (text would not be).
expect_no_title() {
    local names
    names=$(xprop -id "$app_window" _NET_WM_NAME WM_NAME)
    [[ $names == $'_NET_WM_NAME(UTF8_STRING) = \nWM_NAME(STRING) = ' ]] || fail "title properties: $names"
    xprop -id "$app_window" WM_CLASS | grep -q '"nuvraUninstaller", "nuvraUninstaller"' ||
        fail "the application lost its window class: $(xprop -id "$app_window" WM_CLASS)"
    local x y right top
    read -r x y < <(content_origin)
    read -r _ right top _ < <(frame_extents)
    import -window root -crop "400x$((top - 2))+$((x + 30))+$((y - top + 1))" "$E2E_SHOTS/title-bar.png"
    convert "$E2E_SHOTS/title-bar.png" -roll +13+0 /tmp/title-bar-rolled.png
    local differing
    differing=$(compare -metric AE "$E2E_SHOTS/title-bar.png" /tmp/title-bar-rolled.png null: 2>&1) || true
    [[ $differing == 0 ]] || fail "the title bar shows something ($differing pixels differ; see title-bar.png)"
}

window-manager() {
    start_window_manager
    start_app
    expect_screen ready || fail "no Uninstall screen"
    expect_no_title
    expect_content_centred "at launch"
    click_control
    wait_screen "done" done-residues failed || fail "the run did not end"
    [[ $screen_reached == "done" ]] || fail "expected Goodbye., got $screen_reached"
    # The window went aside for the password dialog and came back.
    expect_content_centred "after the password dialog"
    expect_no_title
    close_by_title_bar || fail "closing the window did not end the application"
    ((app_status == 0)) || fail "the application exited with status $app_status"
    check log finished:0
}

close-mid-run() {
    start_window_manager
    start_app
    expect_screen ready || fail "no Uninstall screen"
    click_control
    expect_screen uninstalling || fail "no progress bar"
    close_by_title_bar || fail "closing the window did not end the application"
    ((app_status == 0)) || fail "the application exited with status $app_status"
    check log stopped
    check nothing-after-end
}

case "${1:-}" in
goodbye | dismissed-then-retry | residue | clean-mac | crash | window-manager | close-mid-run) ;;
*)
    note "usage: scenario.sh goodbye|dismissed-then-retry|residue|clean-mac|crash|window-manager|close-mid-run"
    exit 2
    ;;
esac
start_xvfb
"$1"
note "passed: $1 (screens: $(find "$E2E_SHOTS" -maxdepth 1 -name '*.png' -printf '%f '))"
