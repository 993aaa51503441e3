#!/bin/sh
# Prints Quillet's benchmark figures. Usage: bench/run.sh [mingw build dir]
# Runs under its own Wine prefix and Xvfb display unless DISPLAY and
# WINEPREFIX are set.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/mingw}
cmake --build "$build" --target bench_startup quillet bench_empty_window bench_empty_window_cc
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$build/bench-wine}
started_xvfb=
if [ -z "${DISPLAY:-}" ]; then
  display=:$(( 90 + $$ % 9 ))
  Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
  started_xvfb=$!
  export DISPLAY=$display
  sleep 1
fi
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
wine "$build/bench/startup/bench_startup.exe" "$build/quillet.exe" "$build/bench/startup/bench_empty_window.exe" 7 \
  "$build/bench/startup/bench_empty_window_cc.exe"
"$here/bench/console/run.sh" "$build"
"$here/bench/scans/run.sh" "$build"
"$here/bench/reconnect/run.sh" "$build"
"$here/bench/soak/run.sh" "$build"
"$here/tests/support/wine-env" stop "$build"
wineserver -k || true
[ -z "$started_xvfb" ] || kill "$started_xvfb"
