#!/usr/bin/env bash
# On a Mac: fails when the bundle would not run on another Mac. Every Mach-O file in it may link
# only the system (/System, /usr/lib) and the bundle itself (@executable_path, @loader_path, or
# @rpath with run paths inside the bundle), and none may need a newer macOS than the bundle's
# LSMinimumSystemVersion says (scripts/mac-minimum-macos.sh reads what each one needs).
#   scripts/mac-check-bundle.sh APP_BUNDLE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
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
# By the first four bytes, thin (32 or 64 bit, either byte order) or universal.
is_mach_o() {
    case $(od -An -N4 -tx1 "$1" | tr -d ' \n') in
    feedface | feedfacf | cefaedfe | cffaedfe | cafebabe | bebafeca | cafebabf | bfbafeca) return 0 ;;
    esac
    return 1
}

# Each tool's output is taken whole before it is read, so a tool that fails fails the check.
mach_o_files=()
count=0
while IFS= read -r -d '' file; do
    is_mach_o "$file" || continue
    mach_o_files+=("$file")
    count=$((count + 1))
    # The first line names the file itself (and a library its own install name): skipped.
    linked=$(otool -L "$file")
    while read -r library _; do
        [[ -z $library || $library == @rpath/* ]] && continue # @rpath: see the run paths below
        inside_bundle "$library" || problem "$file links $library"
    done < <(tail -n +2 <<<"$linked" | grep -v ":$" || true)
    load_commands=$(otool -l "$file")
    while read -r path; do
        inside_bundle "$path" || problem "$file has the run path $path"
    done < <(awk '/cmd LC_RPATH/ { getline; getline; print $2 }' <<<"$load_commands")
done < <(find "$app" -type f -print0)

if ((count == 0)); then
    problem "no Mach-O files in $app"
else
    newer=$("$here/mac-minimum-macos.sh" --newer-than "$minimum" "${mach_o_files[@]}")
    while IFS=$'\t' read -r needs file; do
        if [[ $needs == none ]]; then
            problem "$file records no minimum macOS, so nothing shows that it runs on macOS $minimum"
        elif [[ -n $needs ]]; then
            problem "$file needs macOS $needs, LSMinimumSystemVersion is $minimum"
        fi
    done <<<"$newer"
fi
if ((problems > 0)); then
    echo "mac-check-bundle: $problems problems in $count Mach-O files" >&2
    exit 1
fi
echo "mac-check-bundle: $count Mach-O files link only the system and the bundle; all run on macOS $minimum"
