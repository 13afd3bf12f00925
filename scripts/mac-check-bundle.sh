#!/usr/bin/env bash
# On a Mac: fails when the bundle would not run on another Mac. Every Mach-O file in it may link
# only the system (/System, /usr/lib) and the bundle itself (@executable_path, @loader_path, or
# @rpath with run paths inside the bundle), and none may need a newer macOS than the bundle's
# LSMinimumSystemVersion says.
#   scripts/mac-check-bundle.sh APP_BUNDLE
set -euo pipefail
app=${1:?usage: mac-check-bundle.sh APP_BUNDLE}
minimum=$(/usr/libexec/PlistBuddy -c "Print :LSMinimumSystemVersion" "$app/Contents/Info.plist")
problems=0
problem() {
    printf '%s\n' "$*" >&2
    problems=$((problems + 1))
}
inside_bundle() {
    case $1 in
    /System/* | /usr/lib/* | @executable_path/* | @loader_path/*) return 0 ;;
    esac
    return 1
}
# 11.0 before 12.0 before 12.3: compared as numbers, part by part.
newer_than() {
    [[ $(printf '%s\n%s\n' "$1" "$2" | sort -t. -k1,1n -k2,2n -k3,3n | tail -n 1) == "$1" && $1 != "$2" ]]
}

count=0
while IFS= read -r -d '' file; do
    file -b "$file" | grep -q '^Mach-O' || continue
    count=$((count + 1))
    # The first line names the file itself (and a library its own install name): skipped.
    while read -r library _; do
        [[ $library == @rpath/* ]] && continue # checked through the run paths below
        inside_bundle "$library" || problem "$file links $library"
    done < <(otool -L "$file" | tail -n +2 | grep -v ":$")
    load_commands=$(otool -l "$file")
    while read -r path; do
        inside_bundle "$path" || problem "$file has the run path $path"
    done < <(awk '/cmd LC_RPATH/ { getline; getline; print $2 }' <<<"$load_commands")
    while read -r needs; do
        newer_than "$needs" "$minimum" && problem "$file needs macOS $needs, LSMinimumSystemVersion is $minimum"
    done < <(awk '$1 == "minos" { print $2 } /cmd LC_VERSION_MIN_MACOSX/ { getline; getline; print $2 }' \
        <<<"$load_commands")
done < <(find "$app" -type f -print0)

((count > 0)) || problem "no Mach-O files in $app"
if ((problems > 0)); then
    echo "mac-check-bundle: $problems problems in $count Mach-O files" >&2
    exit 1
fi
echo "mac-check-bundle: $count Mach-O files link only the system and the bundle; all run on macOS $minimum"
