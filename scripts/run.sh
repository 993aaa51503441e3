#!/usr/bin/env bash
# Builds Quillet and starts it under Wine, with a virtual barcode scanner on
# COM7 and Notepad as a window to type into. Installs what it needs on a fresh
# Debian 12 (run as root or with sudo). Without a display it runs on Xvfb and
# saves a screenshot every few seconds to build/mingw/artifacts/run.png.
# Quit Quillet (or press Ctrl+C) to stop everything.
#   QUILLET_JOBS=N   parallel build jobs (default: number of CPUs)
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$quillet_root"

ensure_packages "${quillet_build_packages[@]}"

build=build/mingw
# The person's Quillet has a Wine prefix of its own: the tests use
# $build/wine and leave their configuration files there.
export QUILLET_WINE_HOME=$PWD/build/run
home=$QUILLET_WINE_HOME
say "Building Quillet (preset mingw)"
cmake --preset mingw >/dev/null
if ! cmake --build --preset mingw --parallel "${QUILLET_JOBS:-$(nproc)}" --target quillet quillet_host_helpers; then
  echo "run.sh: the build failed (no quillet target yet means app/win32/win_main.cpp is missing)" >&2
  exit 1
fi

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  tests/support/wine-env stop "$build" || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

say "Preparing Wine (prefix $home/wine)"
had_display=${DISPLAY:-}
tests/support/wine-env start "$build"
display=$(cat "$home/wine-state/display" 2>/dev/null || echo "$had_display")

tools/vscanner/vscanner --com 7 "$build" </dev/null &
pids+=($!)

if [[ -z $had_display ]]; then
  # Nobody can see Xvfb: keep a fresh picture of it for people to look at.
  (while sleep 5; do import -display "$display" -window root "$build/artifacts/run.png.tmp.png" 2>/dev/null &&
    mv -f "$build/artifacts/run.png.tmp.png" "$build/artifacts/run.png"; done) &
  pids+=($!)
  echo "run.sh: no display; Quillet runs on Xvfb $display, screenshot every 5 s in $build/artifacts/run.png" >&2
fi

# A window for the scanned text to land in, along the bottom of the screen
# so that it leaves Quillet's window in view.
reg_file=$home/wine-state/notepad.reg
printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Microsoft\Notepad]' \
  '"iWindowPosX"=dword:00000000' '"iWindowPosY"=dword:000002e4' \
  '"iWindowPosDX"=dword:00000500' '"iWindowPosDY"=dword:0000011c' >"$reg_file"
tests/support/wine-run "$build" "$home/wine/drive_c/windows/system32/reg.exe" import \
  "Z:${reg_file//\//\\}" </dev/null >/dev/null 2>&1 || true
# A first run gets a configuration with row 1 on the scanner's COM7, open,
# and Run Minimized: Quillet reopens it, hides in the tray and the scans land
# in Notepad. An existing configuration is left as the user made it.
ini_dir=$home/wine/drive_c/users/$(id -un)/AppData/Roaming/Brovana/Quillet
if [[ ! -e $ini_dir/skeneri.ini ]]; then
  mkdir -p "$ini_dir"
  printf '%s\r\n' '[skener1]' 'Port=COM7' '[Aktivacija]' 'cbotvori1=1' '[Startup]' 'RunMinimized=1' \
    >"$ini_dir/skeneri.ini"
fi

say "Starting Quillet: row 1 reads the virtual scanner on COM7; scans are typed into the focused window"
tests/support/wine-run "$build" "$build/quillet.exe" &
quillet_pid=$!
# Notepad comes second, so it is the window in front once Quillet has opened
# its rows (and hidden itself, with Run Minimized).
sleep 8
tests/support/wine-run "$build" "$home/wine/drive_c/windows/notepad.exe" </dev/null >/dev/null 2>&1 &
pids+=($!)
rc=0
wait "$quillet_pid" || rc=$?
echo "run.sh: Quillet exited with code $rc" >&2
exit "$rc"
