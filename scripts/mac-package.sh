#!/usr/bin/env bash
# On a Mac, after the bundle is self-contained and signed: makes what users and administrators
# download, into OUTPUT_FOLDER:
#   nuvraUninstaller-<version>.dmg   the application and a link to /Applications, compressed
#                                    (a disk image keeps permissions and signatures)
#   nuvra-uninstall-<version>.pkg    payload-free: its postinstall runs nuvra-uninstall as root
#                                    for the console user (scripts/uninstall-pkg/postinstall); it
#                                    carries a copy of the application for Macs without one
# <version> is the bundle's CFBundleShortVersionString.
#   scripts/mac-package.sh APP_BUNDLE OUTPUT_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
app=${1:?usage: mac-package.sh APP_BUNDLE OUTPUT_FOLDER}
out=${2:?usage: mac-package.sh APP_BUNDLE OUTPUT_FOLDER}
version=$(/usr/libexec/PlistBuddy -c "Print :CFBundleShortVersionString" "$app/Contents/Info.plist")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ditto keeps every mode, extended attribute and signature as they are.
mkdir "$work/image"
ditto "$app" "$work/image/nuvraUninstaller.app"
ln -s /Applications "$work/image/Applications"
rm -f "$out/nuvraUninstaller-$version.dmg"
hdiutil create -volname "nuvra Uninstaller" -srcfolder "$work/image" -fs HFS+ -format UDZO \
    "$out/nuvraUninstaller-$version.dmg"

mkdir "$work/scripts"
cp "$here/uninstall-pkg/postinstall" "$work/scripts/postinstall"
chmod 755 "$work/scripts/postinstall"
ditto "$app" "$work/scripts/nuvraUninstaller.app"
pkgbuild --nopayload --scripts "$work/scripts" --identifier ai.nuvra.NuvraUninstaller.uninstall \
    --version "$version" "$out/nuvra-uninstall-$version.pkg"
echo "mac-package: $out/nuvraUninstaller-$version.dmg and $out/nuvra-uninstall-$version.pkg"
