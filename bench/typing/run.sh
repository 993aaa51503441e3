#!/bin/sh
# Prints the typing-wait figures under Wine, in the build's own test
# environment: bench/typing/run.sh [mingw build dir] [characters] [us a character]
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
cmake --build "$build" -j2 --target bench_typing_wait_signals
echo "uptime: $(uptime)"
"$here/tests/support/wine-run" "$build" "$build/bench/typing/bench_typing_wait_signals.exe" \
  "${2:-3000}" "${3:-0}"
echo "uptime: $(uptime)"
