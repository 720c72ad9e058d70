#!/usr/bin/env bash
# The soak: skyvox-sim make-soak writes a crowd of virtual pilots with random intentions, menu choices
# (wrong and out-of-range digits among them), "repeat:" and chat, and skyvox-sim soak plays it against
# the station over the loopback session, sampling the station's tables and the process's memory. It
# fails on a figure that keeps growing, an unexpected stuck pilot or an ended session in the corrected
# mode (exit 3); in a build with SKYVOX_SANITIZE, AddressSanitizer and LeakSanitizer also fail it on a
# memory error or a leak at exit, UndefinedBehaviorSanitizer on undefined behaviour. The report (peak
# memory, wall time, stuck pilots by class) is printed.
# Usage: soak_test.sh BUILD_DIR SOURCE_DIR [PILOTS [SECONDS [SEED [SOAK OPTIONS...]]]]
# Defaults: 300 pilots, 3600 s of virtual time (about six minutes under the sanitizers on two cores,
# one under a minute without them), seed 1. Exit 0 passed, 1 failed.
set -uo pipefail
build=$1
source=$2
pilots=${3:-300}
seconds=${4:-3600}
seed=${5:-1}
shift $(($# < 5 ? $# : 5))

for tool in skyvox-sim skyvox-db; do
  [[ -x "$build/tools/$tool" ]] || { echo "FAIL: $tool not found under $build/tools"; exit 1; }
done
# Inside the build folder: a scratch folder of /tmp may be swept by others during a long run.
work=$(mktemp -d "$build/soak.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/tools/skyvox-db" make-scenery --world "$source/data/sample_world.txt" --out "$work/fs" >"$work/make.out" 2>&1 &&
  "$build/tools/skyvox-db" build --sim "$work/fs" --app "$work/app" >"$work/build.out" 2>&1 ||
  { cat "$work/make.out" "$work/build.out"; echo "FAIL: the program folder"; exit 1; }
"$build/tools/skyvox-sim" make-soak --pilots "$pilots" --seconds "$seconds" --seed "$seed" >"$work/soak.txt" ||
  { echo "FAIL: make-soak"; exit 1; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:disable_coredump=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
start=$(date +%s)
nice -n 19 "$build/tools/skyvox-sim" soak "$work/soak.txt" --app "$work/app" "$@" >"$work/report" 2>"$work/err"
rc=$?
echo "$pilots places, $seconds s of virtual time, seed $seed: $(($(date +%s) - start)) s of wall time, exit $rc"
# The samples every tenth, the last one and the report.
grep '^\[' "$work/report" | awk 'NR % 10 == 1' | cut -c1-220
grep '^\[' "$work/report" | tail -n 1 | cut -c1-220
grep -v '^\[' "$work/report"
tail -n 40 "$work/err"
if grep -qF "built with AddressSanitizer" "$work/report" && ! grep -qF "LeakSanitizer" "$work/err"; then
  echo "LeakSanitizer: no leak at exit"
fi
((rc == 0)) || { echo "FAIL: the soak did not hold (exit $rc)"; exit 1; }
