#!/usr/bin/env bash
# Builds the engine libraries and their tests with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs them, then the soak of the station under the same sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/compiler-cache.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSKYVOX_SANITIZE=ON -DSKYVOX_ENGINE_ONLY=ON \
  -DSKYVOX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2
# The soak under the sanitizers: skyvox-sim and skyvox-db in a build of their own (the engine-only
# build has no tools; optimised, or the soak would take several times longer), then 300 virtual pilots
# for an hour of virtual time, about six minutes on two cores. LeakSanitizer checks the exit.
cmake -S . -B build-asan-sim -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYVOX_SANITIZE=ON -DSKYVOX_GUI=OFF \
  -DSKYVOX_BENCH=OFF -DSKYVOX_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan-sim -j2 --target skyvox-sim skyvox-db
tests/tools/soak_test.sh build-asan-sim . 300 3600
