#!/usr/bin/env bash
# The oldest macOS each Mach-O file runs on, as its linker recorded it: the minos of every
# LC_BUILD_VERSION for macOS, or the older LC_VERSION_MIN_MACOSX, the newest over every processor
# slice of the file. Prints one line per file, VERSION<tab>FILE, with "none" as the version of a
# file that records no minimum at all.
#   scripts/mac-minimum-macos.sh [--newer-than VERSION] MACH_O_FILE...
# --newer-than prints only the files that need a newer macOS than VERSION, and those with none.
# Versions compare part by part as numbers, a missing part being 0 (12 is 12.0, 10.13 follows 10.9).
# Reads the files with otool (on a Mac, Xcode's; the tests name LLVM's otool-compatible one).
set -euo pipefail
above=""
if [[ ${1:-} == --newer-than ]]; then
    above=${2:?usage: mac-minimum-macos.sh [--newer-than VERSION] MACH_O_FILE...}
    shift 2
fi
(($# > 0)) || {
    echo "usage: mac-minimum-macos.sh [--newer-than VERSION] MACH_O_FILE..." >&2
    exit 2
}

for file in "$@"; do
    # Every slice of a universal file, not just the one of the processor this runs on.
    load_commands=$(otool -arch all -l "$file") || {
        echo "mac-minimum-macos: otool cannot read $file" >&2
        exit 1
    }
    awk -v file="$file" -v above="$above" '
        function newer(a, b,   x, y, i) {
            split(a, x, ".")
            split(b, y, ".")
            for (i = 1; i <= 3; i++)
                if (x[i] + 0 != y[i] + 0)
                    return x[i] + 0 > y[i] + 0
            return 0
        }
        function note(version) {
            if (newest == "" || newer(version, newest))
                newest = version
        }
        # A build version names its platform; only macOS counts (a library built for Mac
        # Catalyst as well carries an iOS-numbered minimum beside it). otool prints the platform
        # as a number (1) or a name, and minos before or after sdk.
        function end_command() {
            if (command == "LC_BUILD_VERSION" && minos != "" && (platform == "1" || platform == "macos"))
                note(minos)
            command = platform = minos = ""
        }
        $1 == "cmd" { end_command(); command = $2; next }
        $1 == "Load" && $2 == "command" { end_command(); next }
        command == "LC_BUILD_VERSION" && $1 == "platform" { platform = $2 }
        command == "LC_BUILD_VERSION" && $1 == "minos" { minos = $2 }
        command == "LC_VERSION_MIN_MACOSX" && $1 == "version" { note($2) }
        END {
            end_command()
            if (newest == "")
                printf "none\t%s\n", file
            else if (above == "" || newer(newest, above))
                printf "%s\t%s\n", newest, file
        }' <<<"$load_commands"
done
