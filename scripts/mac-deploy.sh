#!/usr/bin/env bash
# On a Mac, after the build: makes build/nuvraUninstaller.app self-contained. macdeployqt copies
# into the bundle the Qt frameworks, plug-ins and QML modules that the window module
# (Contents/Frameworks/nuvraUninstallerWindow.so) and the QML under nuvraUninstaller/ui use, and
# every other library the bundle's programs link (libplist), and points them all at the copies.
# The front itself is Qt-free, so every program is named to it.
#   scripts/mac-deploy.sh [BUILD_TREE]      (default: this checkout's build)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
app=$(cd "${1:-$repo/build}" && pwd)/nuvraUninstaller.app
cd "$repo"
macdeployqt=$(brew --prefix qt)/bin/macdeployqt
"$macdeployqt" "$app" -verbose=1 -qmldir=nuvraUninstaller/ui \
    -executable="$app/Contents/Frameworks/nuvraUninstallerWindow.so" \
    -executable="$app/Contents/MacOS/nuvra-uninstall" \
    -executable="$app/Contents/Resources/sourcectl"
