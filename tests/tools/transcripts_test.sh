#!/usr/bin/env bash
# Whole dialogues through the real programs: every tests/data/transcripts/*.scenario is played by
# skyvox-sim against a database built by skyvox-db from the world its "# world: NAME" line names
# (NAME.world beside it, or "sample" for data/sample_world.txt), and its transcript must equal the
# .expected file beside it byte for byte.
#
# A world whose "# world:" line adds "no-magdec" is built without Scenery/magdec.bgl: the station then
# gives headings without magnetic variation (and says so in a message box when it opens).
#
# SKYVOX_UPDATE_TRANSCRIPTS=1 rewrites the .expected files instead of comparing: read every changed
# line before committing one.
#
#   transcripts_test.sh BUILD_DIR SOURCE_DIR [SCENARIO...]
set -uo pipefail
build=$1
source=$2
shift 2
db="$build/tools/skyvox-db"
sim="$build/tools/skyvox-sim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
if [[ -f "$db.exe" && -f "$sim.exe" ]]; then
  # A Windows build: its programs under Wine, every absolute path given as Wine's drive Z: shows it.
  # The transcripts must be the same, byte for byte.
  wine=${SKYVOX_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
  [[ -x "$wine" ]] || { echo "SKIP: no wine64 for the Windows programs"; exit 77; }
  export WINEDEBUG=${WINEDEBUG:--all}
  windows() {
    local program=$1 a args=()
    shift
    for a; do
      [[ $a == /* ]] && a="Z:${a//\//\\}"
      args+=("$a")
    done
    "$wine" "$program" "${args[@]}"
  }
  run_db() { windows "$db.exe" "$@"; }
  run_sim() { windows "$sim.exe" "$@"; }
else
  [[ -x "$db" && -x "$sim" ]] || fail "skyvox-db or skyvox-sim not found under $build/tools"
  run_db() { "$db" "$@"; }
  run_sim() { "$sim" "$@"; }
fi
data="$source/tests/data/transcripts"

# The program folder of a world, built once per run.
declare -A apps
app_for() {
  local name=$1 magdec=$2 world dir
  local key="$name-$magdec"
  if [[ -z "${apps[$key]:-}" ]]; then
    if [[ $name == sample ]]; then world="$source/data/sample_world.txt"; else world="$data/$name.world"; fi
    [[ -f "$world" ]] || fail "no world description $world"
    dir="$work/$key"
    run_db make-scenery --world "$world" --out "$dir/fs" >"$work/$key-make.out" 2>&1 ||
      fail "make-scenery $name: $(cat "$work/$key-make.out")"
    [[ $magdec == no-magdec ]] && rm -f "$dir/fs/Scenery/magdec.bgl"
    run_db build --sim "$dir/fs" --app "$dir/app" >"$work/$key-build.out" 2>&1 ||
      fail "database build $name: $(cat "$work/$key-build.out")"
    apps[$key]="$dir/app"
  fi
  echo "${apps[$key]}"
}

scenarios=("$@")
((${#scenarios[@]})) || scenarios=("$data"/*.scenario)
failed=0 passed=0
for scenario in "${scenarios[@]}"; do
  base=${scenario%.scenario}
  name=$(basename "$base")
  read -r world magdec < <(sed -n 's/^# world: *//p' "$scenario" | head -n 1)
  [[ -n "${world:-}" ]] || fail "$name: no \"# world:\" line"
  app_for "$world" "${magdec:-magdec}" >/dev/null
  app=${apps["$world-${magdec:-magdec}"]}
  if ! run_sim run "$scenario" --app "$app" >"$work/$name.out" 2>"$work/$name.err"; then
    echo "FAIL: $name: skyvox-sim failed: $(cat "$work/$name.err")"
    failed=$((failed + 1))
    continue
  fi
  if [[ ${SKYVOX_UPDATE_TRANSCRIPTS:-0} == 1 ]]; then
    cp "$work/$name.out" "$base.expected"
    echo "updated $name.expected"
  elif [[ ! -f "$base.expected" ]]; then
    echo "FAIL: $name: no $name.expected"
    failed=$((failed + 1))
  elif diff -u "$base.expected" "$work/$name.out" >"$work/$name.diff"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $name: the transcript differs from $name.expected"
    cat "$work/$name.diff"
    failed=$((failed + 1))
  fi
done
echo "transcripts: $passed passed, $failed failed"
((failed == 0))
