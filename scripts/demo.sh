#!/usr/bin/env bash
# The demo, one command on a fresh Debian 12 machine:
#   scripts/demo.sh            show the window on your display if the simulated Mac can reach
#                              it (you click "Uninstall" and "Quit"), otherwise on a private X
#                              server driven by synthetic clicks
#   scripts/demo.sh --headless always the private X server
#
# Installs what is needed, builds the application, plants the product's whole footprint (and
# look-alikes it must leave alone) in a throwaway simulated Mac, prints the inventory, runs the
# real window application through a complete uninstall, prints the inventory again and the
# session log, and keeps a screenshot of every screen the window passed through in build/demo/.
# Needs root (or sudo) for the package installation and the simulated Mac; nothing it does inside
# the simulated Mac reaches this machine: it sees this checkout read-only, and writes only the
# screenshots, wherever the checkout lies.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

headless=false
case "${1:-}" in
--headless) headless=true ;;
"") ;;
*)
    sed -n '2,6s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac

as_root() {
    if (($(id -u) == 0)); then "$@"; else sudo "$@"; fi
}

echo "== Setting up (packages, build configuration)"
scripts/setup.sh
echo "== Building"
started=$SECONDS
cmake --build build --target nuvraUninstaller render_screens screen_match
echo "   built in $((SECONDS - started)) s"
started=$SECONDS

# The simulated user (uid 501) writes the screenshots: the folder must be open to it.
out=$repo/build/demo
rm -rf "$out"
mkdir -p "$out/screens"
chmod 0777 "$out" "$out/screens"
references=$out/.reference
QT_QPA_PLATFORM=offscreen build/tests/ui/render_screens "$references" \
    build/nuvraUninstaller.app/Contents/Resources/AppIcon.svg >/dev/null 2>&1

# Your own display: with --host-network the simulated Mac shares this machine's network
# namespace, so an X server listening on an abstract socket (the default of Xorg and Xwayland) is
# reachable from inside; its cookie goes in as a file only the simulated user can read, removed at
# the end.
display_env=()
network=()
cleanup() {
    as_root rm -f "$out/.xauthority"
    rm -rf "$references"
}
trap cleanup EXIT
if ! $headless && [[ -n ${DISPLAY:-} ]] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    display_env=("DEMO_DISPLAY=$DISPLAY")
    network=(--host-network)
    cookie=${XAUTHORITY:-$HOME/.Xauthority}
    if [[ -r $cookie ]]; then
        as_root install -m 0600 -o 501 "$cookie" "$out/.xauthority"
        display_env+=("DEMO_XAUTHORITY=$out/.xauthority")
    fi
fi

as_root env "${display_env[@]}" \
    E2E_APP="$repo/build/nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller" \
    E2E_MATCH="$repo/build/tests/e2e/screen_match" E2E_REFS="$references" E2E_SHOTS="$out/screens" \
    sim/run "${network[@]}" --user --scene full --build "$repo/build" --output "$out/screens" -- \
    "$repo/tests/e2e/demo_session.sh"

echo
echo "== Screenshots of every screen the window showed"
ls -1 "$out/screens"/*.png
echo "== Demo finished in $((SECONDS - started)) s after the build"
