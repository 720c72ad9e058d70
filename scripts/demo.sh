#!/usr/bin/env bash
# Installs what is missing, builds Skyvox and runs the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target skyvox-demo
build/tools/skyvox-demo "$@"
