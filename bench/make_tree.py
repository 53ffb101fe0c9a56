#!/usr/bin/env python3
"""Makes a tree of empty files for the walk benchmarks.

make_tree.py FOLDER [FILES]: about FILES files (200,000 by default) in three
levels of folders, one in a hundred with an archive extension in mixed case,
a few dot folders. Does nothing when FOLDER already holds a finished tree.
"""
import os
import random
import sys

top = sys.argv[1]
files = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
done = os.path.join(top, ".complete")
if os.path.exists(done):
    sys.exit(0)
random.seed(7)
per_folder = 25
fan = max(2, round((files / per_folder) ** (1 / 3)))
exts = [".txt", ".c", ".h", ".png", ".dat", ".html", ".o", ".log"]
arcs = [".lzh", ".ZIP", ".cab", ".exe", ".LZH", ".zip"]
made = 0
for a in range(fan):
    for b in range(fan):
        for c in range(fan):
            folder = os.path.join(top, f"d{a}", f"e{b}", f"f{c}")
            os.makedirs(folder, exist_ok=True)
            for i in range(per_folder):
                ext = random.choice(arcs) if random.random() < 0.01 else random.choice(exts)
                open(os.path.join(folder, f"file{i}{ext}"), "w").close()
                made += 1
    os.makedirs(os.path.join(top, f"d{a}", ".git", "objects"), exist_ok=True)
    open(os.path.join(top, f"d{a}", ".git", "objects", "pack.zip"), "w").close()
open(done, "w").close()
print(f"{made} files in {fan ** 3} folders", file=sys.stderr)
