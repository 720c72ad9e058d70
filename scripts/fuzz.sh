#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 300), starting from the
# seed corpus in fuzz/corpus/<target>. New inputs found go to a scratch copy of the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
scripts/install-deps.sh --fuzz
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYVOX_FUZZ=ON \
  -DSKYVOX_TESTS=OFF -DSKYVOX_ENGINE_ONLY=ON >/dev/null
cmake --build build-fuzz -j2
for target in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$target" | sed 's/^fuzz_//')
  work="build-fuzz/corpus-$name"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | grep -E 'stat::number_of_executed_units|Done|ERROR|SUMMARY' || true
done
