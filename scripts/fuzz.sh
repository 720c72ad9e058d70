#!/usr/bin/env bash
# Fuzzing campaigns. Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehavior-
# Sanitizer in build-fuzz, then runs them one after another.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   each target (all by default) for SECONDS (default 300)
#   scripts/fuzz.sh minimize TARGET INPUT   the smallest input that still crashes the same way
#   scripts/fuzz.sh merge TARGET            the campaign's inputs that add coverage to the seeds
#
# A campaign starts from the seed corpus fuzz/corpus/<target> and from what earlier campaigns found in
# build-fuzz/corpus/<target>, where new inputs go. Each target runs under nice -n 19, one at a time.
# Crashing inputs are kept in build-fuzz/findings/<target>/, the whole output in build-fuzz/logs/, and
# one line per target is appended to build-fuzz/campaign.log: the date, the seconds run, executions,
# coverage (cov: edges, ft: features), corpus size and any finding.
#
# A finding: minimise it, fix the defect, and commit the minimised input as
# fuzz/corpus/<target>/regress-<what>, so that the corpus replay among the tests keeps checking it.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz

build() {
  scripts/install-deps.sh --fuzz
  source scripts/compiler-cache.sh
  cmake -S . -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DSKYVOX_FUZZ=ON -DSKYVOX_TESTS=OFF -DSKYVOX_GUI=OFF -DSKYVOX_BENCH=OFF >/dev/null
  nice -n 19 cmake --build "$out" -j2 --target skyvox_fuzzers
}

program() {
  local p="$out/fuzz/fuzz_$1"
  [[ -x "$p" ]] || { echo "no fuzz target '$1' (have: $(all_targets | tr '\n' ' '))" >&2; exit 2; }
  echo "$p"
}

all_targets() {
  ls "$out"/fuzz/fuzz_* | sed 's|.*/fuzz_||'
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

case "${1:-}" in
  minimize)
    [[ $# -eq 3 ]] || { echo "usage: $0 minimize TARGET INPUT" >&2; exit 2; }
    build >/dev/null
    minimal="$out/findings/$2/minimized-$(basename "$3")"
    mkdir -p "$out/findings/$2"
    nice -n 19 "$(program "$2")" -minimize_crash=1 -max_total_time=120 -exact_artifact_path="$minimal" "$3" \
      2>&1 | tail -n 5
    echo "minimised: $minimal ($(wc -c <"$minimal") bytes)"
    exit 0
    ;;
  merge)
    [[ $# -eq 2 ]] || { echo "usage: $0 merge TARGET" >&2; exit 2; }
    build >/dev/null
    picked="$out/merged/$2"
    rm -rf "$picked"
    mkdir -p "$picked"
    cp fuzz/corpus/"$2"/* "$picked"/
    nice -n 19 "$(program "$2")" -merge=1 "$picked" "$out/corpus/$2" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new' || true
    echo "inputs that add coverage to the seeds:"
    for f in "$picked"/*; do
      [[ -e "fuzz/corpus/$2/$(basename "$f")" ]] || echo "  $f ($(wc -c <"$f") bytes)"
    done
    exit 0
    ;;
esac

seconds="${1:-300}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2; }
shift $(($# > 0 ? 1 : 0))
build
targets=("$@")
((${#targets[@]})) || mapfile -t targets < <(all_targets)
mkdir -p "$out/logs"

for name in "${targets[@]}"; do
  fuzzer=$(program "$name")
  work="$out/corpus/$name"
  findings="$out/findings/$name"
  log="$out/logs/$name-$(date +%Y%m%dT%H%M%S).log"
  mkdir -p "$work" "$findings"
  echo "== $name for ${seconds}s (log: $log)"
  start=$(date +%s)
  status=0
  nice -n 19 "$fuzzer" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  ran=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  progress=$(grep -E '^#[0-9]+.*cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -E 's/.*cov: ([0-9]+).*/\1/' <<<"$progress")
  ft=$(sed -E 's/.*ft: ([0-9]+).*/\1/' <<<"$progress")
  corpus=$(find "$work" -type f | wc -l)
  finding=none
  if ((status != 0)); then
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    summary=$(grep -m 1 -E '^SUMMARY|ERROR: libFuzzer|runtime error' "$log" || echo "exit $status")
    # The innermost frame of our own code.
    where=$(grep -m 1 -E '^ +#[0-9]+ .*/\.\./(src|tools|fuzz)/' "$log" | sed -E 's|.*/\.\./((src\|tools\|fuzz)/[^ ]+).*|\1|' || true)
    finding="${summary}${where:+ at $where} -> ${artifact:-no input kept}"
    # The run did not finish: the progress line is what it reached before the finding.
    [[ -n "$execs" ]] || execs=$(sed -E 's/^#([0-9]+).*/\1/' <<<"$progress")
  fi
  line="$(date '+%Y-%m-%d %H:%M:%S') $name seconds=$ran execs=${execs:-?} cov=${cov:-?} ft=${ft:-?} corpus=$corpus finding: $finding"
  echo "$line" | tee -a "$out/campaign.log"
done
