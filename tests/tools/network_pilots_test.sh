#!/usr/bin/env bash
# Virtual pilots over a real DirectPlay session, each a process of its own: skyvox-sim hosts the demo's
# short mix at Olympia and starts them, skyvox-station joins as the controller. Checked: a scenario
# with virtual pilots is refused without the program folder before any session is up; the two VFR
# pattern pilots (the second held short behind the first by the tower) and the pilot who takes off
# without a clearance complete their flights with their phases in order, and the IFR pilot out of
# Bellingham leaves in flight; every line the station sends a pilot reaches it, every line a pilot says
# reaches the station, each pilot reads every line it hears; the host prints each pilot's summary as
# its process reports it, and the run stops once every flight has ended. In a second session without
# a station, "until flights end" ends the run once the only virtual pilot has left, and tells the
# scripted pilot that the run ends.
# Usage: network_pilots_test.sh BUILD_DIR SOURCE_DIR. Exit 0 passed, 1 failed, 77 skipped.
set -uo pipefail
build="$1"
source="$2"

source "$source/tests/tools/session_lib.sh"
make_program_folder

# Hosts a scenario file NAME.txt with the program folder, more options after; the log is NAME-host.out.
host_scenario() {
  local name=$1
  shift
  enum=$(free_ports 1) || exit 1
  first=$(free_ports 40) || exit 1
  "$sim" host --network "$work/$name.txt" --app "$work/app" --enum-port "$enum" --ports "$first-$((first + 39))" \
    --ping-interval 1000 "$@" >"$work/$name-host.out" 2>"$work/$name-host.err" &
  host_pid=$!
  pids+=("$host_pid")
  wait_for "$work/$name-host.out" "* session up on port $enum" 20
}
# The log without its times.
strip() { sed -E 's/^\[ *[0-9]+\.[0-9]\] //' "$1"; }

session="Skyvox network pilots $$-$RANDOM"
# The demo's short mix at Olympia (about thirteen minutes), in a session of its own.
cp "$source/data/scenarios/olympia_mix.txt" "$work/fly.txt"
echo "session $session" >>"$work/fly.txt"

"$sim" host --network "$work/fly.txt" --enum-port "$(free_ports 1)" >"$work/noapp.out" 2>"$work/noapp.err" &&
  fail "the host without --app did not fail"
grep -qF "virtual pilots (the first on line 9): they need the program folder with the database, --app FOLDER" \
  "$work/noapp.err" || fail "the host without --app did not say why"
grep -qF "session up" "$work/noapp.out" && fail "the host without --app opened a session"

host_scenario fly --id-key 0 --wait-station 30
stream=$(grep -o 'stream port [0-9]*' "$work/fly-host.out" | head -1 | awk '{print $3}')
(exec 3<>"/dev/tcp/127.0.0.1/$stream") 2>/dev/null ||
  skip "the loopback interface cannot carry a TCP connection to 127.0.0.1:$stream"
"$station" --app "$work/app" --control KOLM --control KBLI --host "127.0.0.1:$enum" --session "$session" \
  --ports "$first-$((first + 39))" --monitor --ping-interval 1000 --enum-timeout 1000 --verbose \
  >"$work/fly-station.out" 2>"$work/fly-station.err" &
pids+=("$!")
wait_for "$work/fly-host.out" "t = 0: the scenario starts" 30
# N1 reaches the runway first; the tower holds N2 short behind it.
wait_for "$work/fly-station.out" "N2 <- N2, hold short." 180
wait_for "$work/fly-host.out" "* every virtual pilot's flight has ended: the run stops" 1000
wait_exit "$host_pid" "the host" 15
strip "$work/fly-host.out" >"$work/host.log"
strip "$work/fly-station.out" >"$work/station.log"

for p in "N1: flight completed [vfr KOLM pattern from gate 1]" "N2: flight completed [vfr KOLM pattern from gate 2]" \
  "N4: flight completed [rogue KOLM from ramp]"; do
  grep -qxF "* $p" "$work/host.log" || fail "not in the host's summary: $p ($(grep -F "* ${p%%:*}: " "$work/host.log"))"
done
grep -qE "^\* N3: flight not completed \(left the session; last phase: [a-z -]+\) \[ifr KBLI KOLM 9000 from ramp\]$" \
  "$work/host.log" || fail "N3 did not leave in flight: $(grep -F "* N3: " "$work/host.log")"
# Each flight's phases in the order they are flown.
for want in "N1:taxi out, holding short, line up, takeoff, departure, pattern, final, landing, runway exit, taxi in, parked" \
  "N4:taxi out, holding short, line up, takeoff, departure, final, landing, runway exit, parked" \
  "N3:taxi out, holding short, line up, takeoff, departure, en route"; do
  pattern=$(sed -E 's/, / [0-9.]+, /g' <<<"${want#*:}")
  grep -qE "^\* ${want%%:*} phases: .*${pattern} [0-9]" "$work/host.log" ||
    fail "${want%%:*}'s phases are not ${want#*:}: $(grep -F "* ${want%%:*} phases" "$work/host.log")"
done
# The station's lines reach each pilot word for word, and each pilot reads every line it hears.
for p in N1 N2 N3 N4; do
  sed -n "s/^$p <- //p" "$work/station.log" >"$work/$p.sent"
  sed -n "s/^$p hears AI_Controller: //p" "$work/host.log" >"$work/$p.heard"
  (($(wc -l <"$work/$p.sent") > 3)) || fail "the station sent $p only $(wc -l <"$work/$p.sent") lines"
  missing=$(grep -vxF -f "$work/$p.heard" "$work/$p.sent") && fail "$p did not receive the station's lines: $missing"
  grep -qxF "* $p lines received: $(wc -l <"$work/$p.heard")" "$work/host.log" || fail "$p did not read every line it heard"
done
# Everything the pilots say reaches the station, once.
sed -n -E 's/^\* (N[1234]) says: (.*)/\1 -> \2/p' "$work/host.log" | sort >"$work/said"
(($(wc -l <"$work/said") >= 10)) || fail "the pilots said only $(wc -l <"$work/said") lines"
grep -E "^N[1234] -> " "$work/station.log" | sort | diff "$work/said" - >"$work/said.diff" ||
  fail "the station did not receive what the pilots said: $(cat "$work/said.diff")"
grep -qE "the process of|no summary came" "$work/host.log" && fail "a pilot's process failed"

# ---------------------------------------------------------------------------------------------------
# Until flights end, without a station: the only virtual pilot leaves, the run stops then.
cat >"$work/short.txt" <<EOF
control KOLM
session $session short
at 1 pilot N5 vfr KOLM pattern from parking 1
at 1 join S1
at 4 leave N5
run 120 until flights end
EOF
host_scenario short
wait_for "$work/short-host.out" "* every virtual pilot's flight has ended: the run stops" 30
wait_exit "$host_pid" "the host" 15
wait "$host_pid" || fail "the host that stopped when the flights ended failed"
for line in "* N5 leaves the session" "* S1 leaves the session (the run ends)" \
  "* N5: flight not completed (left the session; last phase: at parking 1) [vfr KOLM pattern from parking 1]"; do
  strip "$work/short-host.out" | grep -qxF -- "$line" || fail "the short run did not say: $line"
done

echo "network pilots: all checks passed"
