#!/usr/bin/env bash
# Installs what is missing, builds and runs every test with ctest.
# SANITIZE=1 ./test.sh builds and tests with ASan+UBSan in build-asan.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$REPO/scripts/deps.sh"
if [ "${SANITIZE:-0}" = 1 ]; then
  B="$REPO/build-asan"
  export LSAN_OPTIONS="suppressions=$REPO/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  "$REPO/scripts/build.sh" "$B" -DVACCORA_SANITIZE=ON -DVACCORA_BENCH=OFF
else
  B="$REPO/build"
  "$REPO/scripts/build.sh" "$B"
fi
export VACCORA_SERVER_DIR="$B/fbserver"
VACCORA_SERVER_PORT=$("$REPO/scripts/firebird-server" start)
export VACCORA_SERVER_PORT
trap '"$REPO/scripts/firebird-server" stop' EXIT
ctest --test-dir "$B" --output-on-failure -j"$(nproc)" "$@"
