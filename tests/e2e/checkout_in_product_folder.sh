#!/usr/bin/env bash
# On the host: a checkout lying where the product itself removes things (/tmp/nuvra) comes out of
# a whole uninstall byte for byte as it went in. Copies this repository's sources (not its build
# trees) there, runs the goodbye scenario with the copy's own simulated Mac, and compares.
#   checkout_in_product_folder.sh REPOSITORY BUILD_TREE SCREENSHOT_FOLDER
# Uses /tmp/nuvra only when it is absent (exit 77, skipped, otherwise) and removes it afterwards.
set -euo pipefail
repo=$1 build=$2 shots=$3
copy=/tmp/nuvra

# mkdir without -p fails when anything is there: a folder of the user's is never used.
if ! mkdir -m 0755 "$copy" 2>/dev/null; then
    echo "skipped: $copy already exists; this test uses it only when it is absent" >&2
    exit 77
fi
trap 'rm -rf "$copy"' EXIT
tar -C "$repo" --exclude='./build*' -cf - . | tar -C "$copy" -xpf -

# Every entry's type, mode, owner, size and link target, then every file's content.
manifest() {
    (cd "$copy" && find . -printf '%y %m %u %s %p -> %l\n' | LC_ALL=C sort &&
        find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum)
}
before=$(manifest)
status=0
SIM_CACHE_DIR=$build/.sim "$copy/sim/run" --user --scene full --build "$build" --output "$shots" -- \
    "$copy/tests/e2e/scenario.sh" goodbye || status=$?
after=$(manifest)
if [[ $before != "$after" ]]; then
    echo "FAILED: the checkout in $copy changed:" >&2
    diff <(echo "$before") <(echo "$after") | head -n 40 >&2
    exit 1
fi
exit "$status"
