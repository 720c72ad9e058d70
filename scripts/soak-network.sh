#!/usr/bin/env bash
# The soak's crowd over the real network provider, in real time: skyvox-sim make-soak writes the crowd,
# skyvox-sim host --network hosts the session on this machine and starts every pilot as a process of
# its own (one pilot a process, the tools' only way), skyvox-station joins it over 127.0.0.1 and
# controls. Everything runs under nice -n 19. At the end the figures are printed: the station's peak
# memory and CPU time, its memory over the run, the lines it sent and received, how fast it answered a
# menu digit, the pilots' flights, and the pilots stuck in one line of the station's for 15 minutes or
# more (from the station's own log). The host leaves last, so the station takes the session over;
# a minute after the run it is closed as a user closes it. Not part of the tests: it runs for MINUTES
# real minutes and a little more.
# Usage: scripts/soak-network.sh [BUILD_DIR]
#   PILOTS (default 300) places in the crowd, MINUTES (default 30), SEED (default 1), CORRECTED=1 for the
#   corrected mode, KEEP=FOLDER to keep the logs there.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
source=$root
pilots=${PILOTS:-300}
minutes=${MINUTES:-30}
seed=${SEED:-1}
keep=${KEEP:-}
[[ -n "$keep" ]] && extra_cleanup='mkdir -p "$keep" && cp "$work"/*.out "$work"/*.err "$work"/*.txt "$keep"/ 2>/dev/null'
source "$root/tests/tools/session_lib.sh"

make_program_folder
session="Skyvox soak $$"
"$sim" make-soak --pilots "$pilots" --seconds $((minutes * 60)) --seed "$seed" >"$work/soak.txt"
echo "session $session" >>"$work/soak.txt"
controls=()
for ident in $(sed -n 's/^control //p' "$work/soak.txt"); do controls+=(--control "$ident"); done
enum=$(free_ports 1)
# One stream and one datagram port for each process at most, the station's too.
span=$((2 * pilots + 100))
first=$(free_ports "$span")
ports="$first-$((first + span - 1))"

start=$(date +%s)
nice -n 19 "$sim" host --network "$work/soak.txt" --app "$work/app" --enum-port "$enum" --ports "$ports" \
  --wait-station 120 >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
pids+=("$host_pid")
wait_for "$work/host.out" "* session up on port $enum" 30
mode=()
[[ -n "${CORRECTED:-}" ]] && mode=(--corrected)
nice -n 19 "$station" --app "$work/app" "${controls[@]}" --host "127.0.0.1:$enum" --session "$session" \
  --ports "$ports" --monitor --verbose --enum-timeout 2000 "${mode[@]}" \
  >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=("$station_pid")
wait_for "$work/host.out" "t = 0: the scenario starts" 150

# Every 10 s: the station's resident memory and CPU time, and how many pilot processes run.
ticks=$(getconf CLK_TCK)
peak_kb=0
peak_processes=0
echo "# seconds rss_kb cpu_s processes" >"$work/samples.txt"
while kill -0 "$host_pid" 2>/dev/null; do
  if [[ -r /proc/$station_pid/status ]]; then
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$station_pid/status")
    hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$station_pid/status")
    cpu=$(awk -v t="$ticks" '{printf "%.1f", ($14 + $15) / t}' "/proc/$station_pid/stat")
    processes=$(pgrep -c -P "$host_pid")
    ((hwm > peak_kb)) && peak_kb=$hwm
    ((processes > peak_processes)) && peak_processes=$processes
    echo "$(($(date +%s) - start)) $rss $cpu $processes" >>"$work/samples.txt"
  fi
  sleep 10
done
wall=$(($(date +%s) - start))
# The host ended the run and left last: the station took the session over and stays in it, alone once
# its roster refreshes have purged the pilots that left. Then the user closes it.
sleep 65
[[ -r /proc/$station_pid/status ]] && hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$station_pid/status") &&
  ((hwm > peak_kb)) && peak_kb=$hwm
