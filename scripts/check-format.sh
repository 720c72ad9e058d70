#!/usr/bin/env bash
# Fails when a C++ file under src/, tools/, tests/, bench/ or fuzz/ differs from what clang-format
# (.clang-format) makes of it, naming each such file. Run `clang-format -i FILE` to fix one.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format is missing"; exit 1; }
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 2>/dev/null)
status=0
for f in "${files[@]}"; do
  [[ -f $f ]] || continue
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "format: $f differs from clang-format"
    status=1
  fi
done
[[ $status == 0 ]] && echo "format: ok (${#files[@]} files)"
exit $status
