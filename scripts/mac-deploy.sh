#!/usr/bin/env bash
# On a Mac, after the build: makes build/nuvraUninstaller.app self-contained. macdeployqt copies
# into the bundle the Qt frameworks, plug-ins and QML modules that the window module
# (Contents/Frameworks/nuvraUninstallerWindow.so) and the QML under nuvraUninstaller/ui use, and
# every other library the bundle's programs link (libplist), and points them all at the copies.
# The front itself is Qt-free, so every program is named to it.
#   scripts/mac-deploy.sh [BUILD_TREE]      (default: this checkout's build)
# The tools are those of the Qt the build tree was configured with: macdeployqt belongs to
# qtbase, and it finds the QML modules a folder uses with qtdeclarative's qmlimportscanner, which
# it looks for among its own Qt's helper programs or beside itself.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
app=$build/nuvraUninstaller.app
fail() {
    printf 'mac-deploy: %s\n' "$*" >&2
    exit 1
}

qt_config=$(sed -n 's|^Qt6_DIR:PATH=||p' "$build/CMakeCache.txt")
[[ -n $qt_config ]] || fail "$build/CMakeCache.txt names no Qt6_DIR: configure the build first"
qt_prefix=$(cd "$qt_config/../../.." && pwd)
qt_bin=$(cd "$qt_prefix/bin" 2>/dev/null && pwd) || fail "no bin folder beside the Qt in $qt_prefix"
macdeployqt=$qt_bin/macdeployqt
[[ -x $macdeployqt ]] || fail "no macdeployqt in $qt_bin: install qtbase's tools with that Qt"
helpers=$("$qt_bin/qmake" -query QT_INSTALL_LIBEXECS)
if [[ ! -x $helpers/qmlimportscanner && ! -x $qt_bin/qmlimportscanner ]]; then
    fail "macdeployqt would find no qmlimportscanner (looked in $helpers and $qt_bin), so the" \
        "bundle would lack its QML modules: install qtdeclarative into the same Qt"
fi

cd "$repo"
"$macdeployqt" "$app" -verbose=1 -qmldir=nuvraUninstaller/ui \
    -executable="$app/Contents/Frameworks/nuvraUninstallerWindow.so" \
    -executable="$app/Contents/MacOS/nuvra-uninstall" \
    -executable="$app/Contents/Resources/sourcectl"
[[ -d $app/Contents/Resources/qml/QtQuick ]] || fail "macdeployqt put no QtQuick module into $app"
