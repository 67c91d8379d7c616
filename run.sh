#!/usr/bin/env bash
# Installs what is missing, builds, creates a demo database when none exists
# and starts Vaccora. With arguments it runs the command-line interface
# (vaccora --help). Runs in the caller's working directory.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$REPO/scripts/deps.sh"
BUILD_TARGET=vaccora "$REPO/scripts/build.sh" build >&2
BIN="$REPO/build/cli/vaccora"
if [ $# -eq 0 ]; then
  db="${VACCORA_DATABASE:-PROTOCOL_DATABASE.GDB}"
  case "$db" in
    *:*) ;;  # a server database: not created here
    *) [ -e "$db" ] || "$BIN" init-db --demo ;;
  esac
fi
exec "$BIN" "$@"
