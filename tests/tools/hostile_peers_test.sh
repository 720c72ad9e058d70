#!/usr/bin/env bash
# Hostile participants over the real network provider, one case per run. Three network namespaces on
# one bridge: the session's host (skyvox-sim, with the honest pilot N1 as its child) at .1, the station
# (skyvox-station) at .2, and skyvox-hostile-peer at .3, which misbehaves in the way CASE names:
#   garbage      truncated, oversized and garbage DirectPlay messages over TCP and UDP
#   flood        chat at 1,000 lines a second
#   impostor     a machine announcing itself under N1's name and id, and sending as N1
#   connections  a thousand TCP connections to the station (and the host) that never speak
#   enumeration  garbage and decoy answers to the station's session search
#   nameserver   a machine claiming to be the name server and giving its orders
#   fatal        the malformed messages after which the design ends the station's session
# In every case but the last, N1 asks for the list of airports every second throughout and the station
# must answer each request within a generous bound (the delays are printed), the station's memory must
# stay bounded (its peak is printed), the host must still admit a pilot afterwards, and the station
# must still close cleanly on SIGTERM. In the last, each input must end the station's session with the
# design's message and exit code 3.
# Needs root and `ip netns`; skips (exit 77) otherwise. KEEP=DIR keeps the scratch folder there.
#   hostile_peers_test.sh BUILD_DIR SOURCE_DIR HOSTILE_PEER CASE
set -uo pipefail
build="$1"
source="$2"
hostile="$3"
case="$4"
[[ $(id -u) == 0 ]] || { echo "SKIP: network namespaces need root"; exit 77; }
command -v ip >/dev/null || { echo "SKIP: the ip command (iproute2) is missing"; exit 77; }
hostns="hph$$" stationns="hps$$" hostilens="hpx$$" net="10.$((10 + RANDOM % 200)).$((RANDOM % 250))"
extra_cleanup='for ns in "$hostns" "$stationns" "$hostilens"; do ip netns del "$ns" 2>/dev/null; done
  [[ -n "${KEEP:-}" ]] && cp -r "$work" "$KEEP"'
source "$source/tests/tools/session_lib.sh"

# A bridge in the host's namespace; the station and the hostile machine hang off it.
for ns in "$hostns" "$stationns" "$hostilens"; do
  ip netns add "$ns" 2>/dev/null && ip -n "$ns" link set lo up || skip "cannot create network namespaces here"
done
ip -n "$hostns" link add br0 type bridge && ip -n "$hostns" link set br0 up &&
  ip -n "$hostns" addr add "$net.1/24" dev br0 || skip "cannot create a bridge"
n=2
for ns in "$stationns" "$hostilens"; do
  ip link add "hpv$n$$" netns "$hostns" type veth peer name eth0 netns "$ns" ||
    skip "cannot create a veth pair"
  ip -n "$hostns" link set "hpv$n$$" master br0 up
  ip -n "$ns" addr add "$net.$n/24" dev eth0 && ip -n "$ns" link set eth0 up
  ip -n "$ns" route add default dev eth0  # the limited broadcast of a session search leaves by it
  ((n++))
done
make_program_folder

# Each line the host's side prints, after the time it was read (seconds since the epoch, to the µs).
stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }

# Hosts the session: N1 on the ground at Olympia asks for its ground menu at 3 s, then for the airport
# list every second from 4 s to LAST s, and for taxi at LAST + 1 s. N2 joins at $n2_at s (12 s by
# default, after the hostile machine: one that went silent holds the host's admission of a new one for
# up to 15 s while the host waits for its word).
start_host() {
  local last=$1
  {
    printf '%s\n' "control KOLM" "session Hostile Test" "join N1" \
      "at 0 pos N1 46.969837 -122.906598 209 90 0" "at 3 say N1 1"
    for ((t = 4; t <= last; t++)); do echo "at $t say N1 airpts:"; done
    printf '%s\n' "at $((last + 1)) say N1 1" "at ${n2_at:=12} join N2" \
      "at $n2_at pos N2 46.97 -122.905 209 0 0" "run $((last > 38 ? last + 2 : 40))"
  } >"$work/scenario.txt"
  # --id-key 0: ids count up from the host's, so the honest machines are the oldest.
  ip netns exec "$hostns" "$sim" host --network "$work/scenario.txt" --id-key 0 --wait-station 30 \
    --ping-interval 2000 > >(stamp >"$work/host.out") 2>"$work/host.err" &
  host_pid=$!
  pids+=("$host_pid")
  wait_for "$work/host.out" "* session up on port 47624" 20
}
# The station joins from its namespace; more options after (the default searches the host's address).
start_station() {
  local search=(--host "$net.1")
  [[ ${1:-} == --broadcast ]] && { search=(); shift; }
  (ulimit -n "${station_files:-1024}" &&
    exec ip netns exec "$stationns" "$station" --app "$work/app" --control KOLM "${search[@]}" \
      --session "Hostile Test" --monitor --ping-interval 2000 --enum-timeout 1000 --verbose "$@") \
    >"$work/station.out" 2>"$work/station.err" &
  station_pid=$!
  pids+=("$station_pid")
}
hostile_run() {
  ip netns exec "$hostilens" "$hostile" "$@" --host "$net.1" >"$work/hostile.out" 2>"$work/hostile.err"
}
kb() { awk -v f="$2" '$1 == f":" {print $2}' "/proc/$1/status" 2>/dev/null; }

