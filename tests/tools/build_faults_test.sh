#!/usr/bin/env bash
# Faults during the first-run build, through the programs. The design keeps its configuration file
# through the build, so that a build cut short is read back at the next start as the whole database;
# the corrected mode (--corrected) never reads back a database that is not whole, and its next start
# builds it again cleanly. The station runs in the corrected mode here, but for one kill that shows the
# design's behaviour.
#   kill: skyvox-station stopped by SIGKILL, SIGTERM or two SIGTERMs at many points of its first run
#         (before the build, at every tenth of the files, after it), and skyvox-db killed at every tenth
#         of a rebuild; each time the next start lists every airport of the scenery.
#   disk: in a mount namespace of its own (root only; exit 77 otherwise), a program folder on a small
#         tmpfs that fills during the build, and one that is read-only: a clear message, and the next
#         start, with room or write access back, builds cleanly.
# Every run is bounded by a timeout: a hang fails the test.
#   build_faults_test.sh BUILD_DIR SOURCE_DIR kill|disk
set -uo pipefail
build="$1"
source="$2"
mode="$3"
if [[ $mode == disk && -z ${SKYVOX_IN_NAMESPACE:-} ]]; then
  [[ $(id -u) == 0 ]] || { echo "SKIP: mounting a tmpfs needs root"; exit 77; }
  SKYVOX_IN_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
  echo "SKIP: no mount namespace (unshare -m) here"
  exit 77
fi
source "$source/tests/tools/session_lib.sh"

"$db" make-scenery --synthetic 80000 --per-file 400 --out "$work/big" >"$work/make.out" 2>&1 || fail "synthetic world"
# The station's first run in APP (given --sim), bounded; its output goes to $work/NAME.out and .err.
log() { echo "$work/$(basename "$1")"; }
first_run() {
  timeout 60 "$station" --app "$1" --sim "$work/big" --control NOSUCH --corrected >"$(log "$1").out" \
    2>"$(log "$1").err"
}
listed() { sed -n 's/.*(\([0-9]*\) airports listed).*/\1/p' "$1"; }
first_run "$work/reference"
airports=$(listed "$work/reference.err")
[[ -n "$airports" ]] || fail "the reference build: $(cat "$work/reference.err")"
echo "the scenery holds $airports airports"

# The next start of a program folder: every airport is listed, whether it built again or not.
next_start_lists_all() {  # APP WHAT
  local log
  log=$(log "$1")
  first_run "$1"
  (($? < 124)) || fail "$2: the next start hung or crashed: $(tail -3 "$log.err")"
  [[ $(listed "$log.err") == "$airports" ]] || fail "$2: the next start listed $(listed "$log.err") airports: $(tail -3 "$log.err")"
  grep -q "This is the first time" "$log.out" && rebuilt=$((rebuilt + 1))
  return 0
}

