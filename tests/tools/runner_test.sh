#!/usr/bin/env bash
# skyvox-sim run and skyvox-station as programs against the sample world's database, for what no
# dialogue transcript shows:
#   - every scenario of tests/data/runner/mistakes.txt is refused with exit code 1 and only
#     "FILE:LINE: MESSAGE" on standard error;
#   - a program folder without its configuration file is refused and none of its files is deleted;
#   - the scenarios shipped in data/scenarios play to their end; where tests/data/runner/NAME.expected
#     exists, the transcript equals it (SKYVOX_UPDATE_TRANSCRIPTS=1 rewrites those: read every changed
#     line before committing one); so does a load of 50 scripted pilots from make-load
#     (load_50_pilots.expected);
#   - the station refuses a --control Ident the database lacks and finds one in any case; it answers
#     the host question from --host, prints the network's log with --verbose, and fails when nobody
#     answers its search.
# Usage: runner_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source=$2
source "$source/tests/tools/session_lib.sh"
make_program_folder
data="$source/tests/data/runner"
failed=0
bad() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}
# Runs a program with its output in $work/NAME.out and .err; sets rc.
play() {
  local name=$1
  shift
  "$@" >"$work/$name.out" 2>"$work/$name.err"
  rc=$?
}

awk -v dir="$work" '/^== / { n++; print substr($0, 4) > (dir "/mistake-" n ".want"); next }
                   n { print > (dir "/mistake-" n ".scenario") }' "$data/mistakes.txt"
mistakes=0
for want in "$work"/mistake-*.want; do
  scenario=${want%.want}.scenario
  play mistake "$sim" run "$scenario" --app "$work/app"
  expected="$scenario:$(cat "$want")"
  [[ $rc == 1 && "$(cat "$work/mistake.err")" == "$expected" ]] ||
    bad "exit $rc, \"$(cat "$work/mistake.err")\" instead of \"$expected\" for:"$'\n'"$(cat "$scenario")"
  mistakes=$((mistakes + 1))
done
((mistakes >= 16)) || bad "only $mistakes cases read from mistakes.txt"

cp -r "$work/app" "$work/unconfigured"
rm "$work/unconfigured/Skyvox_link.cfg"
before=$(ls "$work/unconfigured")
play unconfigured "$sim" run "$source/data/scenarios/airports_list.txt" --app "$work/unconfigured"
[[ $rc == 1 && "$(cat "$work/unconfigured.err")" == "skyvox-sim: "* ]] ||
  bad "a folder without configuration: exit $rc, $(cat "$work/unconfigured.err")"
[[ "$(ls "$work/unconfigured")" == "$before" ]] || bad "files of the unconfigured folder were deleted"

"$sim" make-load --pilots 50 --seconds 90 >"$work/load_50_pilots.txt" || bad "make-load failed"
for scenario in "$source"/data/scenarios/*.txt "$work/load_50_pilots.txt"; do
  name=$(basename "$scenario" .txt)
  play "$name" "$sim" run "$scenario" --app "$work/app"
  if ((rc != 0)); then
    bad "$name: exit $rc: $(cat "$work/$name.err")"
  elif [[ ${SKYVOX_UPDATE_TRANSCRIPTS:-0} == 1 && -f "$data/$name.expected" ]]; then
    cp "$work/$name.out" "$data/$name.expected"
    echo "updated $name.expected"
  elif [[ -f "$data/$name.expected" ]] && ! diff -u "$data/$name.expected" "$work/$name.out"; then
    bad "$name: the transcript differs from $name.expected"
  fi
done

# The sample world has 9 airports.
play station "$station" --app "$work/app" --control KOLM --control KXYZ
[[ $rc == 1 && "$(cat "$work/station.err")" == \
  "skyvox-station: no airport with Ident KXYZ in the database (9 airports listed)" ]] ||
  bad "the station with an unknown Ident: exit $rc, $(cat "$work/station.err")"
# Found in any case; the host question answered from --host; nobody answers the search there.
port=$(free_ports 2) || exit 1
play station "$station" --app "$work/app" --control kolm --host "127.0.0.1:$port" --enum-timeout 200 \
  --ports "$((port + 1))-$((port + 1))" --verbose
diff -u - "$work/station.out" <<EOT || bad "the station's search: exit $rc, $(cat "$work/station.err")"
* Settings: "KOLM - OLYMPIA" added to the controlled airports list
* Settings: Next; 1 controlled airports and 85 terrain points loaded
* searching for sessions on "Internet TCP/IP Connection For DirectPlay"
[input box] Locate Session: Enter the host name or IP address of the session's computer (leave it empty to search the local network): (answered "127.0.0.1:$port")
EOT
diff -u - "$work/station.err" <<EOT || bad "the station's search: exit $rc, a wrong standard error"
* net: listening on TCP port $((port + 1)) and UDP port $((port + 1))
skyvox-station: the search found no session
EOT
((rc == 1)) || bad "the station that found no session exited with $rc"

((failed == 0)) && echo "runner: all checks passed"
((failed == 0))
