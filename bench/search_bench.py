#!/usr/bin/env python3
"""Search benchmark: mervok-search against the shell tools a user would use.

search_bench.py [--dist build/dist] [--tree /tmp/mervok-bench-tree] [--runs 3]

Prints, from one run on one tree (made by make_search_tree.py when missing):
  1. the walk alone, `mervok-search -r --no-check`, against `find` with the
     same case-insensitive four-extension name test (target: at most 1.0x);
  2. the whole search against find + bsdtar -tf + grep giving the same hits
     (target: at least 50x faster), and whether the hits are identical;
  3. the peak memory of the whole search (target: under 100 MB).
Times are the best of --runs warm runs.
"""
import argparse
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DOC_RE = r"\.(txt|hlp|doc|htm|html|chm)$"
NAME_TEST = r"-iname '*.lzh' -o -iname '*.zip' -o -iname '*.cab' -o -iname '*.exe'"


def timed(cmd, shell=False):
    """Wall time, output and peak resident memory (kB) of one command."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, shell=shell, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    _, _, usage = os.wait4(proc.pid, 0)
    proc.returncode = 0
    return time.perf_counter() - start, out, usage.ru_maxrss


def best(cmd, runs, shell=False):
    results = [timed(cmd, shell) for _ in range(runs)]
    return min(r[0] for r in results), results[-1][1], max(r[2] for r in results)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dist", default=os.path.join(HERE, "..", "build", "dist"))
    ap.add_argument("--tree", default="/tmp/mervok-bench-tree")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()

    tool = os.path.join(args.dist, "mervok-search")
    if not os.path.isdir(args.tree):
        subprocess.run([sys.executable, os.path.join(HERE, "make_search_tree.py"), args.tree], check=True)
    tree = args.tree.rstrip("/")
    with open(tree + ".expected") as f:
        expected = sorted(line.rstrip("\n") for line in f)

    find_cmd = ("find %s -name '.*' -prune -o -type f \\( %s \\) -print" % (tree, NAME_TEST))
    # Warm the cache once.
    timed(find_cmd, shell=True)
    timed([tool, "-r", "--no-check", tree])

    t_find, out_find, _ = best(find_cmd, args.runs, shell=True)
    t_walk, out_walk, _ = best([tool, "-r", "--no-check", "--json", tree], args.runs)
    n_find = len(out_find.splitlines())
    n_walk = len(json.loads(out_walk))
    print("walk alone:    mervok-search -r --no-check %.3f s, find %.3f s, ratio %.2f "
          "(target <= 1.0); candidates %d vs %d" % (t_walk, t_find, t_walk / t_find, n_walk, n_find))

    pipeline = ("%s | while IFS= read -r f; do bsdtar -tf \"$f\" 2>/dev/null | "
                "grep -qiE '%s' && printf '%%s\\n' \"$f\"; done" % (find_cmd, DOC_RE))
    t_pipe, out_pipe, _ = best(pipeline, 1, shell=True)
    t_full, out_full, peak_kb = best(
        [tool, "-r", "--json", "--doc-types", "HLP DOC HTM HTML CHM", tree], args.runs)
    hits = sorted(h["path"] for h in json.loads(out_full))
    pipe_hits = sorted(out_pipe.decode("utf-8", "surrogateescape").splitlines())
    print("whole search:  mervok-search -r %.3f s, find+bsdtar+grep %.3f s, %.1fx faster "
          "(target >= 50x)" % (t_full, t_pipe, t_pipe / t_full))
    print("hits:          mervok-search %d, pipeline %d, generator %d; identical to pipeline: %s, "
          "to generator: %s" % (len(hits), len(pipe_hits), len(expected), hits == pipe_hits,
                                hits == expected))
    if hits != pipe_hits:
        only_ours = sorted(set(hits) - set(pipe_hits))[:5]
        only_pipe = sorted(set(pipe_hits) - set(hits))[:5]
        print("  only mervok-search: %s\n  only pipeline: %s" % (only_ours, only_pipe))
    print("peak memory:   %.1f MB (target < 100 MB)" % (peak_kb / 1024.0))


if __name__ == "__main__":
    sys.exit(main())
