#!/usr/bin/env bash
# The Windows programs: cross-built with mingw-w64 in build-mingw, their tests run under Wine, the
# sessions across systems (a Windows program under Wine with a Linux one, when the Linux build in
# build has the programs), and the zip for Windows users in build-mingw.
#   scripts/windows.sh [--no-tests]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
out=build-mingw
source scripts/compiler-cache.sh
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DSKYVOX_LINUX_BUILD="$PWD/build" "${launcher[@]}" >/dev/null
cmake --build "$out" -j2
if [[ "${1:-}" != "--no-tests" ]]; then
  # A Wine prefix of the build's own, made once (about half a minute).
  export WINEPREFIX="$PWD/$out/wineprefix" WINEDEBUG=-all
  # Wine writes Windows names to Linux in the locale's encoding: UTF-8, or names beyond ASCII cannot
  # be made (CI's environment may set no locale at all).
  export LC_ALL=C.UTF-8
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
  fi
  # A Wine process now and then fails to start at all on a loaded machine (it ends at once, before the
  # test program runs): such a test is run once more.
  ctest --test-dir "$out" --output-on-failure -j2 --repeat until-pass:2
fi
zip="$out/skyvox-2.0-windows-x64.zip"
rm -f "$zip"
(cd "$out" && cpack -G ZIP >/dev/null)
ls -l "$zip"
if [[ "${1:-}" != "--no-tests" ]]; then
  # The zip as a user unpacks it: its demo runs from there, on the data beside its programs.
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' EXIT
  unzip -q "$zip" -d "$unpacked"
  windows_folder="Z:$(sed 's|/|\\|g' <<<"$unpacked")"
  demo=$(/usr/lib/wine/wine64 "$unpacked/skyvox-2.0-windows-x64/bin/skyvox-demo.exe" --speed 0 "$windows_folder\\work" 2>&1)
  grep -qF "== the pilots: $windows_folder\\skyvox-2.0-windows-x64\\share\\skyvox\\scenarios\\crowd.txt ==" <<<"$demo" &&
    grep -qE "^29 of 30 flights completed" <<<"$demo" || {
    echo "the zip's demo did not fly the crowd from the zip's own data:"
    echo "$demo" | tail -n 20
    exit 1
  }
  echo "the zip's demo: $(grep -E '^29 of 30 flights completed' <<<"$demo")"
fi
