#!/usr/bin/env bash
# On a Mac: builds libplist from its release source for the macOS that MACOSX_DEPLOYMENT_TARGET
# names and installs it into PREFIX. Homebrew's libplist is built for the macOS of the machine
# that built the bottle, so a bundle carrying it would need that macOS or a newer one.
#   MACOSX_DEPLOYMENT_TARGET=12.0 scripts/mac-build-libplist.sh PREFIX
# Does nothing when PREFIX already holds this version built for that macOS (a cached build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:?usage: MACOSX_DEPLOYMENT_TARGET=VERSION mac-build-libplist.sh PREFIX}
target=${MACOSX_DEPLOYMENT_TARGET:?set MACOSX_DEPLOYMENT_TARGET to the oldest macOS the bundle is for}
version=2.7.0
sha256=7ac42301e896b1ebe3c654634780c82baa7cb70df8554e683ff89f7c2643eb8b
built=$prefix/.libplist-$version-for-macos-$target
if [[ -e $built ]]; then
    echo "mac-build-libplist: libplist $version for macOS $target is already in $prefix"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive=$work/libplist-$version.tar.bz2
curl --fail --silent --show-error --location --retry 3 --output "$archive" \
    "https://github.com/libimobiledevice/libplist/releases/download/$version/libplist-$version.tar.bz2"
shasum -a 256 -c - <<<"$sha256  $archive"
tar -xjf "$archive" -C "$work"
cd "$work/libplist-$version"
# clang reads the deployment target from the environment, for compiling and for linking alike.
./configure --prefix="$prefix" --disable-static --without-cython --disable-silent-rules
# One job at a time, as Homebrew builds it.
make
make install
newer=$("$here/mac-minimum-macos.sh" --newer-than "$target" "$prefix"/lib/libplist*.dylib)
if [[ -n $newer ]]; then
    printf 'mac-build-libplist: built for a newer macOS than %s:\n%s\n' "$target" "$newer" >&2
    exit 1
fi
touch "$built"
