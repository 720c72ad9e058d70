#!/usr/bin/env bash
# The station finds a session by broadcast on its local network, as on a LAN: two network namespaces
# joined by a virtual Ethernet pair, a simulated host and its pilot in one, the station in the other
# with no host address. The pilot joined its host through 127.0.0.1, so the station also has to reach
# a machine whose address the host only knew as its own loopback address. Needs root and `ip netns`;
# skips (exit 77) otherwise.
#   broadcast_search_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"
source="$2"
[[ $(id -u) == 0 ]] || { echo "SKIP: network namespaces need root"; exit 77; }
command -v ip >/dev/null || { echo "SKIP: the ip command (iproute2) is missing"; exit 77; }
suffix="$$"
hostns="svh$suffix"
stationns="svs$suffix"
extra_cleanup='ip netns del "$hostns" 2>/dev/null; ip netns del "$stationns" 2>/dev/null'
source "$source/tests/tools/session_lib.sh"

ip netns add "$hostns" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$stationns" || skip "cannot create network namespaces here"
net=$((10 + RANDOM % 200))
ip link add "vh$suffix" type veth peer name "vs$suffix" || skip "cannot create a veth pair"
ip link set "vh$suffix" netns "$hostns"
ip link set "vs$suffix" netns "$stationns"
ip -n "$hostns" addr add "10.$net.0.1/24" dev "vh$suffix"
ip -n "$stationns" addr add "10.$net.0.2/24" dev "vs$suffix"
for ns in "$hostns" "$stationns"; do ip -n "$ns" link set lo up; done
ip -n "$hostns" link set "vh$suffix" up
ip -n "$stationns" link set "vs$suffix" up
# The limited broadcast (255.255.255.255) leaves by the default route.
ip -n "$stationns" route add default dev "vs$suffix"

make_program_folder
cat >"$work/scenario.txt" <<EOF
control KOLM
session LAN Session
join N1
at 0 pos N1 46.969837 -122.906598 209 90 0
at 3 say N1 1
run 12
EOF

# Each namespace has its own ports: the standard ones serve.
ip netns exec "$hostns" "$sim" host --network "$work/scenario.txt" --wait-station 30 >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
appears "$work/host.out" "* session up on port 47624" 20 || fail "the host did not start"
ip netns exec "$stationns" "$station" --app "$work/app" --control KOLM --monitor --enum-timeout 1000 --verbose \
  >"$work/station.out" 2>"$work/station.err" &
pids+=($!)
appears "$work/station.out" '(answered "")' 10 || fail "the station did not search the local network"
appears "$work/station.out" "* session found: LAN Session (1/16)" 15 || fail "the broadcast search found nothing"
appears "$work/station.out" "* station open in session LAN Session" 20 || fail "the station did not join"
# The pilot's choice reaches the station, and the station's answer reaches the pilot directly.
appears "$work/station.out" "N1 <- N1,  Choose an option for OLYMPIA GROUND" 20 || fail "the station did not answer N1"
appears "$work/host.out" "N1 hears AI_Controller: N1,  Choose an option for OLYMPIA GROUND" 10 || fail "the station's line did not reach N1"
grep -q "10.$net.0.1" "$work/station.err" || fail "the host's machine was not reached on its LAN address"
echo "ok: the station found the session by broadcast and talked to a pilot on the host's machine"
exit 0
