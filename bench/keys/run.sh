#!/bin/sh
# Prints the key-name and pace figures under Wine, in the build's own test
# environment: bench/keys/run.sh [mingw build dir]
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
cmake --build "$build" -j2 --target bench_keys_named bench_keys_pace quillet_host_helpers
echo "uptime: $(uptime)"
"$here/tests/support/wine-run" "$build" "$build/bench/keys/bench_keys_named.exe"
QUILLET_COM_PAIR=7:8 "$here/tests/support/wine-run" "$build" "$build/bench/keys/bench_keys_pace.exe"
echo "uptime: $(uptime)"
