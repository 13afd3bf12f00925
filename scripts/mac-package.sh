#!/usr/bin/env bash
# On a Mac, after the bundle is self-contained and signed: makes what users and administrators
# download, into OUTPUT_FOLDER:
#   nuvraUninstaller-<version>.dmg   the application and a link to /Applications, compressed
#                                    (a disk image keeps permissions and signatures)
#   nuvra-uninstall-<version>.pkg    a product archive around a payload-free component: its
#                                    postinstall runs nuvra-uninstall as root for the console user
#                                    (scripts/uninstall-pkg/postinstall); it carries a copy of the
#                                    application for Macs without one
# <version> is the bundle's CFBundleShortVersionString.
#   scripts/mac-package.sh APP_BUNDLE OUTPUT_FOLDER
# With MACOS_INSTALLER_CERTIFICATE (a base64 Developer ID Installer .p12),
# MACOS_INSTALLER_CERTIFICATE_PASSWORD and MACOS_INSTALLER_SIGNING_IDENTITY in the environment the
# package is signed, and with NOTARY_APPLE_ID, NOTARY_TEAM_ID and NOTARY_PASSWORD notarized and
# stapled as the application is. Without them it is built unsigned, which one line says.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=mac-signing.sh
source "$here/mac-signing.sh"
app=${1:?usage: mac-package.sh APP_BUNDLE OUTPUT_FOLDER}
out=${2:?usage: mac-package.sh APP_BUNDLE OUTPUT_FOLDER}
version=$(/usr/libexec/PlistBuddy -c "Print :CFBundleShortVersionString" "$app/Contents/Info.plist")
mkdir -p "$out"
work=$(mktemp -d)
trap 'signing_keychain_remove; rm -rf "$work"' EXIT

# ditto keeps every mode, extended attribute and signature as they are.
mkdir "$work/image"
ditto "$app" "$work/image/nuvraUninstaller.app"
ln -s /Applications "$work/image/Applications"
rm -f "$out/nuvraUninstaller-$version.dmg"
hdiutil create -volname "nuvra Uninstaller" -srcfolder "$work/image" -fs HFS+ -format UDZO \
    "$out/nuvraUninstaller-$version.dmg"

# The component installs nothing and runs its scripts; the product archive around it (a
# distribution synthesized from the component) is the form an installer signature belongs to.
mkdir "$work/scripts" "$work/components"
cp "$here/uninstall-pkg/postinstall" "$work/scripts/postinstall"
chmod 755 "$work/scripts/postinstall"
ditto "$app" "$work/scripts/nuvraUninstaller.app"
pkgbuild --nopayload --scripts "$work/scripts" --identifier ai.nuvra.NuvraUninstaller.uninstall \
    --version "$version" "$work/components/nuvra-uninstall.pkg"
productbuild --synthesize --package "$work/components/nuvra-uninstall.pkg" "$work/distribution.xml"
package=$out/nuvra-uninstall-$version.pkg
rm -f "$package"
if [[ -z ${MACOS_INSTALLER_CERTIFICATE:-} || -z ${MACOS_INSTALLER_SIGNING_IDENTITY:-} ]]; then
    productbuild --distribution "$work/distribution.xml" --package-path "$work/components" "$package"
    notice "No Developer ID Installer certificate among the repository's secrets: the uninstall package is not signed, nor notarized."
else
    signing_keychain_create "$work" "$MACOS_INSTALLER_CERTIFICATE" \
        "${MACOS_INSTALLER_CERTIFICATE_PASSWORD:-}" /usr/bin/productbuild
    productbuild --distribution "$work/distribution.xml" --package-path "$work/components" \
        --sign "$MACOS_INSTALLER_SIGNING_IDENTITY" --keychain "$signing_keychain" --timestamp "$package"
    pkgutil --check-signature "$package"
    if notary_credentials_given; then
        notarize "$package" "$work"
    else
        notice "No notary credentials among the repository's secrets: the uninstall package is signed with Developer ID, not notarized."
    fi
fi
echo "mac-package: $out/nuvraUninstaller-$version.dmg and $package"
