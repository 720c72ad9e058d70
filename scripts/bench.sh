#!/usr/bin/env bash
# Builds Skyvox for speed (Release, in build-release unless SKYVOX_BENCH_BUILD names another folder),
# runs every benchmark program, and prints one table: each figure of bench/goals.txt, its baseline (the
# straightforward path measured in the same program on the same data), their ratio, and whether the goal
# is met. The programs' own output goes to OUTDIR (default build-release/bench-results).
# Usage: scripts/bench.sh [--quick] [OUTDIR]   (--quick: one repetition instead of three)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=3
if [[ "${1:-}" == "--quick" ]]; then
  repetitions=1
  shift
fi
build=${SKYVOX_BENCH_BUILD:-build-release}
out=${1:-$build/bench-results}
source scripts/compiler-cache.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKYVOX_TESTS=OFF -DSKYVOX_GUI=OFF \
  "${launcher[@]}" >/dev/null
benches=(skyvox_station_tick_bench skyvox_atc_bench skyvox_radar_bench skyvox_receive_loop_bench
  skyvox_build_bench skyvox_terrain_bench skyvox_geo_bench skyvox_database_bench)
tools=(skyvox_station_memory_bench skyvox_sim_load_bench skyvox_network_station_bench)
cmake --build "$build" -j2 --target skyvox-bench-table "${benches[@]}" "${tools[@]}"
mkdir -p "$out"
rm -f "$out"/*.json
for b in "${benches[@]}"; do
  echo "running $b" >&2
  "$build/bench/$b" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/$b.json" --benchmark_out_format=json >"$out/$b.log"
done
for t in "${tools[@]}"; do
  echo "running $t" >&2
  "$build/bench/$t" --json "$out/$t.json" >"$out/$t.log" 2>&1 || echo "$t failed: see $out/$t.log" >&2
done
"$build/tools/skyvox-bench-table" --goals bench/goals.txt "$out"/*.json
