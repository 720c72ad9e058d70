#!/usr/bin/env bash
# Only the session's host removes the station. Three network namespaces routed through the host's: a
# simulated host with its pilot, the station, and a stranger on an address of its own that sends the
# station, over TCP and as UDP datagrams, the messages that would end its session (YOUAREDEAD, the
# deletion of its system player and of its player, a claim to be the name server, a new session
# description). The station ignores and logs each (--verbose) and keeps serving its pilot; then the
# host's own removal still ends the station's session. Needs root and `ip netns`; skips (exit 77)
# otherwise.
#   stranger_messages_test.sh BUILD_DIR SOURCE_DIR STRANGER_PROGRAM
set -uo pipefail
build="$1"
source="$2"
stranger="$3"
[[ $(id -u) == 0 ]] || { echo "SKIP: network namespaces need root"; exit 77; }
command -v ip >/dev/null || { echo "SKIP: the ip command (iproute2) is missing"; exit 77; }
suffix="$$"
hostns="sxh$suffix"
stationns="sxs$suffix"
strangerns="sxx$suffix"
extra_cleanup='for ns in "$hostns" "$stationns" "$strangerns"; do ip netns del "$ns" 2>/dev/null; done'
source "$source/tests/tools/session_lib.sh"

for ns in "$hostns" "$stationns" "$strangerns"; do
  ip netns add "$ns" 2>/dev/null || skip "cannot create network namespaces here"
  ip -n "$ns" link set lo up
done
net=$((10 + RANDOM % 200))
# The host's namespace routes between the station's link (10.N.1.0/24) and the stranger's (10.N.2.0/24).
link() {
  local ns=$1 side=$2 n=$3
  ip link add "$side$suffix" type veth peer name "${side}h$suffix" || skip "cannot create a veth pair"
  ip link set "$side$suffix" netns "$ns"
  ip link set "${side}h$suffix" netns "$hostns"
  ip -n "$hostns" addr add "10.$net.$n.1/24" dev "${side}h$suffix"
  ip -n "$ns" addr add "10.$net.$n.2/24" dev "$side$suffix"
  ip -n "$hostns" link set "${side}h$suffix" up
  ip -n "$ns" link set "$side$suffix" up
  ip -n "$ns" route add default via "10.$net.$n.1"
}
link "$stationns" xs 1
link "$strangerns" xx 2
ip netns exec "$hostns" sysctl -qw net.ipv4.ip_forward=1 || skip "cannot route between namespaces"
hostip="10.$net.1.1"
strangerip="10.$net.2.2"

make_program_folder
cat >"$work/scenario.txt" <<EOF
control KOLM
session Stranger Session
join N1
at 0 pos N1 46.969837 -122.906598 209 90 0
at 8 say N1 1
at 12 hostremove
run 20
EOF

# --id-key 0: ids count up from the host's system player (0x10000); the station's player follows its
# system player.
ip netns exec "$hostns" "$sim" host --network "$work/scenario.txt" --id-key 0 --wait-station 30 \
  >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
appears "$work/host.out" "* session up on port 47624" 20 || fail "the host did not start"
ip netns exec "$stationns" "$station" --app "$work/app" --control KOLM --host "$hostip" --monitor \
  --enum-timeout 1000 --verbose >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=("$station_pid")
wait_for "$work/station.out" "* station open in session Stranger Session" 30
wait_for "$work/host.out" "t = 0: the scenario starts" 30

ports=$(grep -o 'listening on TCP port [0-9]* and UDP port [0-9]*' "$work/station.err" | head -1)
tcp_port=$(awk '{print $5}' <<<"$ports")
udp_port=$(awk '{print $9}' <<<"$ports")
machine=$(grep -o "machine 0x[0-9A-F]* joins from 10.$net.1.2" "$work/host.out" | head -1 | awk '{print $2}')
[[ -n "$tcp_port" && -n "$udp_port" && -n "$machine" ]] || fail "the station's ports or id are not in the logs"
player=$(printf '0x%08X' $((machine + 0x10001)))
messages=(youaredead "deleteplayer:$machine" "deleteplayer:$player" iamnameserver:0x10000 sessiondesc)
stationip="10.$net.1.2"
ip netns exec "$strangerns" "$stranger" tcp "$stationip" "$tcp_port" "${messages[@]}" >/dev/null 2>"$work/stranger.err" ||
  fail "the stranger could not reach the station over TCP"
ip netns exec "$strangerns" "$stranger" udp "$stationip" "$udp_port" "${messages[@]}" >/dev/null 2>>"$work/stranger.err" ||
  fail "the stranger could not send datagrams"

for what in YOUAREDEAD "DELETEPLAYER $machine" "DELETEPLAYER $player" "IAMNAMESERVER for 0x00010000" SESSIONDESCCHANGED; do
  wait_for "$work/station.err" "* net: ignored $what from $strangerip: not an address of machine" 10
  wait_for "$work/station.err" "* net: ignored $what from $strangerip over UDP: it counts only over TCP" 10
done
# Still in the session: the station answers its pilot.
wait_for "$work/station.out" "N1 <- N1,  Choose an option for OLYMPIA GROUND" 30
grep -q "closes multiplayer session" "$work/station.out" && fail "a stranger ended the station's session"
# The host's own removal ends it.
wait_for "$work/host.out" "removes AI_Controller from the session" 30
wait_for "$work/station.out" "The host had removed you from the multiplayer session" 15
wait_exit "$station_pid" "the station" 15
echo "ok: the station ignored a stranger's removal, deletions and claims, and left when its host removed it"
exit 0
