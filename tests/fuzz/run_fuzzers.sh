#!/usr/bin/env bash
# Builds one libFuzzer target with clang into build-fuzz/ and runs it.
#   tests/fuzz/run_fuzzers.sh TARGET SECONDS
# The corpus grows in tests/fuzz/corpus-TARGET/ (not committed), seeded from
# the target's fixtures; a failing input is saved as tests/fuzz/crash-*.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$top"

# Real files to start from, per target.
case "$target" in
pe_fuzzer) seeds=(tests/data/pe) ;;
*) seeds=() ;;
esac

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMERVOK_FUZZ=ON -DMERVOK_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz -j 2 --target "$target"

corpus=tests/fuzz/corpus-$target
mkdir -p "$corpus"
# A single allocation above 64 MiB or an input taking 5 s counts as a failure.
exec "build-fuzz/fuzz/$target" "$corpus" "${seeds[@]}" \
  -max_total_time="$seconds" -timeout=5 -malloc_limit_mb=64 -max_len=16384 \
  -print_final_stats=1 -artifact_prefix=tests/fuzz/
