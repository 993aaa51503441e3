#!/bin/sh
# CPU of quillet.exe with eight rows waiting for devices that are not there
# (their retries running), beside the same program idle with no row, under
# Wine in the build's own test environment (tests/support/wine-run):
#   bench/reconnect/run.sh [mingw build dir] [seconds] [repeats]
# Keep the machine quiet: the load average is printed beside each figure.
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
seconds=${2:-30}
repeats=${3:-3}
cmake --build "$build" -j2 --target bench_reconnect_waiting quillet quillet_host_helpers
echo "uptime: $(uptime)"
"$here/tests/support/wine-run" "$build" "$build/bench/reconnect/bench_reconnect_waiting.exe" \
  "$build/quillet.exe" "$seconds" "$repeats"
echo "uptime: $(uptime)"
