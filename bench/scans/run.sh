#!/bin/sh
# Prints the scan-framing figures under Wine, in the build's own test
# environment: bench/scans/run.sh [mingw build dir] [seconds] [rounds] [options]
# (options: --outside, --no-gather, --load-only; see scans_bench.cpp)
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
seconds=${2:-30}
rounds=${3:-90}
shift $(($# < 3 ? $# : 3))
cmake --build "$build" -j2 --target bench_scans quillet_host_helpers
echo "uptime: $(uptime)"
QUILLET_COM_PAIR=7:8,11:21,12:22,13:23,14:24,15:25,16:26,17:27 "$here/tests/support/wine-run" "$build" \
  "$build/bench/scans/bench_scans.exe" "$seconds" "$rounds" "$@"
echo "uptime: $(uptime)"
