#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with Clang (apart from the main build, so GCC builds are
# unaffected) and runs each for a few seconds; a crash or a broken promise fails the script.
#   scripts/fuzz.sh            build and run every target for 5 s
#   scripts/fuzz.sh 60         ... for 60 s each
#   FUZZ_ONLY=PlistRoundTrip scripts/fuzz.sh    one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
out=build-fuzz
mkdir -p "$out"

read -ra plist_cflags < <(pkg-config --cflags libplist-2.0)
read -ra libs < <(pkg-config --libs libplist-2.0)
flags=(-std=c++20 -O1 -g "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=all
       -Ipropertylist "${plist_cflags[@]}")
sources=(propertylist/*.cpp)

for target in fuzz/*Fuzz.cpp; do
  name=$(basename "$target" Fuzz.cpp)
  [[ -n ${FUZZ_ONLY:-} && $name != "$FUZZ_ONLY" ]] && continue
  binary=$out/$name
  if [[ ! -x $binary || -n $(find "$target" propertylist -newer "$binary" -print -quit) ]]; then
    echo "fuzz: building $name"
    ${CXX_FUZZ:-clang++} "${flags[@]}" "$target" "${sources[@]}" "${libs[@]}" -o "$binary"
  fi
  # Seeds live in fuzz/corpus/<name in lower case>; what the run finds stays in build-fuzz only.
  seeds=fuzz/corpus/$(echo "$name" | sed 's/PlistRoundTrip/plist/; s/.*/\L&/')
  work=$out/corpus-$name
  mkdir -p "$work"
  corpora=("$work")
  [[ -d $seeds ]] && corpora+=("$seeds")
  echo "fuzz: running $name for ${seconds} s"
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/$name-" "${corpora[@]}" 2>&1 | grep -E "^(stat::number_of_executed_units|==|SUMMARY|Done)" || true
  # libFuzzer's own status is lost in the pipe: a crash leaves an artifact behind.
  if compgen -G "$out/$name-crash-*" >/dev/null || compgen -G "$out/$name-leak-*" >/dev/null ||
     compgen -G "$out/$name-timeout-*" >/dev/null; then
    echo "fuzz: $name FAILED; inputs: $(ls "$out/$name"-{crash,leak,timeout}-* 2>/dev/null)" >&2
    exit 1
  fi
done
echo "fuzz: every target ran clean"
