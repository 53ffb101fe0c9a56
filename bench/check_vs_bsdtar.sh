#!/usr/bin/env bash
# The whole search (walk and document check, through the program's own
# archiver libraries) against what a user would otherwise do: find the
# archives and list each one with bsdtar, looking for a document. Also the
# check on one thread against eight.
#
#   bench/check_vs_bsdtar.sh BUILD_DIR [TREE] [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR [TREE] [RUNS]}" && pwd)
tree=${2:-/tmp/mervok-bench-archives}
runs=${3:-3}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fixtures=$here/../tests/data/archives
bench=$build/bench/walk_bench
dist=$build/dist

if [ ! -e "$tree/.complete" ]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  # Two large archives whose only document comes last.
  work=$(mktemp -d)
  mkdir -p "$work/big"
  (cd "$work/big" && for i in $(seq 1 3000); do echo "$i" >"f$i.dat"; done && echo doc >zz.txt)
  (cd "$work/big" && zip -qr ../big.zip . && lha -aq ../big.lzh ./*.dat zz.txt)
  for d in $(seq 1 40); do
    mkdir -p "$tree/d$d/sub"
    cp "$fixtures"/lha/*.lzh "$fixtures"/zip/*.zip "$fixtures"/cab/*.cab "$tree/d$d/"
    cp "$fixtures"/sfx/*.exe "$fixtures"/stub/*.exe "$tree/d$d/sub/"
    for i in $(seq 1 25); do echo "$i" >"$tree/d$d/note$i.txt"; done
    if [ $((d % 4)) = 0 ]; then cp "$work/big.zip" "$work/big.lzh" "$tree/d$d/"; fi
  done
  rm -rf "$work"
  touch "$tree/.complete"
fi

names=(-iname '*.lzh' -o -iname '*.zip' -o -iname '*.cab' -o -iname '*.exe')
find_bsdtar() {
  LC_ALL=C find "$tree" -mindepth 1 -type d -name '.*' -prune -o -type f \( "${names[@]}" \) -print0 |
    while IFS= read -r -d '' f; do
      bsdtar -tf "$f" 2>/dev/null | grep -qiE '\.(txt|hlp|doc|htm|html|chm)$' && echo "$f"
    done | wc -l
}
search1() { "$bench" "$tree" all --check 1 "$dist"; }
search8() { "$bench" "$tree" all --check 8 "$dist"; }

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() { # function: median wall seconds over the runs
  local t=()
  for _ in $(seq "$runs"); do t+=("$(seconds "$1")"); done
  printf '%s\n' "${t[@]}" | median
}

echo "archives: $(LC_ALL=C find "$tree" -type f \( "${names[@]}" \) | wc -l)," \
  "hits: search $(search1), find+bsdtar $(find_bsdtar)"
ref=$(timed find_bsdtar)
one=$(timed search1)
eight=$(timed search8)
printf 'find+bsdtar %.3f s\nsearch, 1 thread  %.3f s  ratio %.3f\nsearch, 8 threads %.3f s  ratio %.3f\n' \
  "$ref" "$one" "$(echo "$one / $ref" | bc -l)" "$eight" "$(echo "$eight / $ref" | bc -l)"
