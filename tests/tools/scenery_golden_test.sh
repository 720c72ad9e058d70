#!/usr/bin/env bash
# Scenery through the real programs, against golden files (tests/data/golden):
#  - every mistaken world description in world_mistakes.txt is refused by skyvox-db make-scenery with
#    its message and line number;
#  - a synthetic world, the sample world (data/sample_world.txt) and each *.world are written by make-scenery, built by skyvox-db build and dumped: the airports and
#    the airspaces must equal NAME.airports.json and NAME.airspaces.json byte for byte, and the BGL
#    files written must equal their hex dumps NAME.FILE.hex where one is kept;
#  - each *.bglhex (BGL bytes written out by hand as commented hex, independent of the scenery
#    writer) is scanned by a build of a simulator folder holding only that file, and dumped the same
#    way.
#
# SKYVOX_UPDATE_GOLDEN=1 rewrites the golden files instead of comparing: read every changed line
# before committing one.
#
#   scenery_golden_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
shopt -s nullglob
build=$1
source=$2
db="$build/tools/skyvox-db"
golden="$source/tests/data/golden"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -x "$db" ]] || { echo "FAIL: no skyvox-db under $build/tools"; exit 1; }
failed=0 passed=0
check() {  # VERDICT [WHAT FAILED]
  if (($1)); then passed=$((passed + 1)); else failed=$((failed + 1)) && [[ -n ${2:-} ]] && echo "FAIL: $2"; fi
}

# Compares a produced file with its golden one (or rewrites the golden one).
same() {  # PRODUCED GOLDEN
  if [[ ${SKYVOX_UPDATE_GOLDEN:-0} == 1 ]]; then
    cp "$1" "$2" && echo "updated $(basename "$2")"
    return 0
  fi
  [[ -f "$2" ]] || { echo "FAIL: no $(basename "$2")"; return 1; }
  diff -u "$2" "$1" >"$work/diff" && return 0
  echo "FAIL: $(basename "$2") differs:"
  head -n 40 "$work/diff"
  return 1
}

# 1. Mistakes: each case alone in a description file, refused with its message.
declare -A prefixes=([-]="")
while IFS= read -r line; do
  [[ -z $line || $line == \#* ]] && continue
  read -r name rest <<<"$line"
  if [[ $name == prefix ]]; then
    read -r name text <<<"$rest"
    prefixes[$name]=$text
    continue
  fi
  lines=${rest% => *}
  message=${rest##* => }
  printf '%b%b\n' "${prefixes[$name]}" "$lines" >"$work/mistake.txt"
  if "$db" make-scenery --world "$work/mistake.txt" --out "$work/mistake" >/dev/null 2>"$work/mistake.err"; then
    echo "FAIL: accepted: $lines"
    check 0
  elif [[ $(head -c $((11 + ${#message})) "$work/mistake.err") != "skyvox-db: $message" ]]; then
    echo "FAIL: $lines: expected \"$message\", got: $(cat "$work/mistake.err")"
    check 0
  else
    check 1
  fi
  [[ -e "$work/mistake" ]] && { echo "FAIL: $lines: a folder was written"; check 0; rm -rf "$work/mistake"; }
done <"$golden/world_mistakes.txt"
"$db" make-scenery --world "$work/none.txt" --out "$work/none" 2>"$work/none.err"
[[ $? == 1 && $(cat "$work/none.err") == "skyvox-db: cannot open $work/none.txt"* && ! -e "$work/none" ]]
check $((!$?)) "a missing description: $(cat "$work/none.err")"

# Builds a simulator folder into a program folder and compares both dumps with NAME's golden files.
build_and_dump() {  # SIMFOLDER NAME
  local app="$work/$2.app"
  if ! "$db" build --sim "$1" --app "$app" >"$work/build.out" 2>&1; then
    echo "FAIL: $2: build: $(cat "$work/build.out")"
    check 0
    return
  fi
  "$db" dump --app "$app" >"$work/airports.json" && same "$work/airports.json" "$golden/$2.airports.json"
  check $((!$?))
  "$db" dump --app "$app" --airspaces >"$work/airspaces.json" &&
    same "$work/airspaces.json" "$golden/$2.airspaces.json"
  check $((!$?))
}

# 2. World descriptions written, built and dumped; the BGL files kept as hex compared too.
# A synthetic world of 30 airports in files of 12 (seed 11) as well, named "synthetic".
for world in synthetic "$source/data/sample_world.txt" "$golden"/*.world; do
  name=$(basename "$world")
  name=${name%.*}
  sim="$work/$name.sim"
  what=(--world "$world")
  [[ $world == synthetic ]] && what=(--synthetic 30 --per-file 12 --seed 11)
  if ! "$db" make-scenery "${what[@]}" --out "$sim" >"$work/make.out" 2>&1; then
    echo "FAIL: $name: make-scenery: $(cat "$work/make.out")"
    check 0
    continue
  fi
  for hex in "$golden/$name".*.hex; do
    [[ -f $hex ]] || continue
    file=${hex#"$golden/$name."}
    file=${file%.hex}
    bgl=$(find "$sim" -iname "$file" | head -n 1)
    [[ -n $bgl ]] && od -A x -t x1z -v "$bgl" >"$work/bgl.hex" && same "$work/bgl.hex" "$hex"
    check $((!$?))
  done
  build_and_dump "$sim" "$name"
done

# 3. Hand-written BGL files: comments (from '#') and blanks dropped, the rest hex digits.
for hand in "$golden"/*.bglhex; do
  name=$(basename "$hand" .bglhex)
  sim="$work/$name.sim"
  # An empty world gives the program and the magnetic variation; the area is the hand-written file's.
  "$db" make-scenery --world /dev/null --out "$sim" >/dev/null || { check 0 "$name: make-scenery"; continue; }
  mkdir -p "$sim/Scenery/Hand/scenery"
  printf '[Area.001]\r\nTitle=Hand\r\nLocal=Scenery\\Hand\r\nActive=TRUE\r\n' >"$sim/scenery.cfg"
  perl -ne 's/#.*//; s/\s+//g; print pack("H*", $_)' "$hand" >"$sim/Scenery/Hand/scenery/$name.bgl"
  build_and_dump "$sim" "$name"
done

echo "scenery golden: $passed passed, $failed failed"
((failed == 0))
