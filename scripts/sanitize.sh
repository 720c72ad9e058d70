#!/usr/bin/env bash
# Builds the engine libraries and their tests with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSKYVOX_SANITIZE=ON -DSKYVOX_ENGINE_ONLY=ON \
  -DSKYVOX_BENCH=OFF >/dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2