if [[ $mode == kill ]]; then
  # Waits until the running program's output shows the point, then holds it still there.
  hold_at() {  # PID POINT APP
    local pid=$1 point=$2 app=$3 pattern file
    # Not before the program runs: a signal to the shell about to start it would run this script's traps.
    for _ in $(seq 1000); do
      [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == */skyvox-* ]] && break
      sleep 0.001
    done
    case $point in
      start) pattern="" ;;
      configured) pattern="configuration file for this program was completed" file="$(log "$app").out" ;;
      built) pattern="The creation process of the database was completed" file="$(log "$app").out" ;;
      *) pattern="^ *$point%  " file="$(log "$app").err" ;;
    esac
    if [[ -n $pattern ]]; then
      for _ in $(seq 3000); do
        grep -q -- "$pattern" "$file" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.005
      done
    fi
    kill -STOP "$pid" 2>/dev/null
  }
  rebuilt=0 runs=0
  # The design: killed half-way, the next start lists what reached the database and builds nothing.
  app="$work/design"
  "$station" --app "$app" --sim "$work/big" --control NOSUCH >"$(log "$app").out" 2>"$(log "$app").err" &
  pid=$!
  disown "$pid"
  hold_at "$pid" 50 "$app"
  kill -KILL "$pid" 2>/dev/null
  kill -CONT "$pid" 2>/dev/null
  while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  timeout 60 "$station" --app "$app" --control NOSUCH >"$(log "$app").out" 2>"$(log "$app").err"
  partial=$(listed "$(log "$app").err")
  [[ -n $partial ]] && ((partial < airports)) || fail "the design's next start: $(tail -3 "$(log "$app").err")"
  grep -q "This is the first time" "$(log "$app").out" && fail "the design's next start built again"
  echo "the design: killed half-way, the next start lists $partial of $airports airports"

  for run in {KILL,TERM}:{start,configured,30,70,built} KILL:{0,10,20,40,50,60,80,90} TERM,TERM:{20,60}; do
    signals=${run%:*} point=${run#*:}
    app="$work/kill-$signals-$point"
    "$station" --app "$app" --sim "$work/big" --control NOSUCH --corrected >"$(log "$app").out" \
      2>"$(log "$app").err" &
    pid=$!
    disown "$pid"
    hold_at "$pid" "$point" "$app"
    for s in ${signals//,/ }; do kill -"$s" "$pid" 2>/dev/null; done
    kill -CONT "$pid" 2>/dev/null
    waited=0
    while kill -0 "$pid" 2>/dev/null; do
      ((waited++ < 600)) || fail "SIG$signals at $point: the station did not end"
      sleep 0.05
    done
    next_start_lists_all "$app" "SIG$signals at $point"
    runs=$((runs + 1))
  done
  echo "skyvox-station: $runs interrupted first runs, $rebuilt of them built again at the next start"

  # skyvox-db: the working database stays as it was, whenever the rebuild is killed.
  "$db" build --sim "$work/big" --app "$work/dbapp" >/dev/null 2>&1 || fail "skyvox-db build"
  sums() { (cd "$work/dbapp" && md5sum world_airports.dat world_airspaces.dat Skyvox_link.cfg); }
  sums >"$work/db.sums"
  for point in 0 10 20 30 40 50 60 70 80 90; do
    "$db" build --sim "$work/big" --app "$work/dbapp" >/dev/null 2>"$work/dbapp.err" &
    pid=$!
    disown "$pid"
    hold_at "$pid" "$point" "$work/dbapp"
    kill -KILL "$pid" 2>/dev/null
    while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
    sums | cmp -s - "$work/db.sums" || fail "skyvox-db killed at $point%: the working database changed"
  done
  [[ $("$db" list --app "$work/dbapp" | wc -l) == "$airports" ]] || fail "skyvox-db: the kept database"
  echo "skyvox-db: killed at 10 points, the working database kept"
  echo "build faults (kill): all checks passed"
  exit 0
fi

# --- disk --------------------------------------------------------------------------------------------
mkdir -p "$work/small"
mount -t tmpfs -o size=6m tmpfs "$work/small" 2>/dev/null || skip "cannot mount a tmpfs here"
extra_cleanup="umount -l '$work/small' 2>/dev/null"
rebuilt=0
# A full disk: the shipped terrain file (3.9 MB) fits, the database (about 25 MB) does not.
app="$work/small/full"
first_run "$app"
grep -q "^\[message box, critical\] Skyvox v2.0: Error - while scanning this BGL file:  " "$work/full.out" ||
  fail "full disk: no box: $(tail -3 "$work/full.out")"
grep -q "^\[cause\] cannot write $app/world_a[a-z]*.dat: No space left on device" "$work/full.out" ||
  fail "full disk: no cause: $(tail -3 "$work/full.out")"
[[ -e "$app/Skyvox_link.cfg" ]] && fail "full disk: the configuration file names a database that is not whole"
mount -o remount,size=64m "$work/small" || fail "cannot enlarge the tmpfs"
next_start_lists_all "$app" "after a full disk"
rm -rf "$app"

# A read-only program folder: a complete database is used as it is; a first run says why it cannot
# write, and builds once the folder is writable again.
cp -r "$work/reference" "$work/small/done" && mkdir "$work/small/new" && cp "$work/reference/world_terrain.db" "$work/small/new/"
mount -o remount,ro "$work/small" || fail "cannot make the tmpfs read-only"
timeout 60 "$station" --app "$work/small/done" --control NOSUCH >"$work/ro.out" 2>"$work/ro.err"
[[ $(listed "$work/ro.err") == "$airports" ]] || fail "read-only: the database was not read: $(tail -3 "$work/ro.err")"
app="$work/small/new"
first_run "$app"
grep -q "The configuration file could not be written: .*Read-only file system" "$work/new.out" ||
  fail "read-only: no message: $(tail -3 "$work/new.out") $(tail -3 "$work/new.err")"
mount -o remount,rw "$work/small" || fail "cannot make the tmpfs writable again"
next_start_lists_all "$app" "after a read-only folder"
((rebuilt == 2)) || fail "the next starts did not build again"
echo "build faults (disk): all checks passed"
