#!/usr/bin/env bash
# A real DirectPlay session on this machine, one process per participant: skyvox-sim hosts it and starts
# the pilots, skyvox-station joins it as the controller. Checked: the search and join with a password
# (and, in a second session, without one); positions reaching the station (its menus follow where each
# pilot is) and chat both ways (every line the station sends a pilot is the line that pilot receives);
# a pilot that leaves is no longer addressed; when the host leaves, the station takes the session over,
# says where pilots now find it, and admits and serves a pilot that joins afterwards; the station's own
# lines tell participants joining and leaving; Ctrl-C closes it with exit code 0, a session lost under
# it gives 3, and Ctrl-C cuts a session search short with its cause.
# Usage: network_session_test.sh BUILD_DIR SOURCE_DIR. Exit 0 passed, 1 failed, 77 skipped.
set -uo pipefail
build="$1"
source="$2"

source "$source/tests/tools/session_lib.sh"
make_program_folder

# Hosts the session of a scenario file and joins the station to it. Sets host_pid and station_pid;
# the logs are NAME-host.out/.err (the pilots' lines included) and NAME-station.out/.err.
start_session() {
  local name=$1 session=$2 password=$3
  local enum first
  enum=$(free_ports 1) || exit 1
  enum_port=$enum
  first=$(free_ports 40) || exit 1
  # --id-key 0: ids count up, so the station, the first to join, is the oldest machine after the host and
  # takes over when the host leaves.
  "$sim" host --network "$work/$name.txt" --enum-port "$enum" --ports "$first-$((first + 39))" --id-key 0 \
    --rejoin-host "127.0.0.1:$enum" --ping-interval 1000 --wait-station 30 >"$work/$name-host.out" 2>"$work/$name-host.err" &
  host_pid=$!
  pids+=("$host_pid")
  wait_for "$work/$name-host.out" "* session up on port $enum" 20

  # Loopback must carry TCP to the host's stream port, or nothing here can work.
  local stream
  stream=$(grep -o 'stream port [0-9]*' "$work/$name-host.out" | head -1 | awk '{print $3}')
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$stream") 2>/dev/null; then
    echo "SKIP: the loopback interface cannot carry a TCP connection to 127.0.0.1:$stream"
    exit 77
  fi

  local pw=()
  [[ -n "$password" ]] && pw=(--password "$password")
  "$station" --app "$work/app" --control KOLM --host "127.0.0.1:$enum" --session "$session" "${pw[@]}" \
    --ports "$first-$((first + 39))" --monitor --ping-interval 1000 --enum-timeout 1000 --verbose \
    >"$work/$name-station.out" 2>"$work/$name-station.err" &
  station_pid=$!
  pids+=("$station_pid")
  wait_for "$work/$name-station.out" "Connected to FS Session!" 30
  wait_for "$work/$name-host.out" "t = 0: the scenario starts" 30
}

