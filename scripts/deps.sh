#!/usr/bin/env bash
# Installs the Debian packages Vaccora needs, when any is missing.
set -euo pipefail
PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev qt6-declarative-dev libqt6opengl6-dev libgl-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-server firebird3.0-utils
  fonts-liberation2 fonts-liberation
  libsimpleini-dev libgsf-1-dev libxml2-dev libgumbo-dev mdbtools-dev libminizip-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  poppler-utils xvfb xauth
  python3-xlwt python3-xlrd
  clang libclang-rt-14-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
