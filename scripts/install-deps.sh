#!/usr/bin/env bash
# Installs what building and testing Skyvox needs on Debian 12 (run as root). Does nothing when
# everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang-format libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libasio-dev tshark
          qt6-base-dev ccache xvfb xauth x11-utils fonts-dejavu-core dpkg-dev)
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
  # The Windows cross-build (mingw-w64 with POSIX threads, GoogleTest's sources) and Wine to run it.
  --windows) packages+=(g++-mingw-w64-x86-64-posix googletest wine64 unzip) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