# Every chat line the station sent to a pilot ("NAME <- TEXT") is a line that pilot received from it
# ("NAME hears CALLSIGN: TEXT"), word for word.
check_lines_delivered() {
  local name=$1 pilot=$2 line text n=0
  while IFS= read -r line; do
    text=${line#"$pilot <- "}
    grep -qxF -- "$pilot hears AI_Controller: $text" <(sed -E 's/^\[ *[0-9]+\.[0-9]\] //' "$work/$name-host.out") ||
      fail "$pilot did not receive the station's line: $text"
    ((n++))
  done < <(sed -E 's/^\[ *[0-9]+\.[0-9]\] //' "$work/$name-station.out" | grep -F -- "$pilot <- ")
  ((n > 0)) || fail "the station sent $pilot nothing"
}

session_suffix="$$-$RANDOM"

# ---------------------------------------------------------------------------------------------------
# A session with a password: three pilots near Olympia; N3 leaves; the host leaves; N4 joins after.
session="Skyvox network test $session_suffix"
cat >"$work/one.txt" <<EOF
control KOLM
session $session
password kilo echo
at 1 join N1
at 1 pos N1 46.969837 -122.906598 209 90 0
at 4 join N2
at 4 pos N2 46.976121 -122.902116 209 186 0
at 7 join N3
at 7 pos N3 47.10 -122.90 2500 180 100
at 10 say N1 1
at 12 say N3 1
at 14 leave N3
at 17 hostleave
at 20 join N4
at 20 pos N4 46.970 -122.905 209 0 0
run 27
EOF
start_session one "$session" "kilo echo"
out="$work/one-host.out"
st="$work/one-station.out"
grep -qF "[input box] Skyvox v2.0: This session requires a password. Enter the password. (answered)" "$st" ||
  fail "the station was not asked for the password"

for p in N1 N2 N3; do wait_for "$out" "* $p is admitted and announces itself" 30; done
# Positions: on the ground at Olympia the menu offers its ground frequency; N3, in the air north of
# it, is offered the approach instead.
wait_for "$st" "N1 <- N1,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6" 10
wait_for "$st" "N2 <- N2,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6" 10
wait_for "$st" "N3 <- N3,  Choose an option: 1-Select a controlled airport 2-Tune SEATTLE APPROACH" 10
# N1 picks option 1 and the station answers with the ground controller's menu; the others hear N1 type.
wait_for "$out" "* N1 says: 1" 30
# With --verbose the station prints the lines it receives too.
wait_for "$st" "N1 -> 1" 10
wait_for "$st" "N1 <- N1,  Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Request Taxi for Takeoff" 10
wait_for "$out" "N2 hears N1: 1" 10
wait_for "$st" "N3 <- N3,  Choose an option: 1-KOLM (OLYMPIA) 2-Back" 30

wait_for "$out" "* N3 has left the session" 30
addressed_n3=$(grep -cF "N3 <- " "$st")

# Once it hosts, the station answers searches on the port it found the session on, where N4 looks.
wait_for "$out" "* HOST leaves the session" 30
wait_for "$st" "[message box, information] Skyvox v2.0: The original host had left the session, Skyvox is now hosting the session." 10
# N4 finds the session at the station now and is admitted by it.
wait_for "$out" "* N4 is admitted and announces itself" 30
wait_for "$st" "N4 <- N4,  Choose an option: 1-Tune OLYMPIA GROUND Ground on 121.6" 10
wait_for "$out" "* the run ends" 30
wait_exit "$host_pid" "the host" 15

((addressed_n3 == $(grep -cF "N3 <- " "$st"))) || fail "the station still addressed N3 after it left"
grep -qE "closes multiplayer session" "$st" && fail "the station lost its session"
for line in "* N1 joined the session (player)" "* N3 left the session" "* N4 joined the session (player)" \
  "* the host left the session; the station now hosts it" \
  "* the station took over the session as its host: pilots can join this station's session at 127.0.0.1:$enum_port"; do
  grep -qxF -- "$line" "$st" || fail "the station did not say: $line"
done
# The user closes the station: exit code 0.
kill -INT "$station_pid"
wait_exit "$station_pid" "the station after Ctrl-C" 15
wait "$station_pid"
rc=$?
((rc == 0)) || fail "the station closed by Ctrl-C exited with $rc"
grep -qxF "* station closed" "$st" || fail "the station did not say it closed"
for p in N1 N2 N3 N4; do check_lines_delivered one "$p"; done
grep -qF "the process of" "$out" && fail "a pilot's process failed"

# ---------------------------------------------------------------------------------------------------
# A session without a password: no prompt, the join and the service as before.
session="Skyvox open network test $session_suffix"
cat >"$work/two.txt" <<EOF
control KOLM
session $session
at 1 join N7
at 1 pos N7 46.969837 -122.906598 209 90 0
at 3.5 say N7 1
run 6
EOF
start_session two "$session" ""
out="$work/two-host.out"
st="$work/two-station.out"
grep -qF "[input box] Skyvox v2.0: This session requires a password" "$st" && fail "a password was asked for"
wait_for "$out" "* N7 is admitted and announces itself" 30
wait_for "$st" "N7 <- N7,  Choose an option for OLYMPIA GROUND Ground on 121.6: 1-Request Taxi for Takeoff" 30
wait_for "$out" "* the run ends" 30
wait_exit "$host_pid" "the host" 15
check_lines_delivered two N7
grep -qF "the process of" "$out" && fail "a pilot's process failed"
# The host ended the session with nobody left in it: the station's session is lost, exit code 3.
wait_exit "$station_pid" "the station after its session ended" 15
wait "$station_pid"
rc=$?
((rc == 3)) || fail "the station whose session ended exited with $rc"
grep -qxF "* session lost" "$st" || fail "the station did not say its session was lost"

# ---------------------------------------------------------------------------------------------------
# Ctrl-C while a search waits for a host that does not answer: the search ends at once, with its cause.
silent=$(free_ports 1) || exit 1
"$station" --app "$work/app" --control KOLM --host "127.0.0.1:$silent" --enum-timeout 60000 \
  >"$work/three-station.out" 2>"$work/three-station.err" &
station_pid=$!
pids+=("$station_pid")
wait_for "$work/three-station.out" "* searching for sessions" 30
sleep 0.5
kill -INT "$station_pid"
wait_exit "$station_pid" "the station after Ctrl-C during the search" 5
wait "$station_pid"
rc=$?
((rc == 0)) || fail "the station interrupted while searching exited with $rc"
grep -qxF "[cause] the user cancelled the session search" "$work/three-station.out" ||
  fail "the interrupted search did not say why it ended"

echo "network session: all checks passed"
