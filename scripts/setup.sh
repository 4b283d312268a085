#!/usr/bin/env bash
# Installs the Debian packages Velmora needs (only those missing) and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libgl-dev fonts-farsiweb fonts-noto-core
          xvfb x11-utils xdotool imagemagick poppler-utils clang-format
          postgresql libqt6sql6-psql)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
