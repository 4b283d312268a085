#!/usr/bin/env bash
# Installs the Debian packages Velmora needs (only those missing) and builds it into build/.
# Without options: what building and running need, and only the program is built. With
# --test: also the tools the test suite and the package check use, and the tests are built.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libpq-dev
          libgl-dev libreadstat-dev libsodium-dev qt6-translations-l10n fonts-farsiweb
          fonts-noto-core age)
case "${1:-}" in
    "") ;;
    --test)
        # A display and a pointer for the window tests, pictures and PDFs to look at,
        # formatting, a throwaway database server, the sqlite3 shell the export is
        # measured against, PSPP and ReadStat's tools that read the research files
        # back, the accessibility bus, and the package and its checkers.
        packages+=(xvfb x11-utils xdotool imagemagick poppler-utils clang-format clang-tidy postgresql
                   sqlite3 pspp readstat dbus python3-pyatspi at-spi2-core
                   dpkg-dev file desktop-file-utils appstream lintian) ;;
    *)
        echo "usage: $0 [--test]" >&2
        exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "setup: these packages are missing and installing them needs root (or sudo):" >&2
            echo "  ${missing[*]}" >&2
            exit 1
        fi
        as_root=(sudo)
    fi
    echo "setup: installing ${missing[*]}"
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake --preset default >/dev/null
if [ "${1:-}" = --test ]; then
    cmake --build --preset default -j"$(nproc)"
else
    cmake --build --preset program -j"$(nproc)"
fi
