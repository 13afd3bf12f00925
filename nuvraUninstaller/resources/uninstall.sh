#!/bin/bash
# Removes the product's system-wide traces, as root. The uninstaller carries this text in its own
# program and hands it to root inline (bash -c), so root reads nothing from a place a user could
# write: not this file, not the application bundle.
#
# Every target is removed with rm, which deletes a symbolic link itself and never descends through
# one.
#
# "/tmp/nuvra" sits in the folder every user shares. Only one root owns is system-wide: there no
# one else can put anything in its place (the folder's sticky bit), so the object checked is the
# object removed. One of a user's is that user's to remove, never root's.
#
# The installer's receipts of the product's packages (ids that begin with exactly "ai.nuvra.") are
# forgotten once the bundles they record are gone: management tools read them to decide whether
# the product is installed. A receipt that stays is a warning, as the product itself is gone.
#
# Exit status 0 when the system-wide bundles are gone, a /tmp/nuvra that could not be removed or a
# receipt that could not be forgotten named on standard output (a warning); otherwise 1, naming
# each bundle left on standard error.
#
# macOS runs this with its own bash 3.2: nothing newer than that may be used here.

set -u
shopt -s nullglob
export PATH=/usr/bin:/bin:/usr/sbin:/sbin

status=0
for target in "/Applications/nuvra.app" "/Applications/NuvraAgent.app" \
    "/Library/Input Methods"/nuvraInput*.app; do
    if [[ ! -e "$target" && ! -L "$target" ]]; then
        continue
    fi
    /bin/rm -rf -- "$target" 2>/dev/null
    if [[ -e "$target" || -L "$target" ]]; then
        echo "Could not remove $target." >&2
        status=1
    fi
done

# find does not follow a link it is given with -P: the owner of the name itself.
owned_by_root() {
    [[ -n $(/usr/bin/find -P "$1" -maxdepth 0 -user 0 2>/dev/null) ]]
}
shared=/tmp/nuvra
if owned_by_root "$shared"; then
    /bin/rm -rf -- "$shared" 2>/dev/null
    if owned_by_root "$shared"; then
        echo "Could not remove $shared."
    fi
fi
pkgutil=/usr/sbin/pkgutil
receipt_prefix=ai.nuvra.
# The dialog that starts this script waits as long as a person needs; a tool must not.
tool_seconds=60

# Runs the command, stopped when it takes longer than tool_seconds; its exit status.
with_deadline() {
    "$@" &
    local child=$!
    (
        trap 'kill "$nap" 2>/dev/null; wait "$nap"; exit 0' TERM
        /bin/sleep "$tool_seconds" &
        nap=$!
        wait "$nap" && kill -KILL "$child" 2>/dev/null
    ) </dev/null >/dev/null 2>&1 &
    local watchdog=$!
    wait "$child"
    local child_status=$?
    kill "$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
    return "$child_status"
}

# The ids of the product's packages among the receipts, one a line, at most receipts_at_most of
# them; fails when pkgutil does.
receipts_at_most=100
product_receipts() {
    local listing count=0
    listing=$(with_deadline "$pkgutil" --pkgs 2>/dev/null) || return 1
    # Pipes, never here-strings: bash 3.2 keeps those in a file in the temporary folder, which
    # every user can write.
    printf '%s\n' "$listing" | while IFS= read -r id && ((count < receipts_at_most)); do
        if [[ $id == "$receipt_prefix"* ]]; then
            printf '%s\n' "$id"
            count=$((count + 1))
        fi
    done
}

forget_receipts() {
    local ids left
    [[ -x $pkgutil ]] || return 0
    if ! ids=$(product_receipts); then
        echo "Could not check the installer receipts."
        return 0
    fi
    [[ -n $ids ]] || return 0
    printf '%s\n' "$ids" | while IFS= read -r id; do
        with_deadline "$pkgutil" --forget "$id" >/dev/null 2>&1
    done
    # pkgutil says it forgot a receipt even when it could not remove it: only a new listing tells.
    if ! left=$(product_receipts); then
        echo "Could not check the installer receipts."
        return 0
    fi
    printf '%s\n' "$left" | while IFS= read -r id; do
        if [[ -n $id ]]; then
            echo "Could not forget the installer receipt $id."
        fi
    done
}

# A receipt is the record that its bundles are installed: it goes only once they are.
if ((status == 0)); then
    forget_receipts
fi
exit "$status"
