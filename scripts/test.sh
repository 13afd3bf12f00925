#!/usr/bin/env bash
# Sets everything up, builds and runs every test.
#   scripts/test.sh          the normal build (build/)
#   scripts/test.sh --asan   the sanitizer build (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan
  scripts/setup.sh --asan
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
else
  scripts/setup.sh
fi
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
