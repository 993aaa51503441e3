#!/usr/bin/env bash
# Runs every test tier: the native unit tests (ASan + UBSan), then the MinGW
# build and its Win32 integration and end-to-end tests under Wine + Xvfb.
# Installs what it needs on a fresh Debian 12 (run as root or with sudo).
# Prints one summary line and exits non-zero on any failure.
#   QUILLET_JOBS=N   parallel build/test jobs (default: number of CPUs)
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$quillet_root"

ensure_packages "${quillet_build_packages[@]}" clang-format

jobs=${QUILLET_JOBS:-$(nproc)}
failed=()
passed=()

# Runs one step, remembers whether it passed, and never stops the run.
step() {
  local name=$1
  shift
  say "$name"
  if "$@"; then
    passed+=("$name")
  else
    failed+=("$name")
    return 1
  fi
}

wine_env=tests/support/wine-env
mingw_env_started=0
stop_wine() {
  if ((mingw_env_started)); then
    "$wine_env" stop build/mingw || true
    mingw_env_started=0
  fi
}
trap stop_wine EXIT

# A skipped test hides what it was written to show: one fails the run unless
# its message says why it cannot run here. Reads the gtest output in CTest's log.
no_silent_skips() {
  local log=$1/Testing/Temporary/LastTest.log
  [[ -f $log ]] || { echo "test.sh: no test log at $log" >&2; return 1; }
  awk '
    /: Skipped$/ { collecting = 1; reason = ""; next }
    collecting && /^\[  SKIPPED \] / {
      if (reason == "") { print "test.sh: " $4 " was skipped without a reason" > "/dev/stderr"; bad = 1 }
      else print "test.sh: " $4 " was skipped: " reason > "/dev/stderr"
      collecting = 0; next
    }
    collecting && NF { reason = reason (reason == "" ? "" : " ") $0 }
    END { exit bad }
  ' "$log"
}

# Every C and C++ file the project keeps is as .clang-format lays it out.
formatted() {
  git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
}
step "format: sources match .clang-format" formatted || true

# Native tier.
if step "native: configure" cmake --preset native &&
  step "native: build" cmake --build --preset native --parallel "$jobs"; then
  step "native: unit tests" ctest --preset native --parallel "$jobs" || true
  step "native: no test skipped without a reason" no_silent_skips build/native || true
fi

# The tests must leave the prefix of scripts/run.sh (build/run) alone: a
# configuration they wrote there would replace the person's first run.
untouched_marker=$(mktemp)
person_prefix_untouched() {
  local written
  [[ -d build/run ]] || return 0
  written=$(find build/run -newer "$untouched_marker" -type f -print -quit 2>/dev/null)
  if [[ -n $written ]]; then
    echo "test.sh: the tests wrote into run.sh's prefix: $written" >&2
    return 1
  fi
}

# Windows tiers: one shared Wine environment, tests one at a time.
if step "mingw: configure" cmake --preset mingw &&
  step "mingw: build" cmake --build --preset mingw --parallel "$jobs"; then
  if step "mingw: start Wine" "$wine_env" start build/mingw; then
    mingw_env_started=1
    step "mingw: Win32 and end-to-end tests" ctest --preset mingw || true
    step "mingw: no test skipped without a reason" no_silent_skips build/mingw || true
  fi
  stop_wine
fi
step "mingw: run.sh's prefix untouched by the tests" person_prefix_untouched || true
rm -f "$untouched_marker"

echo
if ((${#failed[@]} == 0)); then
  echo "SUMMARY: all ${#passed[@]} steps passed (artifacts in build/mingw/artifacts/)"
  exit 0
fi
printf -v failed_list '%s; ' "${failed[@]}"
echo "SUMMARY: ${#failed[@]} of $((${#passed[@]} + ${#failed[@]})) steps FAILED: ${failed_list%; }"
exit 1
