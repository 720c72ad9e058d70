#!/usr/bin/env bash
# Only the session's host removes the station. Three network namespaces: a simulated host with its
# pilot, the station linked to it, and a stranger linked to the station on an address of its own that
# sends it, over one TCP connection and as UDP datagrams, the messages that would end its session:
# YOUAREDEAD, the deletion of its system player and of its player, a claim to be the name server, a new
# session description. The station ignores and logs each (--verbose) and keeps serving its pilot; the
# host's own removal still ends its session. Needs root and `ip netns`; skips (exit 77) otherwise.
#   stranger_messages_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"
source="$2"
[[ $(id -u) == 0 ]] || { echo "SKIP: network namespaces need root"; exit 77; }
command -v ip >/dev/null || { echo "SKIP: the ip command (iproute2) is missing"; exit 77; }
hostns="sxh$$" stationns="sxs$$" strangerns="sxx$$" net=$((10 + RANDOM % 200))
extra_cleanup='for ns in "$hostns" "$stationns" "$strangerns"; do ip netns del "$ns" 2>/dev/null; done'
source "$source/tests/tools/session_lib.sh"

# The station's namespace links to the host's (10.N.1.0/24) and to the stranger's (10.N.2.0/24).
for ns in "$hostns" "$stationns" "$strangerns"; do
  ip netns add "$ns" 2>/dev/null && ip -n "$ns" link set lo up || skip "cannot create network namespaces here"
done
for n in 1 2; do
  other=$([[ $n == 1 ]] && echo "$hostns" || echo "$strangerns")
  ip link add "sxa$n$$" netns "$other" type veth peer name "sxb$n$$" netns "$stationns" || skip "cannot create a veth pair"
  ip -n "$other" addr add "10.$net.$n.1/24" dev "sxa$n$$" && ip -n "$other" link set "sxa$n$$" up
  ip -n "$stationns" addr add "10.$net.$n.2/24" dev "sxb$n$$" && ip -n "$stationns" link set "sxb$n$$" up
done

make_program_folder
printf '%s\n' "control KOLM" "session Stranger Session" "join N1" "at 0 pos N1 46.969837 -122.906598 209 90 0" \
  "at 8 say N1 1" "at 12 hostremove" "run 20" >"$work/scenario.txt"
# --id-key 0: ids count up from the host's system player (0x10000); the station's player comes right
# after its system player.
ip netns exec "$hostns" "$sim" host --network "$work/scenario.txt" --id-key 0 --wait-station 30 \
  >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
wait_for "$work/host.out" "* session up on port 47624" 20
ip netns exec "$stationns" "$station" --app "$work/app" --control KOLM --host "10.$net.1.1" --monitor \
  --enum-timeout 1000 --verbose >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=("$station_pid")
wait_for "$work/host.out" "t = 0: the scenario starts" 30

read -r tcp udp < <(sed -n 's/.*listening on TCP port \([0-9]*\) and UDP port \([0-9]*\).*/\1 \2/p' "$work/station.err")
machine=$(grep -o "machine 0x[0-9A-F]* joins from 10.$net.1.2" "$work/host.out" | head -1 | cut -d' ' -f2)
[[ -n "$tcp" && -n "$udp" && -n "$machine" ]] || fail "the station's ports or id are not in the logs"
player=$((machine + 0x10001))
# A message as printf escapes: the header (size, token 0xFAB, sender 0.0.0.0:2300), "play", the
# command, version 11, then the body (after IDTo: a player id, then a group id or flags).
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
message() {
  local body
  body=$(printf '%s' "$(le32 0)" "$(le32 "${2:-0}")" "$(le32 "${3:-0}")" "$(le32 0)" "$(le32 0)")
  [[ $1 == 0x18 ]] && body=""
  [[ $1 == 0x1A ]] && body=$(printf '%s' "$(le32 0)"{,,} "$(le32 80)"; for _ in $(seq 19); do le32 0; done)
  le32 $((0xFAB00000 | (28 + ${#body} / 4)))
  printf '\\x02\\x00\\x08\\xfc%s' "$(le32 0)$(le32 0)$(le32 0)play$(le32 $(($1 | 11 << 16)))$body"
}
messages=("$(message 0x18)" "$(message 0x0B "$machine")" "$(message 0x0B "$player")" "$(message 0x35 0x10000 7)"
  "$(message 0x1A)")
ip netns exec "$strangerns" bash -c 'exec 3<>"/dev/tcp/$1/$2" && shift 2 && for m; do printf "$m" >&3; done; sleep 1' \
  - "10.$net.2.2" "$tcp" "${messages[@]}" || fail "the stranger could not reach the station over TCP"
ip netns exec "$strangerns" bash -c 'a=$1 p=$2 && shift 2 && for m; do printf "$m" >"/dev/udp/$a/$p"; done' \
  - "10.$net.2.2" "$udp" "${messages[@]}" || fail "the stranger could not send datagrams"

ignored="* net: ignored"
for what in YOUAREDEAD "DELETEPLAYER $machine" "DELETEPLAYER $(printf 0x%08X $player)" "IAMNAMESERVER for 0x00010000" \
  SESSIONDESCCHANGED; do
  wait_for "$work/station.err" "$ignored $what from 10.$net.2.1: not an address of machine" 10
  wait_for "$work/station.err" "$ignored $what from 10.$net.2.1 over UDP: it counts only over TCP" 10
done
wait_for "$work/station.out" "N1 <- N1,  Choose an option for OLYMPIA GROUND" 30
grep -q "closes multiplayer session" "$work/station.out" && fail "a stranger ended the station's session"
wait_for "$work/station.out" "The host had removed you from the multiplayer session" 30
wait_exit "$station_pid" "the station" 15
echo "ok: the station ignored a stranger's removal, deletions and claims, and left when its host removed it"
