#!/usr/bin/env bash
# Renders the window's seven screens to PNG files at 1x and 2x, offscreen (no display needed).
# Builds nothing: build the render_screens and nuvraUninstaller targets first.
#   scripts/render-screens.sh [output folder] [build folder]
# Defaults: <build folder>/screens and build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build}
out=${1:-$build/screens}
renderer=$build/tests/ui/render_screens
icon=$build/nuvraUninstaller.app/Contents/Resources/AppIcon.svg

if [ ! -x "$renderer" ]; then
  echo "render-screens: $renderer is missing; build the render_screens target first" >&2
  exit 1
fi
if [ ! -f "$icon" ]; then
  echo "render-screens: $icon is missing; build the nuvraUninstaller target first" >&2
  exit 1
fi

mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
QT_SCALE_FACTOR=1 "$renderer" "$out" "$icon"
QT_SCALE_FACTOR=2 "$renderer" "$out" "$icon"