cpu=$(awk -v t="$ticks" '{printf "%.1f", ($14 + $15) / t}' "/proc/$station_pid/stat" 2>/dev/null)
kill -INT "$station_pid" 2>/dev/null
wait_exit "$station_pid" "the station" 30
wait "$station_pid"
station_rc=$?

strip() { sed -E 's/^\[ *[0-9]+\.[0-9]\] //' "$1"; }
echo "network soak: $pilots places, $minutes min, seed $seed${CORRECTED:+, corrected mode}: $wall s of wall time"
echo "station: peak memory (VmHWM) $((peak_kb / 1024)) MB, CPU $cpu s ($(awk -v c="$cpu" -v w="$wall" \
  'BEGIN {printf "%.0f", 100 * c / w}')% of one core), exit $station_rc"
echo "station memory (MB) every five minutes: $(awk 'NR > 1 && ($1 % 300) < 10 {printf "%.1f ", $2 / 1024}' \
  "$work/samples.txt")"
echo "pilot processes at most at once: $peak_processes"
grep -F '[message box' "$work/station.out" | sed 's/^/station: /'
sent=$(grep -cE '^\[ *[0-9.]+\] [^ ]+ <- ' "$work/station.out")
copies=$(grep -cE '^\[ *[0-9.]+\] [^ ]+ \(copy\) <- ' "$work/station.out")
heard=$(grep -cE '^\[ *[0-9.]+\] [^ ]+ -> ' "$work/station.out")
echo "station: $sent lines sent to pilots, $copies copies, $heard chat lines received"
# A menu digit, and the station's next line to that pilot: how long the answer took.
awk '
  match($0, /^\[ *[0-9.]+\] /) {
    t = substr($0, 2, RLENGTH - 3) + 0; n = split(substr($0, RLENGTH + 1), w, " ")
    if (w[2] == "->" && n == 3 && w[3] ~ /^[1-9]$/) asked[w[1]] = t
    else if (w[2] == "<-" && (w[1] in asked)) { printf "%.1f\n", t - asked[w[1]]; delete asked[w[1]] }
  }' "$work/station.out" | sort -n >"$work/answers.txt"
awk '{ d[NR] = $1 }
  END {
    if (NR == 0) { print "answers to menu digits: none"; exit }
    p = int(NR * 0.99); if (p < 1) p = 1
    printf "answers to %d menu digits: median %.1f s, 99th percentile %.1f s, longest %.1f s\n", NR,
      d[int((NR + 1) / 2)], d[p], d[NR]
  }' "$work/answers.txt"
joined=$(grep -c ' joins as a virtual pilot: ' "$work/host.out")
done_=$(grep -c ': flight completed \[' "$work/host.out")
echo "pilots: $joined joined, $done_ flights completed, $(grep -c ': flight not completed (left the session' \
  "$work/host.out") left on the way"
# Stuck: the station sent a pilot the same line for 15 minutes or more until it left or the run ended;
# classed by that line (its menu's options left out).
awk '
  match($0, /^\[ *[0-9.]+\] /) {
    now = substr($0, 2, RLENGTH - 3) + 0; rest = substr($0, RLENGTH + 1)
    if (rest ~ /^[^ ]+ <- /) {
      name = substr(rest, 1, index(rest, " ") - 1); text = substr(rest, index(rest, " <- ") + 4)
      if (text != last[name]) { since[name] = now; last[name] = text }
    }
    next
  }
  /^\* [^ ]+ left the session$/ { left[$2] = now }
  END {
    for (p in since) {
      until_ = (p in left) ? left[p] : now
      if (until_ - since[p] < 900) continue
      line = last[p]; sub(/^[^,]*, /, "", line)
      if (line !~ /<No messages to transmit/) sub(/ Choose an option.*/, " (options offered)", line)
      count[line]++; total++
    }
    printf "stuck pilots (one line for 15 min or more): %d\n", total
    for (k in count) printf "  %4d  %s\n", count[k], substr(k, 1, 160)
  }' "$work/station.out"
grep -qE 'the process of|no summary came' "$work/host.out" && echo "host: $(grep -cE 'the process of|no summary came' \
  "$work/host.out") pilot processes failed"
exit 0
