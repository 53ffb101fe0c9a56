#!/usr/bin/env bash
# Warm look-up speed of the archiver libraries on large archives whose only
# document is the last entry: a ZIP of 10,000 entries, an LZH of 1,000 and a
# CAB of 1,000. Each look-up (OpenArchive + FindFirst + CloseArchive) is
# averaged over many runs and set beside `bsdtar -tf` of the same archive and
# beside listing it with libarchive in-process.
#   bench/lookup_bench.sh [BUILD_DIR]     (default: build/)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build}
out=$top/bench/out
mkdir -p "$out"

if [ ! -f "$build/dist/libunzip32.so" ]; then
  [ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja -DMERVOK_BUILD_GUI=OFF >/dev/null
  cmake --build "$build" --target unlha32 unzip32 cab32 -j 2 >/dev/null
fi
dist=$build/dist

c++ -O2 -std=c++20 -I"$top/src/archivers/plugins" "$top/bench/lookup_bench.cpp" \
  -o "$out/lookup_bench" -ldl -larchive

make_tree() { # folder, count: count-1 data files in sub-folders, then one document
  local dir=$1 count=$2
  rm -rf "$dir"
  mkdir -p "$dir"
  (
    cd "$dir"
    for ((i = 1; i < count; i++)); do
      sub=$(printf 'part%02d' $((i % 50)))
      mkdir -p "$sub"
      printf 'data %d\n' "$i" >"$sub/$(printf 'file%05d.dat' "$i")"
    done
    mkdir -p zz
    echo "the only document" >zz/readme.txt
    # Archive order: the document last.
    find . -type f -name '*.dat' | sort >list
    echo ./zz/readme.txt >>list
  )
}

if [ ! -f "$out/big.zip" ]; then
  make_tree "$out/zip-tree" 10000
  (cd "$out/zip-tree" && grep -v '^$' list | zip -q -X "$out/big.zip" -@)
fi
if [ ! -f "$out/big.lzh" ]; then
  make_tree "$out/lzh-tree" 1000
  (cd "$out/lzh-tree" && LC_ALL=C.UTF-8 lha aq "$out/big.lzh" $(cat list) >/dev/null 2>&1)
fi
if [ ! -f "$out/big.cab" ]; then
  make_tree "$out/cab-tree" 1000
  (cd "$out/cab-tree" && gcab -cz "$out/big.cab" $(sed 's|^\./||' list))
fi

docs='*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM'
runs=${RUNS:-2000}
bsdtar_runs=${BSDTAR_RUNS:-50}

bsdtar_ms() { # archive: mean processor time (user + system) of bsdtar -tf, ms
  bsdtar -tf "$1" >/dev/null
  local TIMEFORMAT='%U %S'
  local spent
  spent=$({ time (for ((i = 0; i < bsdtar_runs; i++)); do bsdtar -tf "$1" >/dev/null; done); } 2>&1)
  awk -v u="${spent% *}" -v s="${spent#* }" -v n="$bsdtar_runs" 'BEGIN { printf "%.3f", (u + s) * 1000 / n }' 
}

ms() { awk -v v="$1" 'BEGIN { printf "%.4f", v / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

echo "Warm look-up of the only document (the last entry); processor time per run,"
echo "wall time in brackets (this machine may be busy)."
printf '%-26s %20s %22s %8s %14s %8s\n' archive "look-up ms" "libarchive list ms" ratio "bsdtar -tf ms" ratio
for spec in "libunzip32.so UnZip big.zip" "libunlha32.so Unlha big.lzh" "libcab32.so Cab big.cab"; do
  set -- $spec
  archive=$out/$3
  wildcards=$docs
  # CAB is asked one wildcard at a time; the first one finds the document.
  [ "$2" = Cab ] && wildcards='*.TXT'
  read -r cpu wall list_cpu list_wall entries < <("$out/lookup_bench" "$dist/$1" "$2" "$archive" "$wildcards" "$runs")
  tar_ms=$(bsdtar_ms "$archive")
  printf '%-26s %8.3f (%8.3f) %10.3f (%8.3f) %7.1fx %14.3f %7.1fx\n' "$3 ($entries entries)" \
    "$(ms "$cpu")" "$(ms "$wall")" "$(ms "$list_cpu")" "$(ms "$list_wall")" "$(ratio "$list_cpu" "$cpu")" \
    "$tar_ms" "$(ratio "$(awk -v t="$tar_ms" 'BEGIN { print t * 1000 }')" "$cpu")"
done
echo "ratio: how many times longer the reference takes than our look-up"
