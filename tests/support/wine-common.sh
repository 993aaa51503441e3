# Shared by wine-run and wine-env (sourced, not run): the per-build Wine
# environment of the test harness. Everything lives under one build directory:
#   <build>/wine           the Wine prefix, created once with wineboot -i
#   <build>/wine-state/    lock, the Xvfb we started (display, pid), logs
#   <build>/artifacts/     screenshots and other files tests keep for people
# QUILLET_WINE_HOME=<dir> puts the prefix and the state under <dir> instead:
# scripts/run.sh gives the person's own Quillet a prefix the tests never touch.
# A persistent wineserver (-p) keeps each test start well under a second.
#
# shellcheck shell=bash

qw_die() {
  echo "wine-run: $*" >&2
  exit 125
}

# Sets the qw_* paths for a build directory and the Wine programs to use.
qw_init() {
  local build=$1
  [[ -d $build ]] || qw_die "no build directory: $build"
  qw_build=$(cd "$build" && pwd)
  local home=${QUILLET_WINE_HOME:-$qw_build}
  mkdir -p "$home"
  home=$(cd "$home" && pwd)
  qw_state=$home/wine-state
  qw_prefix=$home/wine
  qw_artifacts=$qw_build/artifacts
  mkdir -p "$qw_state" "$qw_artifacts"

  # Debian installs the 64-bit loader as /usr/lib/wine/wine64 and no wine64
  # command; the wine script would pick it too but costs a shell start.
  if command -v wine64 >/dev/null 2>&1; then
    qw_wine=$(command -v wine64)
  elif [[ -x /usr/lib/wine/wine64 ]]; then
    qw_wine=/usr/lib/wine/wine64
    export WINELOADER=$qw_wine
  else
    qw_wine=$(command -v wine) || qw_die "wine is not installed"
  fi
  if [[ -x /usr/lib/wine/wineserver64 ]]; then
    qw_server=/usr/lib/wine/wineserver64
  else
    qw_server=$(command -v wineserver) || qw_die "wineserver is not installed"
  fi

  qw_shim=${QUILLET_MODEMSHIM:-$qw_build/tests/support/libquillet_modemshim.so}
  qw_ptypair=${QUILLET_PTYPAIR:-$qw_build/tests/support/ptypair}

  export WINEPREFIX=$qw_prefix
  # QUILLET_WINEDEBUG=+comm (say) turns Wine's own trace on for a run.
  export WINEDEBUG=${QUILLET_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export QUILLET_ARTIFACTS=$qw_artifacts
}

# Runs the rest of the caller's setup under an exclusive lock, so concurrent
# first calls create one prefix and one Xvfb.
qw_lock() {
  exec {qw_lock_fd}>"$qw_state/lock"
  flock "$qw_lock_fd"
}

qw_unlock() {
  flock -u "$qw_lock_fd"
  exec {qw_lock_fd}>&-
}

qw_pid_alive() {
  [[ -n ${1:-} ]] && kill -0 "$1" 2>/dev/null
}

# Uses the Xvfb this build started before if it still runs, else $DISPLAY if
# set, else starts Xvfb on a free display number (100 and up stays clear of
# the numbers people use by hand).
qw_ensure_display() {
  local pid display
  pid=$(cat "$qw_state/xvfb.pid" 2>/dev/null || true)
  display=$(cat "$qw_state/display" 2>/dev/null || true)
  if qw_pid_alive "$pid" && [[ -S /tmp/.X11-unix/X${display#:} ]]; then
    export DISPLAY=$display
    return 0
  fi
  rm -f "$qw_state/xvfb.pid" "$qw_state/display"
  [[ -n ${DISPLAY:-} ]] && return 0
  # The Wine desktop of a running server belongs to the old display.
  "$qw_server" -k </dev/null >/dev/null 2>&1 || true

  local n fifo=$qw_state/xvfb.fifo
  for ((n = 100; n < 200; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    rm -f "$fifo"
    mkfifo "$fifo"
    # -displayfd: Xvfb writes the number once it accepts connections, so
    # there is nothing to poll for.
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -displayfd 9 \
      9>"$fifo" </dev/null >"$qw_state/xvfb.log" 2>&1 &
    pid=$!
    local got=""
    read -r -t 15 got <"$fifo" || true
    rm -f "$fifo"
    if [[ $got == "$n" ]] && qw_pid_alive "$pid"; then
      echo "$pid" >"$qw_state/xvfb.pid"
      echo ":$n" >"$qw_state/display"
      export DISPLAY=:$n
      return 0
    fi
    kill "$pid" 2>/dev/null || true # lost a race for :$n; try the next one
  done
  qw_die "cannot start Xvfb (see $qw_state/xvfb.log)"
}

# Creates the prefix once and keeps one persistent wineserver for it. Every
# Wine process started here has its output in a log: a daemon holding the
# caller's stdout would keep CTest waiting.
qw_ensure_server() {
  if [[ ! -f $qw_state/prefix-ready ]]; then
    mkdir -p "$qw_prefix"
    "$qw_server" -p </dev/null >>"$qw_state/wine.log" 2>&1 || true
    "$qw_wine" wineboot.exe -i </dev/null >>"$qw_state/wine.log" 2>&1 ||
      qw_die "wineboot -i failed (see $qw_state/wine.log)"
    touch "$qw_state/prefix-ready"
  fi
  # Exit status 2 means a server already runs for this prefix.
  if "$qw_server" -p </dev/null >>"$qw_state/wine.log" 2>&1; then
    # Fresh server: start the system processes now, not inside a test.
    "$qw_wine" wineboot.exe </dev/null >>"$qw_state/wine.log" 2>&1 || true
  fi
}

# Adds the modem-line shim to LD_PRELOAD of the Wine processes started next.
qw_export_shim() {
  if [[ -f $qw_shim ]]; then
    case ":${LD_PRELOAD:-}:" in
      *":$qw_shim:"*) ;;
      *) export LD_PRELOAD=$qw_shim${LD_PRELOAD:+:$LD_PRELOAD} ;;
    esac
  else
    echo "wine-run: warning: modem-line shim not built ($qw_shim); serial tests will fail" >&2
  fi
}

qw_ensure_all() {
  qw_lock
  qw_ensure_display
  qw_ensure_server
  qw_unlock
  qw_export_shim
}

# Registers COM ports in the serial-port map that programs list ports from,
# all in one Wine process (each one costs a few tenths of a second).
qw_register_com() {
  local n reg_file=$qw_state/serialcomm-$$.reg
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n'
    for n in "$@"; do
      [[ $n =~ ^[0-9]+$ ]] || qw_die "bad COM port number: $n"
      printf '"\\\\Device\\\\Serial%d"="COM%d"\r\n' "$((n - 1))" "$n"
    done
  } >"$reg_file"
  local win_file=${reg_file//\//\\}
  if ! "$qw_wine" reg.exe import "Z:$win_file" </dev/null >>"$qw_state/wine.log" 2>&1; then
    rm -f "$reg_file"
    qw_die "cannot register COM ports $*"
  fi
  rm -f "$reg_file"
}

# Ends the wineserver of this prefix and the Xvfb this build started.
qw_stop() {
  "$qw_server" -k </dev/null >/dev/null 2>&1 || true
  local pid
  pid=$(cat "$qw_state/xvfb.pid" 2>/dev/null || true)
  if qw_pid_alive "$pid"; then
    kill "$pid" 2>/dev/null || true
    # Xvfb removes its lock and socket as it exits; wait for that.
    timeout 10 tail --pid="$pid" -f /dev/null || true
  fi
  rm -f "$qw_state/xvfb.pid" "$qw_state/display"
}
