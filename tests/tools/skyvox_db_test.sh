#!/usr/bin/env bash
# skyvox-db end to end: make-scenery from the sample world, the headless build, list and dump, and
# clear errors for wrong input; a rebuild that fails or is interrupted leaves the working database as
# it was; skyvox-station prepares a new program folder.
set -uo pipefail
db="$1"
data="$2"
station="$3"
work=$(mktemp -d)
trap 'umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$db" make-scenery --world "$data/sample_world.txt" --out "$work/fs" >"$work/make.out" || fail "make-scenery"
grep -q "9 airports, 5 airspaces" "$work/make.out" || fail "make-scenery summary: $(cat "$work/make.out")"
[[ -f "$work/fs/fs2002.exe" && -f "$work/fs/scenery.cfg" && -f "$work/fs/Scenery/magdec.bgl" ]] || fail "folder layout"

"$db" build --sim "$work/fs" --app "$work/app" >"$work/build.out" 2>"$work/build.err" || fail "build: $(cat "$work/build.out")"
grep -q "9 airports and 5 airspaces" "$work/build.out" || fail "build summary"
grep -q "100%  3/3 files  9 airports  5 airspaces" "$work/build.err" || fail "progress: $(cat "$work/build.err")"
[[ -f "$work/app/world_terrain.db" ]] || fail "the shipped terrain file was not installed"

"$db" list --app "$work/app" >"$work/list.out" || fail "list"
[[ $(wc -l <"$work/list.out") == 9 ]] || fail "list length"
grep -qx "KOLM - OLYMPIA" "$work/list.out" || fail "list entry"

"$db" dump --app "$work/app" --ident kolm >"$work/dump.out" || fail "dump"
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
# list and dump refuse a missing or damaged database.
"$db" list --app "$work/nowhere" 2>"$work/nolist.err" && fail "list of a missing folder succeeded"
grep -q "world_airports.dat is missing" "$work/nolist.err" || fail "no message: $(cat "$work/nolist.err")"
cp -r "$work/app" "$work/cut" && head -c 2000 "$work/app/world_airports.dat" >"$work/cut/world_airports.dat"
"$db" list --app "$work/cut" 2>"$work/cut.err" && fail "list of a damaged database succeeded"
grep -q "world_airports.dat in .* is damaged" "$work/cut.err" || fail "no message: $(cat "$work/cut.err")"

# The old database, configuration and terrain stay byte for byte whatever a failed rebuild did.
sums() { (cd "$1" && md5sum world_airports.dat world_airspaces.dat Skyvox_link.cfg world_terrain.db); }
sums "$work/app" >"$work/old.sums"
unchanged() {  # WHAT [FOLDER]
  sums "${2:-$work/app}" | cmp -s - "$work/old.sums" || fail "$1: the working database changed"
  [[ $1 == SIGKILL ]] || ! ls "${2:-$work/app}" | grep -q building || fail "$1: temporaries left behind"
}
"$db" make-scenery --synthetic 80000 --per-file 400 --out "$work/big" >/dev/null || fail "synthetic world"
for sig in INT TERM KILL; do
  "$db" build --sim "$work/big" --app "$work/app" >/dev/null 2>"$work/kill.err" &
  pid=$!
  for _ in $(seq 1000); do ls "$work/app" | grep -q building && break; sleep 0.01; done
  # The build takes about a second: held still while the signal arrives, so that it cannot finish first.
  kill -STOP "$pid"
  kill -"$sig" "$pid"
  kill -CONT "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null && fail "an interrupted build succeeded"
  unchanged "SIG$sig"
  [[ $sig == KILL ]] || grep -q "interrupted; the database in .* was left as it" "$work/kill.err" || fail "SIG$sig"
