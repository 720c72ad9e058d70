#!/usr/bin/env bash
# The Windows programs: cross-built with mingw-w64 in build-mingw, their tests run under Wine, the
# sessions across systems (a Windows program under Wine with a Linux one, when the Linux build in
# build has the programs), and the zip for Windows users in build-mingw.
#   scripts/windows.sh [--no-tests]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
out=build-mingw
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DSKYVOX_LINUX_BUILD="$PWD/build" "${launcher[@]}" >/dev/null
cmake --build "$out" -j2
if [[ "${1:-}" != "--no-tests" ]]; then
  # A Wine prefix of the build's own, made once (about half a minute).
  export WINEPREFIX="$PWD/$out/wineprefix" WINEDEBUG=-all
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
  fi
  ctest --test-dir "$out" --output-on-failure -j2
fi
(cd "$out" && cpack -G ZIP >/dev/null && ls -l ./*.zip)
