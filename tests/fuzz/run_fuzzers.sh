#!/usr/bin/env bash
# Runs one fuzzer for a number of seconds: run_fuzzers.sh TARGET SECONDS [ARG...]
# Builds the fuzzers with clang in build-fuzz/ when needed. The corpus grows in
# tests/fuzz/corpus-TARGET/ (not committed), seeded from the folders listed in
# tests/fuzz/TARGET.seeds when it exists, with the dictionary TARGET.dict
# when there is one; crashes, and inputs that take over 2 s (work a crafted
# file can force must stay bounded), land in tests/fuzz/. Further arguments go
# to libFuzzer: on a busy machine, at nice 19, "-fork=1 -ignore_timeouts=1"
# keeps the run going past inputs that were only starved of CPU; each
# timeout-* file is then run again alone to tell them from real findings.
set -euo pipefail

target=${1:?usage: run_fuzzers.sh TARGET SECONDS}
seconds=${2:?usage: run_fuzzers.sh TARGET SECONDS}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$top/build-fuzz

# The page fuzzer needs the viewer's window part (Qt, offscreen); the others
# build without Qt.
gui=OFF
[ "$target" = page_fuzzer ] && gui=ON
if [ ! -f "$build/build.ninja" ] || [ "$gui" = ON ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DMERVOK_FUZZ=ON \
    -DMERVOK_BUILD_GUI=$gui -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target "$target" -j 2

corpus=$here/corpus-$target
mkdir -p "$corpus"
if [ -f "$here/$target.seeds" ]; then
  while read -r folder; do
    [ -n "$folder" ] && [ "${folder#\#}" = "$folder" ] || continue
    find "$top/$folder" -maxdepth 1 -type f -size -2M -exec cp -n {} "$corpus/" \;
  done <"$here/$target.seeds"
fi

args=("${@:3}")
[ -f "$here/$target.dict" ] && args+=("-dict=$here/$target.dict")

# Scratch files that a fuzzer writes go to a folder removed afterwards (tmpfs
# when there is one: the settings store flushes every write to disk).
scratch_base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_base=/dev/shm
scratch=$(mktemp -d "$scratch_base/mervok-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cd "$here"
TMPDIR=$scratch ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$here/lsan.supp \
  "$build/fuzz/$target" "$corpus" \
  -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 -max_len=1100000 \
  -print_final_stats=1 ${args[@]+"${args[@]}"}
