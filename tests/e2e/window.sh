# shellcheck shell=bash
# Drives the real uninstaller window on an X display, seen only the way a user sees it: by
# screenshots, recognised with screen_match, and by mouse clicks. Sourced by the end-to-end
# scenarios and the demo, inside the simulated Mac.
#
# Needs: E2E_APP (the application's executable), E2E_MATCH (screen_match), E2E_REFS (reference
# renders of the seven screens), E2E_SHOTS (a folder the user may write screenshots into).

: "${E2E_APP:?}" "${E2E_MATCH:?}" "${E2E_REFS:?}" "${E2E_SHOTS:?}"

app_pid=""
app_status=""
screen_reached=""
app_window=""
last_screen=""
shot_count=0

# Where the view places things, in the window's 480 × 450 content.
readonly control_x=240 control_y=323 link_x=240 link_y=371

note() { printf '%s\n' "$*" >&2; }

# The waits below wait for what they name, not for a time: a busy machine makes every deadline
# too short one day, and the test runner's own timeout ends a wait that never ends. A limit in
# seconds is given only where a person is waited for (the demo).
deadline_from() { deadline=$((${1:-0} > 0 ? SECONDS + $1 : 0)); }
in_time() { ((deadline == 0 || SECONDS < deadline)); }

# A private X server. -displayfd lets it take the first free display number: parallel simulated
# Macs share the abstract socket names of one network namespace.
start_xvfb() {
    local fifo=/tmp/xvfb.display
    rm -f "$fifo" && mkfifo "$fifo"
    # -noreset: the server does not restart when its last client goes (a crashed application),
    # which would refuse the next start that comes at that moment.
    Xvfb -displayfd 3 -screen 0 1440x900x24 -ac -nolisten tcp -noreset 3>"$fifo" >/tmp/xvfb.log 2>&1 &
    local display
    if ! read -r display <"$fifo"; then # end of file: Xvfb ended without serving
        note "Xvfb did not start:" && cat /tmp/xvfb.log >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# Starts the application on $DISPLAY and waits for its window; sets app_pid and app_window.
start_app() {
    QT_QPA_PLATFORM=xcb "$E2E_APP" >>"$E2E_SHOTS/app-output.txt" 2>&1 &
    app_pid=$!
    app_window=""
    while true; do
        app_window=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1) || true
        [[ -n $app_window ]] && return 0
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    note "the application's window did not appear"
    return 1
}

app_running() { kill -0 "$app_pid" 2>/dev/null; }

# Waits until the application has ended (by itself or by a signal); its status in app_status.
# With $1, gives up after that many seconds (a person is waited for, or a retry is paced).
wait_app_end() {
    local deadline
    if [[ -z ${1:-} ]]; then
        app_status=0
        wait "$app_pid" || app_status=$?
        return 0
    fi
    deadline_from "$1"
    while app_running && in_time; do sleep 0.1; done
    if app_running; then
        note "the application is still running"
        return 1
    fi
    # shellcheck disable=SC2034 # read by the scripts that source this file
    {
        app_status=0
        wait "$app_pid" || app_status=$?
    }
}

# Takes a screenshot of the window into $1 and prints what screen_match recognises in it.
recognise() {
    import -window "$app_window" "$1" 2>/dev/null || { echo unknown; return 0; }
    "$E2E_MATCH" "$1" "$E2E_REFS" 0 0 2>>"$E2E_SHOTS/match-distances.txt" | cut -d' ' -f1
}

# Polls the window until it shows one of the screens given (e.g. "done" "failed"), or the
# application ends; with E2E_WAIT, for at most that many seconds. Every screen passed on the way is
# kept as a numbered screenshot in E2E_SHOTS. Sets screen_reached; fails when none was reached.
# (Not for $(…): the screenshot count and the last screen must survive the call.)
wait_screen() {
    local deadline screen probe=/tmp/probe.png
    deadline_from "${E2E_WAIT:-0}"
    screen_reached=""
    while in_time; do
        screen=$(recognise "$probe")
        if [[ $screen != unknown && $screen != "$last_screen" ]]; then
            shot_count=$((shot_count + 1))
            cp "$probe" "$E2E_SHOTS/$(printf '%02d' "$shot_count")-$screen.png"
            last_screen=$screen
        fi
        local wanted
        for wanted in "$@"; do
            if [[ $screen == "$wanted" ]]; then
                # shellcheck disable=SC2034 # read by the scripts that source this file
                screen_reached=$screen
                return 0
            fi
        done
        app_running || break
        sleep 0.1
    done
    note "waited for: $*; last screen seen: ${last_screen:-none}"
    cp "$probe" "$E2E_SHOTS/timeout.png" 2>/dev/null || true
    return 1
}

# Whether the window was seen showing screen $1 at some point.
saw_screen() { compgen -G "$E2E_SHOTS/[0-9][0-9]-$1.png" >/dev/null; }

# Asserts that the window comes to show screen $1.
expect_screen() { wait_screen "$1"; }

click_at() { xdotool mousemove --window "$app_window" "$1" "$2" click 1; }
click_control() { click_at "$control_x" "$control_y"; }
click_link() { click_at "$link_x" "$link_y"; }

# A window manager on the private X server: openbox, as a desktop without panels would run it.
start_window_manager() {
    openbox --sm-disable >/tmp/openbox.log 2>&1 &
    local openbox=$!
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        kill -0 "$openbox" 2>/dev/null || { note "openbox did not start:" && cat /tmp/openbox.log >&2; return 1; }
        sleep 0.1
    done
}

# The window's content area: "X Y" of its top-left corner on the screen.
content_origin() {
    xwininfo -id "$app_window" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}'
}

# Where the window manager draws the frame around the content: "LEFT RIGHT TOP BOTTOM".
frame_extents() {
    xprop -id "$app_window" _NET_FRAME_EXTENTS | sed -n 's/.* = //p' | tr -d ','
}

# Clicks the close button in the window manager's title bar (openbox puts it at the right end),
# as a user closes the window.
click_title_bar_close() {
    local x y right top
    read -r x y < <(content_origin)
    read -r _ right top _ < <(frame_extents)
    xdotool mousemove $((x + 480 + right - top / 2)) $((y - top / 2)) click 1
}

# Closes the window by its title bar and waits for the application to end. The window slides
# aside for the password dialog during a run: a click that lands where the button was a moment
# ago is repeated (the pause between clicks only paces them).
close_by_title_bar() {
    while app_running; do
        xwininfo -id "$app_window" 2>/dev/null | grep -q IsViewable && click_title_bar_close
        wait_app_end 2 2>/dev/null && return 0
    done
    wait_app_end
}
