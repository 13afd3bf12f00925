#!/usr/bin/env bash
# Makes a macOS icon file from an SVG with the system's own tools, at build time on a Mac:
# Quick Look renders the SVG at 1024 px, sips scales it to every size of an icon set, iconutil
# packs the set.
#   scripts/make-icns.sh <icon.svg> <out.icns>
set -euo pipefail
svg="$1"
out="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

qlmanage -t -s 1024 -o "$work" "$svg" >/dev/null
master="$work/$(basename "$svg").png"
[ -s "$master" ] || { echo "make-icns: Quick Look did not render $svg" >&2; exit 1; }

set_dir="$work/AppIcon.iconset"
mkdir "$set_dir"
for size in 16 32 128 256 512; do
  sips -z "$size" "$size" "$master" --out "$set_dir/icon_${size}x${size}.png" >/dev/null
  double=$((size * 2))
  sips -z "$double" "$double" "$master" --out "$set_dir/icon_${size}x${size}@2x.png" >/dev/null
done
iconutil -c icns -o "$out" "$set_dir"
