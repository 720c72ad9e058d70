#!/usr/bin/env bash
# skyvox-db end to end: make-scenery from the sample world, the headless build, list and dump, and
# clear errors for wrong input.
set -uo pipefail
db="$1"
data="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$db" make-scenery --world "$data/sample_world.txt" --out "$work/fs" >"$work/make.out" || fail "make-scenery"
grep -q "8 airports, 5 airspaces" "$work/make.out" || fail "make-scenery summary: $(cat "$work/make.out")"
[[ -f "$work/fs/fs2002.exe" && -f "$work/fs/scenery.cfg" && -f "$work/fs/Scenery/magdec.bgl" ]] || fail "folder layout"

"$db" build --sim "$work/fs" --app "$work/app" >"$work/build.out" 2>"$work/build.err" || fail "build: $(cat "$work/build.out")"
grep -q "8 airports and 5 airspaces" "$work/build.out" || fail "build summary"
grep -q "100%  3/3 files  8 airports  5 airspaces" "$work/build.err" || fail "progress: $(cat "$work/build.err")"
[[ -f "$work/app/world_terrain.db" ]] || fail "the shipped terrain file was not installed"

"$db" list --app "$work/app" >"$work/list.out" || fail "list"
[[ $(wc -l <"$work/list.out") == 8 ]] || fail "list length"
grep -qx "KOLM - OLYMPIA REGIONAL" "$work/list.out" || fail "list entry"

"$db" dump --app "$work/app" --ident KOLM >"$work/dump.out" || fail "dump"
grep -q '"Ident": "KOLM"' "$work/dump.out" || fail "dump ident"
grep -q '"IlsFrequency": "110.7"' "$work/dump.out" || fail "dump ILS"
grep -q '"Name": "Runway 17"' "$work/dump.out" || fail "dump runway path"
grep -q '"Name": "GATE 1"' "$work/dump.out" || fail "dump parking"
[[ $(grep -c '"Ident": "K' "$work/dump.out") == 1 ]] || fail "dump filtered by ident"
"$db" dump --app "$work/app" --airspaces >"$work/spaces.out" || fail "dump airspaces"
grep -q '"AirspaceClass": "ARTCC/FIR (HIGH)"' "$work/spaces.out" || fail "airspace class"

# Wrong input: a clear message and a failing exit code, nothing else.
printf 'AIRPORT KX 1 2\nBOGUS line\n' >"$work/bad.txt"
"$db" make-scenery --world "$work/bad.txt" --out "$work/bad" 2>"$work/bad.err" && fail "a bad description was accepted"
grep -q "line" "$work/bad.err" || fail "no line number: $(cat "$work/bad.err")"
"$db" build --sim "$work/nowhere" --app "$work/app2" >"$work/nosim.out" 2>&1 && fail "a folder without fs2002.exe was accepted"
grep -q "FS2002.EXE" "$work/nosim.out" || fail "no message for a missing simulator"
"$db" dump --app "$work/nowhere" 2>"$work/nodump.err" && fail "dump of a missing folder succeeded"
grep -q "skyvox-db:" "$work/nodump.err" || fail "no message for a missing database"
echo "skyvox-db: all checks passed"
