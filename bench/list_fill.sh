#!/usr/bin/env bash
# Fills the result list with 100,000 hits offscreen in each view (fill, sort,
# show, lay out, paint) and prints the times beside a reference from the same
# run: building the same 100,000 records and sorting them with std::sort.
# Usage: bench/list_fill.sh [build-dir]   (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build}
cmake --build "$build" --target list_fill_bench >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/list_fill_bench" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
