#!/usr/bin/env bash
# Compile-checks the Mac backends (platform/macos/) on this Linux host, for both Mac processors
# (arm64, where BOOL is bool, and x86_64): every file is compiled by clang to an object for an
# Apple target (Objective-C++ with ARC for .mm), against the declaration headers in
# scripts/macos-sdk-decls/ (no Apple SDK is used), with the project's warnings as errors; the
# object must call Apple's C functions by their C names (a declaration without extern "C" would
# compile and then fail to link on a Mac); then clang's static analyzer follows every Core
# Foundation object to its release. Fails if any file does not pass.
#   scripts/check-macos.sh [folder]    check another copy of the Mac files (default platform/macos)
set -euo pipefail
cd "$(dirname "$0")/.."

macos_dir="${1:-platform/macos}"
# The first of the named tools that is installed; the last name is the one the message gives.
first_tool() {
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null; then echo "$candidate"; return; fi
  done
  echo "check-macos: ${*: -1} not found (scripts/setup.sh installs it)" >&2
  return 1
}
clang=$(first_tool clang++-14 clang++)
nm=$(first_tool llvm-nm-14 llvm-nm)
demangle=$(first_tool llvm-cxxfilt-14 llvm-cxxfilt)

gcc_version=$(find /usr/include/c++ -mindepth 1 -maxdepth 1 -printf '%f\n' | sort -V | tail -1)
host_multiarch=$(gcc -print-multiarch)

# The C library headers that stand in for the Mac's POSIX headers, for one processor: the host's
# own, or the cross-compilation copy (scripts/setup.sh installs the arm64 one).
c_headers() {
  local multiarch="$1"
  for dir in "/usr/include/$multiarch" "/usr/$multiarch/include"; do
    if [ -f "$dir/gnu/stubs.h" ]; then echo "$dir"; return; fi
  done
  echo "check-macos: no C library headers for $multiarch (scripts/setup.sh installs them)" >&2
  return 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
shopt -s nullglob
files=("$macos_dir"/*.cpp "$macos_dir"/*.mm)
((${#files[@]})) || { echo "check-macos: no files in $macos_dir" >&2; exit 1; }
for arch in arm64 x86_64; do
  case "$arch" in
    arm64) multiarch=aarch64-linux-gnu ;;
    x86_64) multiarch=x86_64-linux-gnu ;;
  esac
  c_include=$(c_headers "$multiarch") || exit 1
  flags=(
    -target "$arch-apple-macos11" -std=c++20
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror
    # Apple's headers first (ours), then the host's C++ library and POSIX headers, which macOS shares.
    -isystem scripts/macos-sdk-decls -nostdinc++
    -isystem "/usr/include/c++/$gcc_version" -isystem "/usr/include/$host_multiarch/c++/$gcc_version"
    -idirafter "$c_include"
    # The host's C library needs its own spelling of these, which clang reserves on Apple targets.
    -U__nonnull -D_GNU_SOURCE
    -I platform -I "$macos_dir"
  )
  for file in "${files[@]}"; do
    language=(-x c++)
    [[ "$file" == *.mm ]] && language=(-x objective-c++ -fobjc-arc)
    object="$work/$arch-$(basename "$file").o"
    if ! "$clang" "${flags[@]}" "${language[@]}" -c -o "$object" "$file"; then
      echo "check-macos: FAILED to compile $file for $arch" >&2
      status=1
      continue
    fi
    # A function outside any namespace or class that the object calls by a C++ name is a system C
    # function declared without extern "C": our own code keeps its functions in namespaces.
    cxx_named=$("$nm" -u "$object" | awk '{print $NF}' | { grep '^__Z' || true; } \
      | "$demangle" -_ | { grep -E '^[A-Za-z_][A-Za-z0-9_]*\(' || true; })
    if [ -n "$cxx_named" ]; then
      echo "check-macos: $file calls C functions by C++ names (declared without extern \"C\"," \
        "they would not link on a Mac): $(echo "$cxx_named" | tr '\n' ' ')" >&2
      status=1
      continue
    fi
    # Core Foundation ownership (Create/Copy rule, CF_RETURNS_RETAINED) and the general checkers.
    if ! "$clang" "${flags[@]}" "${language[@]}" --analyze --analyzer-output text -Xclang -analyzer-werror \
        -Xclang -analyzer-checker=osx.coreFoundation,osx.cocoa.RetainCount,osx.API \
        -o /dev/null "$file"; then
      echo "check-macos: the analyzer found a fault in $file ($arch)" >&2
      status=1
      continue
    fi
    echo "check-macos: ok  $arch  $file"
  done
done
exit $status
