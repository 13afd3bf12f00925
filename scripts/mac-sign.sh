#!/usr/bin/env bash
# On a Mac: signs the self-contained bundle and checks the signature.
#   scripts/mac-sign.sh APP_BUNDLE
# With MACOS_CERTIFICATE (a base64 Developer ID Application .p12), MACOS_CERTIFICATE_PASSWORD and
# MACOS_SIGNING_IDENTITY in the environment it signs with that identity, the hardened runtime and
# a secure timestamp, then, with NOTARY_APPLE_ID, NOTARY_TEAM_ID and NOTARY_PASSWORD, notarizes
# and staples the bundle. Without them it signs ad hoc and says in one line what it skipped;
# that is never a failure.
set -euo pipefail
app=${1:?usage: mac-sign.sh APP_BUNDLE}
notice() { echo "::notice::$*"; }

# Inside out: every Mach-O file the bundle carries first, then the bundle. Deployment rewrote
# their load commands, which voids the linker's signatures, and a program in Contents/Resources
# (sourcectl) is not nested code that a deep signature of the bundle reaches.
sign_bundle() { # CODESIGN_OPTION...
    local file
    while IFS= read -r -d '' file; do
        file -b "$file" | grep -q '^Mach-O' || continue
        [[ $file == "$app/Contents/MacOS/nuvraUninstaller" ]] && continue
        codesign --force "$@" "$file"
    done < <(find "$app/Contents" -type f -print0)
    codesign --force --deep "$@" "$app"
    codesign --verify --deep --strict --verbose=2 "$app"
}

if [[ -z ${MACOS_CERTIFICATE:-} || -z ${MACOS_SIGNING_IDENTITY:-} ]]; then
    sign_bundle --sign -
    notice "No Developer ID certificate among the repository's secrets: the bundle is signed ad hoc, not notarized."
    exit 0
fi

# A keychain of the job's own, gone with the job, holds the certificate.
work=$(mktemp -d)
keychain=$work/signing.keychain-db
password=$(uuidgen)
trap 'security delete-keychain "$keychain" 2>/dev/null || true; rm -rf "$work"' EXIT
base64 --decode <<<"$MACOS_CERTIFICATE" >"$work/certificate.p12"
security create-keychain -p "$password" "$keychain"
security set-keychain-settings -lut 3600 "$keychain"
security unlock-keychain -p "$password" "$keychain"
security import "$work/certificate.p12" -k "$keychain" -P "${MACOS_CERTIFICATE_PASSWORD:-}" \
    -T /usr/bin/codesign
security set-key-partition-list -S apple-tool:,apple: -s -k "$password" "$keychain" >/dev/null
security list-keychains -d user -s "$keychain" login.keychain-db

sign_bundle --options runtime --timestamp --keychain "$keychain" --sign "$MACOS_SIGNING_IDENTITY"

if [[ -z ${NOTARY_APPLE_ID:-} || -z ${NOTARY_TEAM_ID:-} || -z ${NOTARY_PASSWORD:-} ]]; then
    notice "No notary credentials among the repository's secrets: signed with Developer ID, not notarized."
    exit 0
fi
ditto -c -k --keepParent "$app" "$work/notarize.zip"
xcrun notarytool submit "$work/notarize.zip" --apple-id "$NOTARY_APPLE_ID" \
    --team-id "$NOTARY_TEAM_ID" --password "$NOTARY_PASSWORD" --wait
xcrun stapler staple "$app"
xcrun stapler validate "$app"
