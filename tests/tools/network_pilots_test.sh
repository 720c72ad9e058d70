#!/usr/bin/env bash
# Virtual pilots over a real DirectPlay session, each a process of its own: skyvox-sim hosts the session
# and starts them, skyvox-station joins as the controller. Checked: a scenario with virtual pilots is
# refused without the program folder before any session is up; two VFR pattern pilots at Olympia (the
# second held short behind the first by the tower) and an IFR pilot out of Bellingham fly by themselves
# within the run: each taxies out, and the first and the IFR pilot take off; every line the station
# sends a pilot reaches it, every digit a pilot says reaches the station, each pilot reads every line
# it hears; the host prints each pilot's summary as its process reports it. In a second session
# without a station, "until flights end" ends the run once the only virtual pilot has left, and tells
# the scripted pilot that the run ends.
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
# Long enough for the first pilot at Olympia to take off (about 160 s after its start), short enough to
# keep the test within three minutes: no flight completes.
cat >"$work/fly.txt" <<EOF
control KOLM
control KBLI
session $session
at 1 pilot N1 vfr KOLM pattern from gate 1
at 1 pilot N2 vfr KOLM pattern from gate 2
at 1 pilot N3 ifr KBLI KOLM 9000 from ramp
run 170
EOF

"$sim" host --network "$work/fly.txt" --enum-port "$(free_ports 1)" >"$work/noapp.out" 2>"$work/noapp.err" &&
  fail "the host without --app did not fail"
grep -qF "virtual pilots (the first on line 4): they need the program folder with the database, --app FOLDER" \
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
wait_for "$work/fly-host.out" "* the run ends" 40
wait_exit "$host_pid" "the host" 15
strip "$work/fly-host.out" >"$work/host.log"
strip "$work/fly-station.out" >"$work/station.log"

for p in "N1 vfr KOLM pattern from gate 1" "N2 vfr KOLM pattern from gate 2" "N3 ifr KBLI KOLM 9000 from ramp"; do
  grep -qE "^\* ${p%% *}: flight not completed \(stopped in [a-z ]+\) \[${p#* }\]$" "$work/host.log" ||
    fail "the host printed no summary for ${p%% *}"
done
for want in "N1:taxi out" "N1:holding short" "N1:takeoff" "N2:taxi out" "N2:holding short" "N3:taxi out" \
  "N3:takeoff"; do
  grep -qE "^\* ${want%%:*} phases: (.*, )?${want#*:} [0-9]" "$work/host.log" ||
    fail "${want%%:*} never reached ${want#*:}: $(grep -F "* ${want%%:*} phases" "$work/host.log")"
done
# The station's lines reach each pilot word for word, and each pilot reads every line it hears.
for p in N1 N2 N3; do
  sed -n "s/^$p <- //p" "$work/station.log" >"$work/$p.sent"
  sed -n "s/^$p hears AI_Controller: //p" "$work/host.log" >"$work/$p.heard"
  (($(wc -l <"$work/$p.sent") > 3)) || fail "the station sent $p only $(wc -l <"$work/$p.sent") lines"
  missing=$(grep -vxF -f "$work/$p.heard" "$work/$p.sent") && fail "$p did not receive the station's lines: $missing"
  grep -qxF "* $p lines received: $(wc -l <"$work/$p.heard")" "$work/host.log" || fail "$p did not read every line it heard"
done
# Everything the pilots say reaches the station, once.
sed -n -E 's/^\* (N[123]) says: (.*)/\1 -> \2/p' "$work/host.log" | sort >"$work/said"
(($(wc -l <"$work/said") >= 10)) || fail "the pilots said only $(wc -l <"$work/said") lines"
grep -E "^N[123] -> " "$work/station.log" | sort | diff "$work/said" - >"$work/said.diff" ||
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
  "* N5: flight not completed (left the session in at parking 1) [vfr KOLM pattern from parking 1]"; do
  strip "$work/short-host.out" | grep -qxF -- "$line" || fail "the short run did not say: $line"
done

echo "network pilots: all checks passed"
