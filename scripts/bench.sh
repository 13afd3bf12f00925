#!/usr/bin/env bash
# Builds a Release tree (build-release/), runs every benchmark and prints one table: figure, ours,
# anchor, ratio, goal, met. Each figure is measured against its anchor in the same run, the two
# interleaved, BENCH_REPS times (default 5); the last line reads "goals met: N of M".
#
#   scripts/bench.sh                      everything (a few minutes)
#   BENCH_REPS=7 BENCH_IDLE_SECONDS=10 scripts/bench.sh
#
# Needs root for the simulated Mac (sim/run). Not part of the tests or CI: timings never fail a
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${BENCH_REPS:-5}
idle=${BENCH_IDLE_SECONDS:-10}

scripts/setup.sh >&2 # the packages (a fresh clone needs them); configures build/ too

# -O2 rather than CMake's -O3: GCC 12 reports false -Wrestrict/-Wmaybe-uninitialized inside the
# standard library at -O3, and warnings are errors.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" >/dev/null
cmake --build build-release -j"$(nproc)" --target nuvraUninstaller shell_bench scan_bench \
    deletion_bench canned_tool minimal_window static_window >/dev/null

app=$PWD/build-release/nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller
bin=$PWD/build-release/bench
scratch=$PWD/build-release/bench-scratch

echo "machine: $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GB, $(uname -sr)," \
    "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
{
    sim/run --scene full -- bench/inventory_bench.sh "$app" "$bin/canned_tool" "$reps"
    # shellcheck disable=SC2016 # expanded by the shell inside the simulated Mac
    sim/run --scene full -- bash -c 'source bench/canned_tools.sh && install_canned_tools "$1" &&
        "$2" "$3"' _ "$bin/canned_tool" "$bin/scan_bench" "$reps"
    "$bin/shell_bench" 256 "$reps"
    rm -rf "$scratch" && mkdir -p "$scratch"
    "$bin/deletion_bench" "$scratch" "$reps"
    rm -rf "$scratch"
    for ((i = 0; i < reps; i++)); do
        sim/run --scene full -- bench/window_bench.py measure "$app" "$bin/minimal_window" \
            "$bin/static_window" "$bin/canned_tool" "$idle"
    done | bench/window_bench.py rows
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
} | bench/table.py
