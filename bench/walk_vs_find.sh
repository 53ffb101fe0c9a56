#!/usr/bin/env bash
# The search's walk alone against find with the same name test, on the same
# tree, caches warm. Prints both medians and their ratio (walk / find).
#
#   bench/walk_vs_find.sh BUILD_DIR [TREE] [RUNS]
#
# TREE defaults to a 200,000-file tree made once under /tmp.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [TREE] [RUNS]}
tree=${2:-/tmp/mervok-bench-tree}
runs=${3:-7}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench=$build/bench/walk_bench

python3 "$here/make_tree.py" "$tree"

# Dot folders are not entered, as in the walk; names are compared without
# regard to case.
find_walk() {
  LC_ALL=C find "$tree" -mindepth 1 -type d -name '.*' -prune -o \
    \( -iname '*.lzh' -o -iname '*.zip' -o -iname '*.cab' -o -iname '*.exe' \) -print | wc -l
}
our_walk() { "$bench" "$tree" all; }
# One format: the walk lists with "*.lzh".
find_lzh() {
  LC_ALL=C find "$tree" -mindepth 1 -type d -name '.*' -prune -o -iname '*.lzh' -print | wc -l
}
our_lzh() { "$bench" "$tree" lzh; }

seconds() { # command...; prints wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

compare() { # label find-function walk-function
  local found_find found_ours mf mw f=() w=()
  found_find=$($2)
  found_ours=$($3)
  [ "$found_find" = "$found_ours" ] || echo "warning: $1: find $found_find, walk $found_ours" >&2
  for _ in $(seq "$runs"); do
    f+=("$(seconds "$2")")
    w+=("$(seconds "$3")")
  done
  mf=$(printf '%s\n' "${f[@]}" | median)
  mw=$(printf '%s\n' "${w[@]}" | median)
  printf '%-12s %6s candidates  find %.3f s  walk %.3f s  ratio walk/find %.2f\n' "$1" \
    "$found_ours" "$mf" "$mw" "$(echo "$mw / $mf" | bc -l)"
}

find_walk >/dev/null # warm the caches
compare "four formats" find_walk our_walk
compare "lzh only" find_lzh our_lzh
