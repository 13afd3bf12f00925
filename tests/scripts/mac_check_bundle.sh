#!/usr/bin/env bash
# scripts/mac-check-bundle.sh judged on small bundles of real Mach-O files, which clang makes for
# the Apple targets the Mac check compiles for, each recording the macOS it needs as a linker
# would. Runs on a Mac as it is, and here inside the simulated Mac (for its PlistBuddy), with
# LLVM's otool-compatible tool as otool.
#   mac_check_bundle.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/mac-check-bundle.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    printf 'FAILED: %s\n' "$*" >&2
    failures=$((failures + 1))
}

if ! command -v otool >/dev/null; then
    mkdir "$work/bin"
    for candidate in llvm-otool-14 llvm-otool; do
        if command -v "$candidate" >/dev/null; then
            printf '#!/bin/sh\nexec %s "$@"\n' "$(command -v "$candidate")" >"$work/bin/otool"
            chmod +x "$work/bin/otool"
            break
        fi
    done
    [[ -x $work/bin/otool ]] || { echo "no otool and no llvm-otool (scripts/setup.sh installs it)" >&2; exit 1; }
    PATH=$work/bin:$PATH
fi
clang=$(command -v clang-14 || command -v clang)

# BUNDLE: a new bundle whose Info.plist declares MINIMUM.
bundle() { # BUNDLE MINIMUM
    mkdir -p "$1/Contents"
    cat >"$1/Contents/Info.plist" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>LSMinimumSystemVersion</key><string>$2</string>
</dict>
</plist>
EOF
}
# FILE: Mach-O code for TARGET (arm64-apple-macos12: LC_BUILD_VERSION; before 10.14 clang writes
# LC_VERSION_MIN_MACOSX).
mach_o() { # FILE TARGET
    mkdir -p "$(dirname "$1")"
    "$clang" -target "$2" -x c -c -o "$1" - <<<'int nuvra_check(void) { return 1; }'
}
# check BUNDLE: runs the check; its exit status in $status, its output in $output.
check() {
    status=0
    output=$("$repo/scripts/mac-check-bundle.sh" "$1" 2>&1) || status=$?
}

# A bundle laid out as a deployed one, every file within what it declares. "12" and "12.0" are
# the same macOS; a text file where code could be is no code.
app=$work/Fits.app
bundle "$app" 12
mach_o "$app/Contents/MacOS/Fits" arm64-apple-macos12
mach_o "$app/Contents/Frameworks/QtCore.framework/Versions/A/QtCore" arm64-apple-macos11
mach_o "$app/Contents/PlugIns/quick/libqtquick2plugin.dylib" x86_64-apple-macos10.13
mkdir -p "$app/Contents/Resources/qml/QtQuick"
printf 'module QtQuick\nplugin qtquick2plugin\n' >"$app/Contents/Resources/qml/QtQuick/qmldir"
check "$app"
[[ $status == 0 ]] || fail "a bundle within its LSMinimumSystemVersion 12 was refused: $output"
[[ $output == *"3 Mach-O files"*"macOS 12"* ]] || fail "the check did not count the bundle's 3 Mach-O files: $output"

# One file deep among the QML modules needs newer: named, with what it needs.
mach_o "$app/Contents/Resources/qml/QtQuick/Shapes/libqmlshapesplugin.dylib" arm64-apple-macos15
check "$app"
[[ $status == 1 && $output == *"libqmlshapesplugin.dylib needs macOS 15.0, LSMinimumSystemVersion is 12"* ]] ||
    fail "a QML plug-in that needs macOS 15.0 in a bundle for 12 passed: $output"
[[ $output != *QtCore* && $output != *Fits\ * ]] || fail "files within the minimum were blamed: $output"

# The older load command counts too, compared as numbers: 10.13 is newer than 10.9.
old=$work/Old.app
bundle "$old" 10.9
mach_o "$old/Contents/MacOS/Old" x86_64-apple-macos10.13
check "$old"
[[ $status == 1 && $output == *"needs macOS 10.13, LSMinimumSystemVersion is 10.9"* ]] ||
    fail "a file that needs macOS 10.13 passed in a bundle for 10.9: $output"

# A Mach-O file that records no minimum proves nothing: a 64-bit arm64 header with no commands.
bare=$work/Bare.app
bundle "$bare" 12.0
mkdir -p "$bare/Contents/MacOS"
printf '\317\372\355\376\014\000\000\001\000\000\000\000\001\000\000\000%016d' 0 | tr 0 '\000' >"$bare/Contents/MacOS/Bare"
check "$bare"
[[ $status == 1 && $output == *"Bare records no minimum macOS"* ]] ||
    fail "a Mach-O file with no minimum macOS passed: $output"

# A universal file is held to its newest slice, whichever processor runs the check. LLVM 14's
# otool reads one slice only, so here the case waits for a Mac.
lipo=$(command -v lipo || command -v llvm-lipo-14 || command -v llvm-lipo || true)
universal=$work/Universal.app
bundle "$universal" 12.0
mach_o "$work/arm64.o" arm64-apple-macos12
mach_o "$work/x86_64.o" x86_64-apple-macos13
mkdir -p "$universal/Contents/MacOS"
"$lipo" -create "$work/arm64.o" "$work/x86_64.o" -output "$universal/Contents/MacOS/Universal"
if (($(otool -arch all -l "$universal/Contents/MacOS/Universal" | grep -c ' minos ') == 2)); then
    check "$universal"
    [[ $status == 1 && $output == *"Universal needs macOS 13.0"* ]] ||
        fail "a universal file whose x86_64 slice needs macOS 13.0 passed in a bundle for 12.0: $output"
else
    echo "mac-check-bundle: this otool reads one slice of a universal file; that case runs on a Mac"
fi

((failures == 0)) || exit 1
echo "mac-check-bundle: every case passed"
