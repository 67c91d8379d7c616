#!/usr/bin/env bash
# Configures (once) and builds a build tree: scripts/build.sh DIR [cmake options...]
# BUILD_TARGET=name builds one target only.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DIR="$1"; shift || true
case "$DIR" in /*) ;; *) DIR="$REPO/$DIR";; esac
if [ ! -f "$DIR/build.ninja" ]; then
  cmake -S "$REPO" -B "$DIR" -G Ninja "$@" >/dev/null
fi
cmake --build "$DIR" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
