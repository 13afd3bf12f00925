#!/usr/bin/env bash
# On a Mac: signs the self-contained bundle and checks the signature.
#   scripts/mac-sign.sh APP_BUNDLE
# With MACOS_CERTIFICATE (a base64 Developer ID Application .p12), MACOS_CERTIFICATE_PASSWORD and
# MACOS_SIGNING_IDENTITY in the environment it signs with that identity, the hardened runtime and
# a secure timestamp, then, with NOTARY_APPLE_ID, NOTARY_TEAM_ID and NOTARY_PASSWORD, notarizes
# and staples the bundle. Without them it signs ad hoc and says in one line what it skipped;
# that is never a failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=mac-signing.sh
source "$here/mac-signing.sh"
app=${1:?usage: mac-sign.sh APP_BUNDLE}

# Inside out, each piece of code on its own, never with --deep (which signs only the code it finds
# where a bundle keeps code, sourcectl in Contents/Resources not among it): first every Mach-O file
# that is not a bundle's main program (libraries, plug-ins, QML plug-ins, the window module, the
# helper programs), then every framework by its version folder, deepest first, then the
# application, which seals all of it. Deployment rewrote the load commands, which voided the
# linker's signatures.
is_mach_o() {
    case $(od -An -N4 -tx1 "$1" | tr -d ' \n') in
    feedface | feedfacf | cefaedfe | cffaedfe | cafebabe | bebafeca | cafebabf | bfbafeca) return 0 ;;
    esac
    return 1
}
framework_binary() { # FILE: Name.framework/Versions/X/Name
    local version_folder=${1%/*} name=${1##*/}
    [[ ${version_folder%/*} == */Versions && ${version_folder%/Versions/*} == */"$name.framework" ]]
}
sign_bundle() { # CODESIGN_OPTION...
    local file folder
    while IFS= read -r -d '' file; do
        is_mach_o "$file" || continue
        [[ $file == "$app/Contents/MacOS/nuvraUninstaller" ]] && continue
        framework_binary "$file" && continue
        codesign --force "$@" "$file"
    done < <(find "$app/Contents" -type f -print0)
    while IFS= read -r folder; do
        codesign --force "$@" "$folder"
    done < <(find "$app/Contents" -type d | grep -E '[.]framework/Versions/[^/]+$' |
        awk -F/ '{ print NF "\t" $0 }' | sort -rn | cut -f2-)
    codesign --force "$@" "$app"
    # --deep here only checks: every nested piece must carry a valid signature of its own.
    codesign --verify --deep --strict --verbose=2 "$app"
}

if [[ -z ${MACOS_CERTIFICATE:-} || -z ${MACOS_SIGNING_IDENTITY:-} ]]; then
    sign_bundle --sign -
    notice "No Developer ID certificate among the repository's secrets: the bundle is signed ad hoc, not notarized."
    exit 0
fi

work=$(mktemp -d)
trap 'signing_keychain_remove; rm -rf "$work"' EXIT
signing_keychain_create "$work" "$MACOS_CERTIFICATE" "${MACOS_CERTIFICATE_PASSWORD:-}" /usr/bin/codesign
sign_bundle --options runtime --timestamp --keychain "$signing_keychain" --sign "$MACOS_SIGNING_IDENTITY"

if ! notary_credentials_given; then
    notice "No notary credentials among the repository's secrets: signed with Developer ID, not notarized."
    exit 0
fi
notarize "$app" "$work"
