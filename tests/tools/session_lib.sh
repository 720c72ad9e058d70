# Shared by the tests that run skyvox-sim, skyvox-station and skyvox-db as processes: finding the
# programs, a scratch folder, the processes started (all ended on exit), logs shown on failure, waits
# with timeouts, free ports, and a program folder with the sample world's database.
# Source it with BUILD_DIR and SOURCE_DIR in $build and $source; set $extra_cleanup to a command to run
# on exit as well.

find_tool() {
  local name=$1 dir
  for dir in "$build/tools" "$build/tools/station" "$build/tools/sim" "$build"; do
    [[ -x "$dir/$name" ]] && { echo "$dir/$name"; return 0; }
  done
  echo "FAIL: $name not found under $build" >&2
  exit 1
}
db=$(find_tool skyvox-db) || exit 1
sim=$(find_tool skyvox-sim) || exit 1
station=$(find_tool skyvox-station) || exit 1

work=$(mktemp -d)
pids=()
extra_cleanup=${extra_cleanup:-}
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [[ -n "$extra_cleanup" ]] && eval "$extra_cleanup"
  rm -rf "$work"
}
trap cleanup EXIT

skip() {
  echo "SKIP: $*"
  exit 77
}
show_logs() {
  local f
  for f in "$work"/*.out "$work"/*.err; do
    [[ -f "$f" ]] || continue
    echo "===== $(basename "$f")"
    tail -n 60 "$f"
  done
}
fail() {
  echo "FAIL: $*"
  show_logs
  exit 1
}

# Polls a file until a fixed text appears in it; false after the timeout (seconds).
appears() {
  local file=$1 text=$2 timeout=${3:-30} waited=0
  until grep -qF -- "$text" "$file" 2>/dev/null; do
    ((waited >= timeout * 10)) && return 1
    sleep 0.1
    ((waited++))
  done
  return 0
}
# The same, failing the test after the timeout.
wait_for() {
  appears "$@" || fail "no \"$2\" in $(basename "$1") after ${3:-30} s"
}
# Waits for a process to end by itself.
wait_exit() {
  local pid=$1 what=$2 timeout=${3:-30} waited=0
  while kill -0 "$pid" 2>/dev/null; do
    ((waited >= timeout * 10)) && fail "$what still runs after $timeout s"
    sleep 0.1
    ((waited++))
  done
}

# A port no socket of this machine holds (TCP or UDP), from a random place so that runs side by side
# do not meet; with a count, the first of that many free ports in a row.
port_taken() {
  local hex
  hex=$(printf ':%04X ' "$1")
  cat /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null | awk '{print $2}' |
    grep -q -- "${hex% }$"
}
free_ports() {
  local count=$1 first p ok
  for _ in $(seq 200); do
    first=$((20000 + RANDOM % 40000))
    ok=1
    for ((p = first; p < first + count; p++)); do
      if port_taken "$p"; then ok=0; break; fi
    done
    ((ok)) && { echo "$first"; return 0; }
  done
  fail "no free ports"
}

# $work/app: a program folder with the sample world's database, built from its scenery.
make_program_folder() {
  "$db" make-scenery --world "$source/data/sample_world.txt" --out "$work/fs" >"$work/make.out" 2>&1 ||
    fail "make-scenery"
  "$db" build --sim "$work/fs" --app "$work/app" >"$work/build.out" 2>"$work/build.err" || fail "database build"
}
