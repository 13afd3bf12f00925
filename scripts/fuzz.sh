#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with Clang (apart from the main build, so GCC builds are
# unaffected) and runs each for a few seconds; any finding (a crash, a broken promise, a leak, a
# timeout, running out of memory) fails the script, naming the target and the reproducing input.
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
# The folders the targets include from: their headers on the include path, and a change in any of
# them rebuilds the targets.
src_dirs=(propertylist platform nuvra-uninstall nuvraUninstaller)
flags=(-std=c++20 -O1 -g "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=all
       "${src_dirs[@]/#/-I}" "${plist_cflags[@]}")
cxx=${CXX_FUZZ:-clang++}

# The property-list library, compiled once for every target (a target takes only what it uses).
library=$out/propertylist.a
if [[ ! -f $library || -n $(find propertylist -newer "$library" -print -quit) ]]; then
  echo "fuzz: building the property-list library"
  rm -f "$library" "$out"/propertylist-*.o
  for source in propertylist/*.cpp; do
    "$cxx" "${flags[@]}" -c "$source" -o "$out/propertylist-$(basename "$source" .cpp).o"
  done
  ar rcs "$library" "$out"/propertylist-*.o
fi

for target in fuzz/*Fuzz.cpp; do
  name=$(basename "$target" Fuzz.cpp)
  [[ -n ${FUZZ_ONLY:-} && $name != "$FUZZ_ONLY" ]] && continue
  binary=$out/$name
  if [[ ! -x $binary || -n $(find "$target" fuzz/*.h "$library" "${src_dirs[@]}" -newer "$binary" -print -quit) ]]; then
    echo "fuzz: building $name"
    "$cxx" "${flags[@]}" "$target" "$library" "${libs[@]}" -o "$binary"
  fi
  # Seeds live in fuzz/corpus/<name in lower case>; what the run finds stays in build-fuzz only.
  seeds=fuzz/corpus/$(echo "$name" | sed 's/PlistRoundTrip/plist/; s/.*/\L&/')
  work=$out/corpus-$name
  mkdir -p "$work"
  corpora=("$work")
  [[ -d $seeds ]] && corpora+=("$seeds")
  echo "fuzz: running $name for ${seconds} s"
  # Only this run's findings count: an old reproducer was reported when it was found.
  rm -f "$out/$name"-{crash,leak,timeout,oom}-*
  log=$out/$name.log
  status=0
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/$name-" "${corpora[@]}" >"$log" 2>&1 || status=$?
  grep -E "^(stat::number_of_executed_units|==|SUMMARY|Done)" "$log" || true
  # Any finding (crash, leak, timeout, out-of-memory) ends libFuzzer with a failure status and
  # leaves the input that reproduces it.
  reproducers=$(compgen -G "$out/$name-*" | grep -E -- "-(crash|leak|timeout|oom)-[0-9a-f]+$" || true)
  if ((status != 0)) || [[ -n $reproducers ]]; then
    echo "fuzz: $name FAILED (libFuzzer exit status $status); reproducer:" \
      "${reproducers:-none written, see $log}" >&2
    exit 1
  fi
done
echo "fuzz: every target ran clean"
