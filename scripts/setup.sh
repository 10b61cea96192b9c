#!/usr/bin/env bash
# Installs what kdx2 needs on a fresh Debian 12 machine, then configures and
# builds it into build/. Safe to run again: it only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  libncurses-dev libcairo2-dev libcups2-dev libcurl4-openssl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-dbf python3-dbfread libdbd-xbase-perl faketime tmux
  cups poppler-utils less
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build
