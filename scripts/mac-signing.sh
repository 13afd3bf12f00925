# shellcheck shell=bash
# On a Mac, sourced by scripts/mac-sign.sh and scripts/mac-package.sh: what signing the bundle and
# signing the package share. A keychain of the run's own holds a Developer ID identity, and the
# notary service checks what was signed.

notice() { echo "::notice::$*"; }

signing_keychain=""
signing_search_list=()

# Imports a base64 .p12 into a new keychain under FOLDER that TOOL... may use without asking;
# sets signing_keychain. Call signing_keychain_remove when done (an EXIT trap).
signing_keychain_create() { # FOLDER P12_BASE64 P12_PASSWORD TOOL...
    local folder=$1 certificate=$2 certificate_password=$3 password tool access=()
    shift 3
    for tool in "$@"; do access+=(-T "$tool"); done
    signing_keychain=$folder/signing.keychain-db
    password=$(uuidgen)
    base64 --decode <<<"$certificate" >"$folder/certificate.p12"
    security create-keychain -p "$password" "$signing_keychain"
    security set-keychain-settings -lut 3600 "$signing_keychain"
    security unlock-keychain -p "$password" "$signing_keychain"
    security import "$folder/certificate.p12" -k "$signing_keychain" -P "$certificate_password" "${access[@]}"
    rm -f "$folder/certificate.p12"
    security set-key-partition-list -S apple-tool:,apple: -s -k "$password" "$signing_keychain" >/dev/null
    # The tools find the chain of trust through the search list; the user's own list comes back
    # at the end, so a run on a developer's Mac leaves their keychains as they were.
    local entry
    while IFS= read -r entry; do
        entry=${entry#"${entry%%[![:space:]]*}"}
        entry=${entry#\"}
        signing_search_list+=("${entry%\"}")
    done < <(security list-keychains -d user)
    security list-keychains -d user -s "$signing_keychain" "${signing_search_list[@]}"
}

signing_keychain_remove() {
    [[ -n $signing_keychain ]] || return 0
    if ((${#signing_search_list[@]} > 0)); then
        security list-keychains -d user -s "${signing_search_list[@]}" || true
    fi
    security delete-keychain "$signing_keychain" 2>/dev/null || true
    signing_keychain=""
}

notary_credentials_given() {
    [[ -n ${NOTARY_APPLE_ID:-} && -n ${NOTARY_TEAM_ID:-} && -n ${NOTARY_PASSWORD:-} ]]
}

# Submits FILE (an application bundle goes as a zip of it) to the notary service, waits for its
# verdict and staples the ticket to FILE. notarytool exits 0 whatever the verdict, so the verdict
# is read from its answer, and a refusal fails with the service's log of what it found.
notarize() { # FILE WORK_FOLDER
    local file=$1 work=$2 upload=$1 answer status id
    local credentials=(--apple-id "$NOTARY_APPLE_ID" --team-id "$NOTARY_TEAM_ID" --password "$NOTARY_PASSWORD")
    if [[ -d $file ]]; then
        upload=$work/notarize.zip
        rm -f "$upload"
        ditto -c -k --keepParent "$file" "$upload"
    fi
    answer=$work/notary-answer.json
    xcrun notarytool submit "$upload" "${credentials[@]}" --wait --output-format json >"$answer"
    status=$(plutil -extract status raw -o - "$answer")
    if [[ $status != Accepted ]]; then
        id=$(plutil -extract id raw -o - "$answer" || true)
        echo "notarize: the notary service answered \"$status\" for $file" >&2
        [[ -z $id ]] || xcrun notarytool log "$id" "${credentials[@]}" >&2 || true
        return 1
    fi
    xcrun stapler staple "$file"
    xcrun stapler validate "$file"
}
