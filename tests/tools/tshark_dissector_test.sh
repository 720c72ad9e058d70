#!/usr/bin/env bash
# An independent check of our DirectPlay 4 bytes: the station joins a simulated host's session on the
# loopback interface while tshark captures, and Wireshark's own DirectPlay dissector must decode the
# enumeration, the join, the name table, player creation, the group and keep-alive with the values we
# expect. Skips (exit 77) with a clear message where tshark is missing or capturing is not permitted.
#   tshark_dissector_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"
source="$2"
command -v tshark >/dev/null || { echo "SKIP: tshark is not installed (apt-get install tshark)"; exit 77; }
source "$source/tests/tools/session_lib.sh"
[[ -n "${KEEP_CAPTURE:-}" ]] && extra_cleanup='cp "$work/join.pcapng" "$KEEP_CAPTURE"'

# Can we capture at all? (Needs root or the capture capabilities.)
timeout 5 tshark -i lo -a duration:1 -w "$work/probe.pcapng" >/dev/null 2>"$work/probe.err" ||
  skip "capturing on the loopback interface is not permitted here: $(tail -n 1 "$work/probe.err")"

make_program_folder

# Ports of our own so that parallel runs do not meet.
base=$((30000 + (RANDOM % 300) * 100))
enum=$((base + 99))
cat >"$work/scenario.txt" <<EOF
control KOLM
session Capture Test
password secret
join N1
at 0 pos N1 46.969837 -122.906598 209 90 0
at 2 say N1 hello
run 8
EOF

tshark -i lo -f "udp port $enum or tcp portrange $base-$((base + 98)) or udp portrange $base-$((base + 98))" \
  -w "$work/join.pcapng" >"$work/tshark.out" 2>"$work/tshark.err" &
pids+=($!)
appears "$work/tshark.err" "Capturing on" 10 || skip "tshark did not start capturing: $(cat "$work/tshark.err")"

"$sim" host --network "$work/scenario.txt" --enum-port "$enum" --ports "$base-$((base + 49))" --id-key 0 \
  --ping-interval 300 --wait-station 30 >"$work/host.out" 2>"$work/host.err" &
pids+=($!)
wait_for "$work/host.out" "session up" 15

"$station" --app "$work/app" --control KOLM --host "127.0.0.1:$enum" --password secret --ping-interval 300 \
  --enum-timeout 500 --ports "$((base + 50))-$((base + 98))" >"$work/station.out" 2>"$work/station.err" &
spid=$!
pids+=($spid)
wait_for "$work/station.out" "station open" 30
sleep 2  # pilots join, chat flows, and quiet machines ping each other
kill -TERM "$spid"
wait_for "$work/station.out" "station closed" 10
sleep 1
kill "${pids[0]}" 2>/dev/null  # tshark writes its file on SIGTERM
wait "${pids[0]}" 2>/dev/null

decode() {
  tshark -r "$work/join.pcapng" -o tcp.try_heuristic_first:TRUE -o udp.try_heuristic_first:TRUE -Y dplay \
    -T fields -E separator='|' "$@" 2>/dev/null
}
decode -e dplay.command >"$work/commands.out"
for command in 0x0002 0x0001 0x0005 0x0007 0x0013 0x0029 0x0008 0x000d 0x0016 0x0017 0x000b; do
  grep -qx "$command" "$work/commands.out" || fail "no DirectPlay command $command decoded"
done

# Field values: the station's search asks for password sessions, the host's reply names the session
# with keep-alive, migration and password; the name table lists the group; the station's player
# carries its callsign; the join request carries the password; pings name a system player.
decode -Y 'dplay.command == 0x0002' -e dplay.type02.flags -e dplay.dialect.version >"$work/searches.out"
grep -qx '0x00000001|0x000b' "$work/searches.out" || fail "no search for available sessions: $(head -3 "$work/searches.out")"
grep -qx '0x00000040|0x000b' "$work/searches.out" || fail "no search including password sessions"
decode -Y 'dplay.command == 0x0001' -e dplay.type_01.game_name -e dplay.flags | grep -q '^Capture Test|0x00000444$' ||
  fail "enumeration reply: $(decode -Y 'dplay.command == 0x0001' -e dplay.type_01.game_name -e dplay.flags | head -3)"
decode -Y 'dplay.command == 0x0005' -e dplay.type_05.flags | grep -q '^0x00000009$' || fail "system player request flags"
decode -Y 'dplay.command == 0x0013' -e dplay.type_13.password | grep -q '^secret$' || fail "join request password"
decode -Y 'dplay.command == 0x0029' -e dplay.spp.short_name | grep -q 'FS61_REFUSE_PARAMS' || fail "name table group"
decode -Y 'dplay.command == 0x0008' -e dplay.pp.short_name -e dplay.pp.long_name | grep -q '^AI_Controller|Player$' ||
  fail "player creation: $(decode -Y 'dplay.command == 0x0008' -e dplay.pp.short_name -e dplay.pp.long_name)"
# The first name table (the station's) starts with the host's system player: name server flags, and
# with the id key 0 the first id handed out, 0x00010000 (tshark prints ids as their wire bytes).
decode -Y 'dplay.command == 0x0029' -e dplay.spp.id -e dplay.spp.flags | head -n 1 | grep -q '^00000100,.*|0x00000007,' ||
  fail "name table host entry: $(decode -Y 'dplay.command == 0x0029' -e dplay.spp.id -e dplay.spp.flags | head -n 1)"
# Every ping names a system player of the name tables as its sender.
decode -Y 'dplay.command == 0x0029' -e dplay.spp.id | tr ',' '\n' | sort -u >"$work/ids.out"
decode -Y 'dplay.command == 0x0016' -e dplay.ping.id_from | sort -u >"$work/pingers.out"
[[ -s "$work/pingers.out" ]] || fail "no pings"
comm -23 "$work/pingers.out" "$work/ids.out" | grep -q . && fail "a ping from an unknown sender: $(comm -23 "$work/pingers.out" "$work/ids.out")"
tshark -r "$work/join.pcapng" -o tcp.try_heuristic_first:TRUE -o udp.try_heuristic_first:TRUE -Y 'dplay && _ws.malformed' \
  2>/dev/null | grep -v "You Are Dead" | grep -q . && fail "tshark found malformed DirectPlay messages"
echo "ok: $(wc -l <"$work/commands.out") DirectPlay messages decoded by tshark"
exit 0
