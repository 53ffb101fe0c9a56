#!/usr/bin/env bash
# The whole search over a network share and on a cold local disk, against the
# walk alone and against find on the same tree; then the warm figures of
# search_bench.py.
#
#   bench/share_bench.sh BUILD_DIR [TREE] [RUNS]
#
# Needs root (a private network and mount namespace, dropping the page cache)
# and, beyond what the other benchmarks use (python3, zip, jlha-utils, gcab,
# libarchive-tools, bc), the Debian packages openssh-server and sshfs. Nothing
# leaves the machine: an sshd of its own listens on 127.0.0.1 inside a network
# namespace of its own, with a throwaway key and configuration in a temporary
# folder; the share is mounted with sshfs in a private mount namespace, and
# all of it is torn down at the end.
#
# TREE (default /tmp/mervok-share-tree) holds 60,000 files with 3,000 real
# archives of the four kinds, a third without documents (make_search_tree.py
# makes it when missing). Every run over the share starts on a fresh mount,
# so that nothing is cached on this side, while the server keeps the tree in
# its memory as a file server would (COLD_SERVER=1 drops that too); every
# local run starts with the page cache dropped. Times are medians of RUNS
# (default 3).
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR [TREE] [RUNS]}" && pwd)
tree=${2:-/tmp/mervok-share-tree}
tree=${tree%/}
runs=${3:-3}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dist=$build/dist
tool=$dist/mervok-search
port=2222

if [ "${MERVOK_SHARE_NAMESPACE:-}" != 1 ]; then
  [ "$(id -u)" = 0 ] || { echo "$0: needs root" >&2; exit 2; }
  for need in sshd sshfs fusermount3 unshare ip bc bsdtar /usr/bin/time; do
    command -v "$need" >/dev/null || [ -x "/usr/sbin/$need" ] ||
      { echo "$0: $need is missing (bash scripts/setup.sh bench installs it)" >&2; exit 2; }
  done
  if [ ! -s "$tree.expected" ]; then
    python3 "$here/make_search_tree.py" "$tree" --files 60000 --archives 3000
  fi
  exec unshare --net --mount --propagation private env MERVOK_SHARE_NAMESPACE=1 \
    COLD_SERVER="${COLD_SERVER:-0}" bash "$0" "$build" "$tree" "$runs"
fi

# From here on inside the namespaces.
work=$(mktemp -d /tmp/mervok-share.XXXXXX)
mnt=$work/mnt
sshd_pid=
teardown() {
  mountpoint -q "$mnt" 2>/dev/null && fusermount3 -u "$mnt" 2>/dev/null || true
  [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null && wait "$sshd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap teardown EXIT
trap 'exit 130' INT TERM

ip link set lo up
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/key"
cp "$work/key.pub" "$work/authorized_keys"
cat >"$work/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
EOF
# sshd's privilege separation folder, in a /run of this namespace alone.
mount -t tmpfs tmpfs /run
mkdir /run/sshd
/usr/sbin/sshd -D -f "$work/sshd_config" -E "$work/sshd.log" </dev/null >/dev/null 2>&1 &
sshd_pid=$!
mkdir "$mnt"

mount_share() {
  mountpoint -q "$mnt" && fusermount3 -u "$mnt"
  local tries
  for tries in $(seq 50); do
    if sshfs -p "$port" -o IdentityFile="$work/key" -o BatchMode=yes \
      -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null \
      "root@127.0.0.1:$tree" "$mnt" 2>/dev/null; then
      return
    fi
    sleep 0.1 # sshd still starting
  done
  echo "$0: cannot mount the share; sshd said:" >&2
  cat "$work/sshd.log" >&2
  exit 1
}
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

names=(-iname '*.lzh' -o -iname '*.zip' -o -iname '*.cab' -o -iname '*.exe')
run_find() { LC_ALL=C find "$1" -mindepth 1 -type d -name '.*' -prune -o -type f \( "${names[@]}" \) -print; }
run_walk() { "$tool" -r --no-check --json "$1"; }
run_search() { "$tool" -r --json --doc-types "HLP DOC HTM HTML CHM" "$1"; }

seconds() { # OUT command...: wall seconds of the command, its output in OUT
  local out=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" >"$out" 2>/dev/null || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { echo "$1 / $2" | bc -l; }

# The hits as paths below the tree, sorted, against the generator's list.
hits_match() { # JSON-OUTPUT PREFIX
  python3 - "$1" "$2" "$tree" <<'EOF'
import json, sys
out, prefix, tree = sys.argv[1:]
hits = sorted(h["path"][len(prefix):] for h in json.load(open(out)))
expected = sorted(line.rstrip("\n")[len(tree):] for line in open(tree + ".expected"))
print("identical" if hits == expected else "DIFFERENT (%d vs %d)" % (len(hits), len(expected)))
EOF
}

measure() { # LABEL FOLDER FRESH-MOUNT(0/1)
  local label=$1 folder=$2 fresh=$3 step t f=() w=() s=()
  for _ in $(seq "$runs"); do
    for step in find walk search; do
      if [ "$fresh" = 1 ]; then
        mount_share
        [ "${COLD_SERVER:-0}" = 1 ] && drop_caches
      else
        drop_caches
      fi
      t=$(seconds "$work/$step.out" "run_$step" "$folder")
      case $step in
        find) f+=("$t") ;;
        walk) w+=("$t") ;;
        search) s+=("$t") ;;
      esac
    done
  done
  local mf mw ms
  mf=$(printf '%s\n' "${f[@]}" | median)
  mw=$(printf '%s\n' "${w[@]}" | median)
  ms=$(printf '%s\n' "${s[@]}" | median)
  printf '%s: find %.3f s, walk (--no-check) %.3f s, whole search %.3f s\n' "$label" "$mf" "$mw" "$ms"
  printf '  whole search / walk %.2f, whole search / find %.2f, walk / find %.2f; ' \
    "$(ratio "$ms" "$mw")" "$(ratio "$ms" "$mf")" "$(ratio "$mw" "$mf")"
  printf 'candidates %d (find %d); hits %s\n' \
    "$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$work/walk.out")" \
    "$(wc -l <"$work/find.out")" "$(hits_match "$work/search.out" "$folder")"
}

echo "tree $tree: $(find "$tree" -type f | wc -l) files, $(run_find "$tree" | wc -l) archives; medians of $runs"
run_find "$tree" >/dev/null # the server's cache
mount_share
measure "share (sshfs, fresh mount)" "$mnt" 1
fusermount3 -u "$mnt"
measure "local disk, cold cache" "$tree" 0
drop_caches
peak=$( { /usr/bin/time -f %M "$tool" -r "$tree" >/dev/null; } 2>&1 | tail -1)
printf 'peak memory of the whole search: %.1f MB\n' "$(echo "$peak / 1024" | bc -l)"
echo "targets: share: search <= 1.5x walk and <= 1.0x find; local cold: search <= 2x find"
echo "warm (search_bench.py):"
python3 "$here/search_bench.py" --dist "$dist" --tree "$tree" --runs "$runs"