done
# A killed run's temporaries stay: the next build must start afresh.
ls "$work/app" | grep -q building || fail "the killed build left no temporaries to test with"
# A corrupt BGL file: the box names it lower-cased, the cause names it as it is, nothing is replaced.
cp -r "$work/fs" "$work/bad-fs"
bgl=$(find "$work/bad-fs" -name 'bnd_northwest.bgl')
mv "$bgl" "${bgl%/*}/BND_NorthWest.BGL" && bgl="${bgl%/*}/BND_NorthWest.BGL"
head -c 200 "$bgl" >"$work/head" && mv "$work/head" "$bgl"
"$db" build --sim "$work/bad-fs" --app "$work/app" >"$work/bad.out" 2>"$work/bad.err" && fail "a corrupt BGL was accepted"
grep -q "Error - while scanning this BGL file:  .*bnd_northwest.bgl  \." "$work/bad.out" || fail "box: $(cat "$work/bad.out")"
grep -q "^\[cause\] cannot scan $bgl: " "$work/bad.err" || fail "cause: $(cat "$work/bad.err")"
unchanged "corrupt BGL"
# A full disk (a small tmpfs, root only): blamed on the database file, not on a BGL file.
mkdir -p "$work/small"
if mount -t tmpfs -o size=4500k tmpfs "$work/small" 2>/dev/null; then
  cp -r "$work/app/." "$work/small/"
  "$db" build --sim "$work/big" --app "$work/small" >/dev/null 2>"$work/full.err" && fail "a full disk went unnoticed"
  grep -q "^\[cause\] cannot write .*/world_a[a-z]*.dat.building: No space left on device" "$work/full.err" ||
    fail "cause: $(cat "$work/full.err")"
  unchanged "full disk" "$work/small"
  umount "$work/small"
else
  echo "skip: no tmpfs can be mounted here, the full-disk check is left out"
fi

# A scenery without airspaces: the build writes an empty airspace file, which the station's start-up
# check keeps (without --sim it could not build again), and a copy of the terrain cut short is
# replaced; a scenery.cfg that names no area is warned about.
sed '/^AREA Scenery.Boundaries/,$d' "$data/sample_world.txt" >"$work/noair.txt"
"$db" make-scenery --world "$work/noair.txt" --out "$work/noair" >/dev/null || fail "make-scenery without airspaces"
head -c 200000 "$data/world_terrain.db" >"$work/app/world_terrain.db"
"$db" build --sim "$work/noair" --app "$work/app" >"$work/noair.out" 2>"$work/noair.err" || fail "build: $(cat "$work/noair.err")"
grep -q "9 airports and 0 airspaces" "$work/noair.out" || fail "summary: $(cat "$work/noair.out")"
[[ $("$db" list --app "$work/app" | wc -l) == 9 ]] || fail "leftover temporaries were appended to"
grep -q "world_terrain.db is a copy cut short: 200000 bytes" "$work/noair.err" || fail "terrain: $(cat "$work/noair.err")"
cmp -s "$work/app/world_terrain.db" "$data/world_terrain.db" || fail "the terrain was not copied again"
"$station" --app "$work/app" --control NOSUCH >"$work/restart.out" 2>&1 && fail "the station found NOSUCH"
grep -q "no airport with Ident NOSUCH in the database (9 airports listed)" "$work/restart.out" ||
  fail "the database was not kept: $(cat "$work/restart.out")"
printf '[General]\nTitle=FS2002\n' >"$work/noair/scenery.cfg"
"$db" build --sim "$work/noair" --app "$work/app" >/dev/null 2>"$work/noarea.err" || fail "build without areas"
grep -q "^\[cause\] .*scenery.cfg names no scenery area" "$work/noarea.err" || fail "$(cat "$work/noarea.err")"

# skyvox-station on a new program folder: created, the shipped terrain put in it, the first run built;
# its build's causes are printed beside the box.
"$station" --app "$work/new/app" --sim "$work/fs" --control NOSUCH >"$work/new.out" 2>&1
cmp -s "$work/new/app/world_terrain.db" "$data/world_terrain.db" || fail "station: no terrain: $(cat "$work/new.out")"
grep -q "9 airports listed" "$work/new.out" || fail "station: no first run: $(cat "$work/new.out")"
"$station" --app "$work/new/bad" --sim "$work/bad-fs" --control KOLM >"$work/newbad.out" 2>&1
grep -q "^\[cause\] cannot scan $bgl: " "$work/newbad.out" || fail "station cause: $(cat "$work/newbad.out")"
echo "skyvox-db: all checks passed"
