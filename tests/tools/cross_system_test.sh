#!/usr/bin/env bash
# A session across systems on this machine: a Windows program under Wine and a Linux one, over
# 127.0.0.1, the closest we come here to a station on the simulator's own machine.
#   wine-station: the Linux skyvox-sim hosts the session; skyvox-station.exe joins it, after building
#                 its database on its first run from a simulator folder given as a Windows path (Z:\...).
#   wine-host:    skyvox-sim.exe hosts the session and starts its pilot as a Windows process of its own;
#                 the Linux skyvox-station joins it.
# Either way one pilot is served end to end: its position reaches the station, it tunes ground and
# asks for taxi; the host leaves and the station takes the session over; the pilot acknowledges the
# clearance to the station as host; every line the station sends it is the line it receives and every
# line it says reaches the station; it leaves, and Ctrl-C closes the station with exit code 0.
# Usage: cross_system_test.sh LINUX_BUILD WINDOWS_BUILD SOURCE_DIR wine-station|wine-host
# Exit 0 passed, 1 failed, 77 skipped (no Wine, or the Linux programs not built).
set -uo pipefail
linux_build="$1"
windows_build="$2"
source="$3"
mode="$4"

wine=${SKYVOX_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
[[ -x "$wine" ]] || { echo "SKIP: no wine64"; exit 77; }
for program in tools/skyvox-db tools/skyvox-sim tools/skyvox-station; do
  [[ -x "$linux_build/$program" ]] || { echo "SKIP: no Linux $program under $linux_build"; exit 77; }
  [[ -f "$windows_build/$program.exe" ]] || { echo "FAIL: no $program.exe under $windows_build"; exit 1; }
done
build="$linux_build"
source "$source/tests/tools/session_lib.sh"
export WINEDEBUG=-all
# Started straight from here, so that $! is the Windows program's own process (Wine gives its Ctrl-C
# handler a SIGINT sent there).
win_sim="$windows_build/tools/skyvox-sim.exe"
win_station="$windows_build/tools/skyvox-station.exe"
# A Linux path as Wine's drive Z: shows it.
windows_path() {
  local p
  p=$(realpath -m "$1")
  echo "Z:${p//\//\\}"
}
# The log without its times and without the carriage returns of Windows line ends.
strip() { sed -E 's/\r$//; s/^\[ *[0-9]+\.[0-9]\] //' "$1"; }

"$db" make-scenery --world "$source/data/sample_world.txt" --out "$work/fs" >"$work/make.out" 2>&1 || fail "make-scenery"

session="Skyvox across systems $mode $$-$RANDOM"
cat >"$work/cross.txt" <<EOF
control KOLM
session $session
at 1 join N1
at 1 pos N1 46.969837 -122.906598 209 90 0
at 5 say N1 1
at 8 say N1 1
at 11 hostleave
at 15 say N1 1
at 18 leave N1
run 21
EOF
enum=$(free_ports 1) || exit 1
first=$(free_ports 40) || exit 1
ports="$first-$((first + 39))"
host_args=(--enum-port "$enum" --ports "$ports" --id-key 0
  --rejoin-host "127.0.0.1:$enum" --ping-interval 1000 --wait-station 120)
station_args=(--control KOLM --host "127.0.0.1:$enum" --session "$session" --ports "$ports" --monitor
  --ping-interval 1000 --enum-timeout 2000 --verbose)

case "$mode" in
  wine-station)
    "$sim" host --network "$work/cross.txt" "${host_args[@]}" >"$work/host.out" 2>"$work/host.err" &
    host_pid=$!
    pids+=("$host_pid")
    wait_for "$work/host.out" "* session up on port $enum" 20
    # The first run builds the database from the simulator folder, named the Windows way.
    mkdir -p "$work/app"
    "$wine" "$win_station" --app "$(windows_path "$work/app")" --sim "$(windows_path "$work/fs")" "${station_args[@]}" \
      >"$work/station.out" 2>"$work/station.err" &
    station_pid=$!
    pids+=("$station_pid")
    ;;
  wine-host)
    "$wine" "$win_sim" host --network "$(windows_path "$work/cross.txt")" "${host_args[@]}" >"$work/host.out" 2>"$work/host.err" &
    host_pid=$!
    pids+=("$host_pid")
    wait_for "$work/host.out" "* session up on port $enum" 60
    "$station" --app "$work/app" --sim "$work/fs" "${station_args[@]}" >"$work/station.out" 2>"$work/station.err" &
    station_pid=$!
    pids+=("$station_pid")
    ;;
  *)
    echo "usage: $0 LINUX_BUILD WINDOWS_BUILD SOURCE_DIR wine-station|wine-host" >&2
    exit 2
    ;;
esac

wait_for "$work/station.out" "Connected to FS Session!" 120
wait_for "$work/host.out" "t = 0: the scenario starts" 30
wait_for "$work/host.out" "* N1 is admitted and announces itself" 30
wait_for "$work/host.out" "* the run ends" 60
wait_exit "$host_pid" "the host" 30
strip "$work/host.out" >"$work/host.log"
strip "$work/station.out" >"$work/station.log"

# Either station built its database on this first run (the Windows one from its Z:\ folder).
for line in "[message box, information] Skyvox v2.0: The creation process of the database was completed!." \
  '* Settings: "KOLM - OLYMPIA" added to the controlled airports list'; do
  grep -qF -- "$line" "$work/station.log" || fail "the station did not log: $line"
done
grep -qF "100%  3/3 files  9 airports  5 airspaces" "$work/station.err" || fail "the build did not read every file"

# The station's menus follow where the pilot is, and it answers what the pilot asks.
for line in "N1 <- N1,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6" \
  "N1 -> 1" "N1 <- N1,  Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Request Taxi for Takeoff"; do
  grep -qF -- "$line" "$work/station.log" || fail "the station did not log: $line"
done
grep -qE "^N1 <- N1, taxi to .*runway" "$work/station.log" || fail "the station did not clear N1 to taxi"
# Every line the station sent is a line the pilot heard, and every line the pilot said reached the station.
sed -n 's/^N1 <- //p' "$work/station.log" >"$work/sent"
sed -n 's/^N1 hears AI_Controller: //p' "$work/host.log" >"$work/heard"
(($(wc -l <"$work/sent") >= 3)) || fail "the station sent N1 only $(wc -l <"$work/sent") lines"
missing=$(grep -vxF -f "$work/heard" "$work/sent") && fail "N1 did not receive the station's lines: $missing"
sed -n 's/^\* N1 says: //p' "$work/host.log" >"$work/said"
sed -n 's/^N1 -> //p' "$work/station.log" | diff "$work/said" - >"$work/said.diff" ||
  fail "the station did not receive what N1 said: $(cat "$work/said.diff")"
grep -qF "[message box, information] Skyvox v2.0: The original host had left the session, Skyvox is now hosting the session." \
  "$work/station.log" || fail "the station did not take the session over"
grep -qF "N1 <- N1,  Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Tune OLYMPIA TOWER Tower on 124.4" \
  "$work/station.log" || fail "the station, hosting, did not answer N1's acknowledgement"
grep -qF "* N1 leaves the session" "$work/host.log" || fail "N1 did not leave"
wait_for "$work/station.out" "N1 left the session" 30
kill -INT "$station_pid"
wait_exit "$station_pid" "the station" 30
wait "$station_pid"
code=$?
((code == 0)) || fail "the station closed with exit code $code"
echo "across systems ($mode): all checks passed"
