#!/usr/bin/env bash
# Fails when a library includes a header of a layer above it, or when an engine library includes Qt,
# Asio or platform headers (the window controllers of app are Qt-free too). The order: base <- geo <-
# scenery <- session <- atc, radar <- app <- ui; ui also picks the DirectPlay providers (dplay4). platform,
# on base alone, holds what only the operating system can tell; app and ui may ask it.
# Within the engine, radar builds on atc's dialogues, and the ATC cycle (src/atc/atc_cycle.*) is the
# one atc file that calls into radar.
set -uo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    base) echo "base" ;;
    platform) echo "base platform" ;;
    geo) echo "base geo" ;;
    scenery) echo "base geo scenery" ;;
    session) echo "base geo scenery session" ;;
    dplay4) echo "base session dplay4" ;;
    authoring) echo "base geo scenery session authoring" ;;
    atc | radar) echo "base geo scenery session atc radar" ;;
    app) echo "base geo scenery session atc radar platform app" ;;
    ui) echo "base geo scenery session dplay4 atc radar platform app ui" ;;
  esac
}

status=0
for dir in src/*/; do
  layer=$(basename "$dir")
  ok=" $(allowed "$layer") "
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
    if [[ "$ok" != *" $inc "* ]]; then
      echo "layering: $file includes a header of '$inc', above '$layer'"
      status=1
    fi
  done < <(grep -rnE '^#include "[^/"]+/' "$dir")
  case "$layer" in
    base | geo | scenery | session | atc | radar | app)
      if grep -rnE '^#include <(Q[A-Za-z]+|asio[^>]*|windows\.h|sys/socket\.h)>' "$dir"; then
        echo "layering: the library '$layer' includes platform headers (Qt, Asio, sockets)"
        status=1
      fi
      ;;
  esac
done
while IFS= read -r line; do
  echo "layering: ${line%%:*} includes radar; only the ATC cycle may"
  status=1
done < <(grep -rnE '^#include "radar/' src/atc | grep -v '^src/atc/atc_cycle\.')

[[ $status == 0 ]] && echo "layering: ok"
exit $status
