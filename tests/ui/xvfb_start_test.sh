#!/usr/bin/env bash
# Starts skyvox on an X server (Xvfb) in a fresh program folder, as a user does on a new machine:
# the splash window appears, and three seconds later the first window of a first run,
# "Creating Configuration File", opens. The program's own terrain file is copied in from the data
# folder. Usage: xvfb_start_test.sh SKYVOX
set -euo pipefail
skyvox=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/watch.sh" <<'WATCH'
#!/usr/bin/env bash
# Runs inside xvfb-run: starts the program and reports the window names seen, in order, until the
# first run's window opens (or 20 s pass).
skyvox=$1 app=$2
"$skyvox" --app "$app" >"$app/skyvox.out" 2>&1 &
pid=$!
seen=""
for _ in $(seq 1 200); do
  names=$(xwininfo -root -tree 2>/dev/null | sed -n 's/^ *0x[0-9a-f]* "\([^"]*\)".*/\1/p')
  for name in "Skyvox v2.0" "Creating Configuration File"; do
    if grep -qxF "$name" <<<"$names" && ! grep -qxF "$name" <<<"$seen"; then
      seen+="$name"$'\n'
      echo "window: $name"
    fi
  done
  grep -qxF "Creating Configuration File" <<<"$seen" && break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
WATCH
chmod +x "$work/watch.sh"

out=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$work/watch.sh" "$skyvox" "$work")
echo "$out"
expected=$'window: Skyvox v2.0\nwindow: Creating Configuration File'
if [[ "$out" != "$expected" ]]; then
  echo "expected the splash, then the simulator-folder window:" >&2
  cat "$work/skyvox.out" >&2
  exit 1
fi
[[ -s "$work/world_terrain.db" ]] || { echo "the terrain file was not copied into the program folder" >&2; exit 1; }
