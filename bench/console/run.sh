#!/bin/sh
# Prints the device console's figures under Wine, in the build's own test
# environment (prefix, display, modem-line shim: tests/support/wine-run):
#   bench/console/run.sh [mingw build dir] [typing rounds] [idle seconds] [idle repeats]
# Figures under Wine mean something only beside their baselines in the same
# run; keep the machine quiet (the load average is printed with them).
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
rounds=${2:-200}
seconds=${3:-10}
repeats=${4:-3}
cmake --build "$build" -j2 --target bench_console_typing bench_console_idle bench_console_idle_baseline \
  quillet receiver quillet_host_helpers
run="$here/tests/support/wine-run"
echo "uptime: $(uptime)"
QUILLET_COM_PAIR=7:8 "$run" "$build" "$build/bench/console/bench_console_typing.exe" \
  "$build/tools/receiver/receiver.exe" "$rounds"
echo "uptime: $(uptime)"
QUILLET_COM_PAIR=11:21,12:22,13:23,14:24,15:25,16:26,17:27,18:28 "$run" "$build" \
  "$build/bench/console/bench_console_idle.exe" "$build/quillet.exe" \
  "$build/bench/console/bench_console_idle_baseline.exe" "$seconds" "$repeats"
echo "uptime: $(uptime)"
