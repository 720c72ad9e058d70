#!/usr/bin/env bash
# The soak's crowd over the real network provider, in real time: skyvox-sim make-soak writes the crowd,
# skyvox-sim host --network hosts the session on this machine and starts every pilot as a process of
# its own (one pilot a process, the tools' only way), skyvox-station joins it over 127.0.0.1 and
# controls. Everything runs under nice -n 19. The host leaves last, so the station takes the session
# over; a minute after the run it is closed as a user closes it. Then the figures: the station's peak
# memory, CPU time and memory over the run, the lines it sent and received, how fast it answered the
# pilots' requests, the pilots' flights, and the pilots stuck on one line of the station's for 15
# minutes or more (from the station's own log). Not part of the tests: it runs for MINUTES real
# minutes and two more.
# Usage: scripts/soak-network.sh [BUILD_DIR]
#   PILOTS (default 300) places in the crowd, MINUTES (default 30), SEED (default 1), CORRECTED=1 for the
#   corrected mode, KEEP=FOLDER to keep the logs there.
# scripts/soak-network.sh --figures FOLDER prints the figures again from logs kept there.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The figures from the logs in folder $1: host.out, station.out, samples.txt, run.txt.
figures() {
  local dir=$1
  cat "$dir/run.txt"
  awk 'NR > 1 { if ($2 > peak) peak = $2; cpu = $3; if ($4 > most) most = $4 }
    NR > 1 && ($1 % 300) < 10 { trace = trace sprintf("%.1f ", $2 / 1024) }
    END {
      printf "station: CPU %.1f s; resident memory (MB) every five minutes: %s\n", cpu, trace
      printf "pilot processes at most at once: %d\n", most
    }' "$dir/samples.txt"
  grep -F '[message box' "$dir/station.out" | sed 's/^/station: /'
  echo "station: $(grep -cE '^\[ *[0-9.]+\] [^ ]+ <- ' "$dir/station.out") lines sent to pilots," \
    "$(grep -cE '^\[ *[0-9.]+\] [^ ]+ \(copy\) <- ' "$dir/station.out") copies," \
    "$(grep -cE '^\[ *[0-9.]+\] [^ ]+ -> ' "$dir/station.out") chat lines received"
  # A digit that chose a request, a tuning line or the airport list in the last line the station sent
  # that pilot, and the station's next line to it: how long the answer took. (Acknowledgements and
  # reports may change nothing the line shows, and the design then sends nothing.) Requests still
  # unanswered after 30 s are counted apart.
  awk '
    function menu(name, line,    k, at, text) {
      for (k = 1; k <= 9; k++) delete chosen[name, k]
      if (!sub(/.* Choose an option[^:]*: /, "", line)) return
      for (k = 1; match(line, /^[0-9]+-/); k++) {
        line = substr(line, RLENGTH + 1)
        at = match(line, / [0-9]+-/)
        chosen[name, k] = at ? substr(line, 1, at - 1) : line
        line = at ? substr(line, at + 1) : ""
      }
    }
    match($0, /^\[ *[0-9.]+\] /) {
      t = substr($0, 2, RLENGTH - 3) + 0; rest = substr($0, RLENGTH + 1); n = split(rest, w, " ")
      if (w[2] == "->" && n == 3 && w[3] ~ /^[1-9]$/ && chosen[w[1], w[3] + 0] ~ /^(Request |Tune |Select )/) {
        asked[w[1]] = t
      } else if (w[2] == "<-") {
        if (w[1] in asked) {
          d = t - asked[w[1]]
          delete asked[w[1]]
          if (d <= 30) printf "%.1f\n", d; else print "late"
        }
        menu(w[1], rest)
      }
    }' "$dir/station.out" | sort -n | awk '
    $1 == "late" { late++; next }
    { d[++n] = $1 }
    END {
      if (n == 0) { print "answers to requests: none"; exit }
      p = int(n * 0.99); if (p < 1) p = 1
      printf "answers to %d requests: median %.1f s, 99th percentile %.1f s, longest %.1f s; %d with no line back within 30 s\n",
        n, d[int((n + 1) / 2)], d[p], d[n], late
    }'
  echo "pilots: $(grep -c ' joins as a virtual pilot: ' "$dir/host.out") joined," \
    "$(grep -c ': flight completed \[' "$dir/host.out") flights completed," \
    "$(grep -c ': flight not completed (left the session' "$dir/host.out") left on the way;" \
    "$(grep -cE 'the process of|no summary came' "$dir/host.out") pilot processes failed"
  # Stuck: the station sent a pilot the same line for 15 minutes or more until it left or the run
  # ended; classed by that line, its menu left out.
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
    }' "$dir/station.out"
}

if [[ "${1:-}" == "--figures" ]]; then
  figures "$2"
  exit 0
fi

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
station_sample() {
  [[ -r /proc/$station_pid/stat ]] || return 0
  echo "$(($(date +%s) - start)) $(awk '/^VmRSS:/ {print $2}' "/proc/$station_pid/status")" \
    "$(awk -v t="$ticks" '{printf "%.1f", ($14 + $15) / t}' "/proc/$station_pid/stat")" \
    "$(pgrep -c -P "$host_pid")" >>"$work/samples.txt"
}
echo "# seconds rss_kb cpu_s processes" >"$work/samples.txt"
while kill -0 "$host_pid" 2>/dev/null; do
  station_sample
  sleep 10
done
wall=$(($(date +%s) - start))
# The host ended the run and left last: the station took the session over and stays in it, alone once
# its roster refreshes have purged the pilots that left. Then the user closes it.
sleep 65
station_sample
peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$station_pid/status" 2>/dev/null)
kill -INT "$station_pid" 2>/dev/null
wait_exit "$station_pid" "the station" 30
wait "$station_pid"
station_rc=$?
{
  echo "network soak: $pilots places, $minutes min, seed $seed${CORRECTED:+, corrected mode}: $wall s of wall time"
  echo "station: peak memory (VmHWM) $((${peak:-0} / 1024)) MB, exit $station_rc"
} >"$work/run.txt"
figures "$work"
exit 0
