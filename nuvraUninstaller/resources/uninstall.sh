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
# Exit status 0 when the system-wide bundles are gone, a /tmp/nuvra that could not be removed named
# on standard output (a warning); otherwise 1, naming each bundle left on standard error.

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
exit "$status"
