#!/usr/bin/env bash
# scripts/fuzz.sh on a tree whose one target runs out of memory at its first input: libFuzzer
# reports that without any crash, and the script must fail all the same, naming the target and
# the reproducing input.
set -euo pipefail
repo=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/scripts" "$tree/fuzz" "$tree/propertylist"
cp "$repo/scripts/fuzz.sh" "$tree/scripts/"
echo "// no sources of ours are needed" >"$tree/propertylist/None.cpp"
cat >"$tree/fuzz/GreedyFuzz.cpp" <<'CPP'
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// More than the fuzz run's memory limit in one allocation.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) {
    void* volatile block = std::malloc(std::size_t{3} << 30);
    std::free(block);
    return 0;
}
CPP
status=0
output=$("$tree/scripts/fuzz.sh" 5 2>&1) || status=$?
fail() {
  echo "FAILED: $1" >&2
  echo "$output" >&2
  exit 1
}
((status != 0)) || fail "an out-of-memory finding ended the script with status 0"
grep -q "every target ran clean" <<<"$output" && fail "an out-of-memory finding was called clean"
line=$(grep "fuzz: Greedy FAILED" <<<"$output") || fail "the failing target is not named"
reproducer=$(grep -oE "build-fuzz/Greedy-oom-[0-9a-f]+" <<<"$line") ||
  fail "the reproducing input is not named"
[[ -f $tree/$reproducer ]] || fail "the named reproducer $reproducer does not exist"
echo "ok: $line"