# Samples the station's resident memory and open descriptors every 0.1 s while it runs.
sample_station() {
  while kill -0 "$station_pid" 2>/dev/null; do
    echo "$(kb "$station_pid" VmRSS) $(ls "/proc/$station_pid/fd" 2>/dev/null | wc -l)" >>"$work/samples"
    sleep 0.1
  done
}

# The common checks once the hostile machine is done: N1 was answered every time within the bound,
# the station's memory stayed bounded, the host still admits a pilot, and SIGTERM closes the station.
check_service() {
  local before=$1 bound_kb=$2 delays peak fds
  wait_for "$work/host.out" "* N2 is admitted and announces itself" 30
  # N1's last request, after the airport lists: taxi for takeoff, from the ground menu it was given.
  wait_for "$work/host.out" "N1 hears AI_Controller: N1, taxi to and hold short on runway" 30
  peak=$(kb "$station_pid" VmHWM)
  fds=$(sort -k2 -n "$work/samples" | tail -1 | cut -d' ' -f2)
  # Each "airpts:" N1 says and the answer it hears for it, in order.
  delays=$(awk '/\* N1 says: airpts:/ { asked[n++] = $1; next }
      /N1 hears AI_Controller: N1, List of controlled airports: KOLM \(OLYMPIA\), / && got < n {
        d = ($1 - asked[got++]) * 1000; sum += d; if (d > max) max = d }
      END { printf "%d %d %d %.0f %.0f\n", n, got, n - got, (got ? sum / got : 0), max }' "$work/host.out")
  read -r asked answered missed mean max <<<"$delays"
  echo "figures ($case): N1 asked $asked times, answered $answered;" \
    "delay mean $mean ms, max $max ms (bound 2000 ms)"
  echo "figures ($case): station memory $((before / 1024)) MiB before, peak $((peak / 1024)) MiB" \
    "(VmHWM; bound +$((bound_kb / 1024)) MiB); at most $fds open descriptors"
  echo "figures ($case): host memory peak $(($(kb "$host_pid" VmHWM) / 1024)) MiB (VmHWM)"
  grep -q "N1 loses the session" "$work/host.out" && fail "N1 lost its session"
  ((asked >= 10 && missed == 0)) || fail "N1 was not answered every time ($answered of $asked)"
  ((max <= 2000)) || fail "N1 waited $max ms for an answer"
  ((peak - before <= bound_kb)) || fail "the station's memory grew by $(((peak - before) / 1024)) MiB"
  grep -q "closes multiplayer session" "$work/station.out" && fail "the station's session ended"
  kill -TERM "$station_pid"
  wait_exit "$station_pid" "the station after SIGTERM" 15
  wait "$station_pid"
  local code=$?
  ((code == 0)) || fail "the station ended with exit code $code after SIGTERM"
  grep -qF "* station closed" "$work/station.out" || fail "the station did not close"
}

# Hosts, joins the station, lets the hostile machine do its part in the middle of N1's requests and
# checks the service.
run_case() {
  local bound_kb=$1
  shift
  start_host 16
  start_station
  wait_for "$work/host.out" "t = 0: the scenario starts" 30
  wait_for "$work/station.out" "N1 <- " 20
  sample_station &
  local before
  before=$(kb "$station_pid" VmRSS)
  hostile_run "$@" || fail "the hostile machine failed: $(cat "$work/hostile.err")"
  hostile_end=$EPOCHREALTIME
  cat "$work/hostile.out"
  check_service "$before" "$bound_kb"
}

case "$case" in
  garbage)
    run_case $((40 * 1024)) garbage --seconds 10 --rate 300
    grep -q "dropped a message" "$work/station.err" || fail "the station saw no garbage"
    grep -q "closed a TCP connection with $net.3:0: out of step" "$work/station.err" ||
      fail "the station did not close a connection that went out of step"
    ;;
  flood)
    run_case $((32 * 1024)) flood --seconds 10 --rate 1000
    sent=$(sed -n 's/.* with \([0-9]*\) chat lines .*/\1/p' "$work/hostile.out")
    ((sent >= 9000)) || fail "the flood sent only $sent lines"
    # One line of the flood in 13 asks for the airports: the station read them all and answered each.
    answered=$(grep -c "INTRUDER <- INTRUDER, List of controlled airports" "$work/station.out")
    echo "figures ($case): the station answered $answered of the flood's $((sent / 13)) requests"
    ((answered >= sent / 13)) || fail "the station answered only $answered of the flood's requests"
    ;;
  impostor)
    run_case $((32 * 1024)) impostor --victim N1 --seconds 10
    (($(grep -c '\* N1 joined the session (player)' "$work/station.out") == 2)) ||
      fail "the impostor was not a second roster entry named N1"
    grep -q "ignored a message from player .* from $net.3: not an address of machine" "$work/station.err" ||
      fail "the station did not ignore the messages sent as N1's player"
    # N1 heard only its own dialogue: after its ground menu, the airport lists it asked for and the
    # ground controller's lines, none for a reset or a position far out at sea.
    sed -n '/N1 hears AI_Controller: N1,  Choose an option for OLYMPIA GROUND/,$p' "$work/host.out" |
      grep -F "N1 hears" | grep -vF -e "List of controlled airports" -e "an option for OLYMPIA GROUND" &&
      fail "N1 heard lines of a dialogue it did not have"
    ;;
  connections)
    sources=()
    for i in $(seq 100 115); do
      ip -n "$hostilens" addr add "$net.$i/24" dev eth0 && sources+=(--source "$net.$i")
    done
    # More connections than the station may open descriptors; N2 joins while they are held.
    station_files=1000 n2_at=5 run_case $((32 * 1024)) connections --count 1000 --seconds 10 "${sources[@]}"
    heard=$(grep -m1 "N2 hears AI_Controller: " "$work/host.out" | cut -d' ' -f1)
    [[ -n "$heard" ]] && (($(echo "$heard < $hostile_end" | bc))) ||
      fail "N2 was not served while the connections were held"
    ;;
  enumeration)
    start_host 16
    ip netns exec "$hostilens" "$hostile" enumeration --host "$net.1" --seconds 20 >"$work/hostile.out" \
      2>"$work/hostile.err" &
    hostile_pid=$!
    pids+=("$hostile_pid")
    wait_for "$work/hostile.out" "answering searches" 10
    start_station --broadcast
    sample_station &
    wait_for "$work/station.out" "N1 <- " 30
    wait_exit "$hostile_pid" "the hostile machine" 30
    cat "$work/hostile.out"
    grep -q "answered [1-9][0-9]* searches from $net.2:" "$work/hostile.out" ||
      fail "no search of the station was answered"
    listed=$(grep -c '^\* session found: ' "$work/station.out")
    echo "figures ($case): the station listed $listed sessions"
    ((listed <= 17)) || fail "one address had more than its share of the session list"
    grep -qF "* station open in session Hostile Test" "$work/station.out" ||
      fail "the station did not join the session"
    check_service "$(kb "$station_pid" VmRSS)" $((32 * 1024))
    ;;
  nameserver)
    run_case $((32 * 1024)) nameserver --seconds 10
    grep -q "ignored IAMNAMESERVER for .* from $net.3: machine .* is the name server and still answers" \
      "$work/station.err" || fail "the station did not ignore the claim"
    grep -q "ignored YOUAREDEAD from $net.3: not an address of machine" "$work/station.err" ||
      fail "the station did not ignore the claimant's orders"
    ;;
  fatal)
    start_host 60
    inputs=(removed short announcement-short chat-short description-short position-short position-speed-short
      farewell)
    : >"$work/go"
    ip netns exec "$hostilens" "$hostile" fatal --host "$net.1" "${inputs[@]/#/--input=}" \
      --go-file "$work/go" >"$work/hostile.out" 2>"$work/hostile.err" &
    pids+=("$!")
    removed="[message box, information] Skyvox v2.0: The host had removed you from the multiplayer session,"
    removed+=" Skyvox closes multiplayer session."
    for input in "${inputs[@]}"; do
      start_station
      # Until its window opens the station drops what it receives: the input waits for the word.
      wait_for "$work/station.out" "* station open in session" 60
      echo "$input" >>"$work/go"
      wait_for "$work/hostile.out" "sent $input to" 30
      wait_exit "$station_pid" "the station after $input" 10
      wait "$station_pid"
      code=$?
      mv "$work/station.out" "$work/station-$input.out"
      ((code == 3)) || fail "the station ended with exit code $code after $input"
      grep -qxF "$removed" "$work/station-$input.out" ||
        fail "$input did not end the session with the design's message"
      echo "figures ($case): $input ends the station's session: \"${removed#*: }\", exit code 3"
    done
    for input in description-short position-short position-speed-short; do
      grep -qF "still there after $input from a sender not in the roster" "$work/hostile.out" ||
        fail "$input from a sender not in the roster ended the session"
    done
    ;;
  *) fail "no case $case" ;;
esac
echo "ok: $case"
