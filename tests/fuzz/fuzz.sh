#!/usr/bin/env bash
# Fuzzes the value parsers and the profile-file emulation with libFuzzer.
#   tests/fuzz/fuzz.sh [seconds per target, default 60]
# Installs clang-14 and libclang-rt-14-dev when missing. New inputs the fuzzer finds go to
# build/fuzz/corpus/<target>; copy the interesting ones (and any crash-*
# file, once fixed) into tests/fuzz/corpus/<target> so every test run
# replays them.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
ensure_packages cmake ninja-build clang-14 libclang-rt-14-dev
build=$root/build/fuzz
cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2
for pair in value_codecs:codecs profile_sim:profile; do
  target=${pair%%:*}
  corpus=${pair#*:}
  mkdir -p "$build/corpus/$corpus" "$build/crashes"
  "$build/fuzz_$target" -max_total_time="$seconds" -artifact_prefix="$build/crashes/$target-" \
    "$build/corpus/$corpus" "$root/tests/fuzz/corpus/$corpus"
done
