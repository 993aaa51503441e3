#!/bin/sh
# A soak of quillet.exe under Wine, in the build's own prefix and display
# (tests/support/wine-run): eight ports scanning from outside Wine, one
# unplugged and plugged back every minute, Settings > Load every five
# minutes; memory, handles and GUI objects sampled every 10 s:
#   bench/soak/run.sh [mingw build dir] [minutes, default 2]
# Keep the machine quiet: the load average is printed beside the figures.
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/mingw}
minutes=${2:-2}
cmake --build "$build" -j2 --target bench_soak quillet quillet_host_helpers
echo "uptime: $(uptime)"
QUILLET_COM_PAIR=7:8,11:21,12:22,13:23,14:24,15:25,16:26,17:27 "$here/tests/support/wine-run" "$build" \
  "$build/bench/soak/bench_soak.exe" "$build/quillet.exe" "$minutes"
echo "uptime: $(uptime)"
