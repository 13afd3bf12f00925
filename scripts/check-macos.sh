#!/usr/bin/env bash
# Compile-checks the Mac backends (platform/macos/) on this Linux host: every file is compiled by
# clang in syntax-only mode for an Apple target (Objective-C++ with ARC for .mm), against the
# declaration headers in scripts/macos-sdk-decls/ (no Apple SDK is used), with the project's
# warnings as errors; then clang's static analyzer follows every Core Foundation object to its
# release. Fails on the first file that does not pass.
#   scripts/check-macos.sh [folder]    check another copy of the Mac files (default platform/macos)
set -euo pipefail
cd "$(dirname "$0")/.."

macos_dir="${1:-platform/macos}"
clang=""
for candidate in clang++-14 clang++; do
  if command -v "$candidate" >/dev/null; then clang="$candidate"; break; fi
done
[ -n "$clang" ] || { echo "check-macos: clang++ not found (scripts/setup.sh installs it)" >&2; exit 1; }

gcc_version=$(find /usr/include/c++ -mindepth 1 -maxdepth 1 -printf '%f\n' | sort -V | tail -1)
multiarch=$(gcc -print-multiarch)
flags=(
  -target x86_64-apple-macos11 -std=c++20
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror
  # Apple's headers first (ours), then the host's C++ library and POSIX headers, which macOS shares.
  -isystem scripts/macos-sdk-decls -nostdinc++
  -isystem "/usr/include/c++/$gcc_version" -isystem "/usr/include/$multiarch/c++/$gcc_version"
  -idirafter "/usr/include/$multiarch"
  # The host's C library needs its own spelling of these, which clang reserves on Apple targets.
  -U__nonnull -D_GNU_SOURCE
  -I platform -I "$macos_dir"
)

status=0
shopt -s nullglob
files=("$macos_dir"/*.cpp "$macos_dir"/*.mm)
((${#files[@]})) || { echo "check-macos: no files in $macos_dir" >&2; exit 1; }
for file in "${files[@]}"; do
  language=(-x c++)
  [[ "$file" == *.mm ]] && language=(-x objective-c++ -fobjc-arc)
  if ! "$clang" "${flags[@]}" "${language[@]}" -fsyntax-only "$file"; then
    echo "check-macos: FAILED to compile $file" >&2
    status=1
    continue
  fi
  # Core Foundation ownership (Create/Copy rule, CF_RETURNS_RETAINED) and the general checkers.
  if ! "$clang" "${flags[@]}" "${language[@]}" --analyze --analyzer-output text -Xclang -analyzer-werror \
      -Xclang -analyzer-checker=osx.coreFoundation,osx.cocoa.RetainCount,osx.API \
      -o /dev/null "$file"; then
    echo "check-macos: the analyzer found a fault in $file" >&2
    status=1
    continue
  fi
  echo "check-macos: ok  $file"
done
exit $status
