#!/usr/bin/env bash
# Builds one fuzzer with clang, libFuzzer, AddressSanitizer and UBSan in
# build-fuzz/ and runs it for the given number of seconds.
#   tests/fuzz/run_fuzzers.sh ini_fuzzer 600
# The corpus grows in tests/fuzz/corpus-TARGET/ (not committed), seeded from
# tests/fuzz/seeds/TARGET/ when that exists; a crash is saved as
# tests/fuzz/crash-* and makes the script fail.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$top/tests/fuzz
build=$top/build-fuzz

if ! command -v clang++ >/dev/null; then
  echo "clang is needed: apt-get install clang" >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVOK_FUZZ=ON -DMERVOK_SANITIZE=ON \
  -DMERVOK_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j 2 --target "$target"

corpus=$here/corpus-$target
mkdir -p "$corpus"
args=("-max_total_time=$seconds" "-artifact_prefix=$here/crash-$target-" -print_final_stats=1)
[ -f "$here/$target.dict" ] && args+=("-dict=$here/$target.dict")
dirs=("$corpus")
[ -d "$here/seeds/$target" ] && dirs+=("$here/seeds/$target")

# Scratch files of the fuzzers go to a folder that is removed afterwards.
scratch=$(mktemp -d "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/mervok-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

TMPDIR=$scratch ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build/fuzz/$target" "${args[@]}" "${dirs[@]}"
