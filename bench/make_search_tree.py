#!/usr/bin/env python3
"""Builds a large folder tree for the search benchmarks.

make_search_tree.py OUT [--files N] [--archives N] [--templates DIR]

The tree holds N ordinary files in nested folders and, spread among them,
archives of the four kinds copied from real template archives: a third of them
hold no document, some are self-extracting executables. A file
OUT.expected lists the full paths of the archives that hold a document, one
per line, sorted, so that a benchmark can compare hits.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "tests", "data", "archives")


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_templates(work):
    """Real archives made with real tools: (kind, has_doc, path)."""
    src = os.path.join(work, "src")
    os.makedirs(os.path.join(src, "doc"))
    with open(os.path.join(src, "doc", "README.TXT"), "w") as f:
        f.write("read me\n" * 50)
    with open(os.path.join(src, "PROG.BIN"), "wb") as f:
        f.write(os.urandom(4096))
    templates = []
    run(["zip", "-q", "-r", os.path.join(work, "doc.zip"), "doc", "PROG.BIN"], src)
    run(["zip", "-q", os.path.join(work, "nodoc.zip"), "PROG.BIN"], src)
    templates += [("zip", True, "doc.zip"), ("zip", False, "nodoc.zip")]
    if shutil.which("lha"):
        run(["lha", "a", os.path.join(work, "doc.lzh"), "doc/README.TXT", "PROG.BIN"], src)
        run(["lha", "a", os.path.join(work, "nodoc.lzh"), "PROG.BIN"], src)
        templates += [("lzh", True, "doc.lzh"), ("lzh", False, "nodoc.lzh")]
    if shutil.which("gcab"):
        run(["gcab", "-c", "-n", os.path.join(work, "doc.cab"), "doc/README.TXT", "PROG.BIN"], src)
        run(["gcab", "-c", "-n", os.path.join(work, "nodoc.cab"), "PROG.BIN"], src)
        templates += [("cab", True, "doc.cab"), ("cab", False, "nodoc.cab")]
    # Self-extracting files: the committed fixtures hold real PE stubs.
    sfx = os.path.join(FIXTURES, "sfx")
    for name in sorted(os.listdir(sfx)) if os.path.isdir(sfx) else []:
        if re.fullmatch(r"(lha|zip|cab)(_nodoc)?_8k\.exe", name):
            shutil.copy(os.path.join(sfx, name), os.path.join(work, name))
            templates.append(("exe", "nodoc" not in name, name))
    return [(k, d, os.path.join(work, p)) for k, d, p in templates]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--files", type=int, default=200_000)
    ap.add_argument("--archives", type=int, default=5_000)
    ap.add_argument("--fanout", type=int, default=12)
    ap.add_argument("--per-folder", type=int, default=40)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)

    with tempfile.TemporaryDirectory() as work:
        templates = make_templates(work)
        by_doc = {True: [t for t in templates if t[1]], False: [t for t in templates if not t[1]]}

        # Folders: a tree of the given fan-out, deep enough for the file count.
        folders = [args.out]
        needed = max(1, args.files // args.per_folder)
        i = 0
        while len(folders) < needed:
            parent = folders[i]
            for j in range(args.fanout):
                if len(folders) >= needed:
                    break
                name = ("Dir%03d" % j) if rng.random() > 0.05 else (".hidden%03d" % j)
                path = os.path.join(parent, name)
                os.makedirs(path, exist_ok=True)
                folders.append(path)
            i += 1
        visible = [f for f in folders if "/.hidden" not in f[len(args.out):]]

        exts = [".txt", ".c", ".h", ".png", ".dat", ".log", ".html", ".json"]
        for n in range(args.files):
            folder = folders[n % len(folders)]
            with open(os.path.join(folder, "file%06d%s" % (n, rng.choice(exts))), "wb") as f:
                f.write(b"x" * rng.randint(0, 64))

        expected = []
        for n in range(args.archives):
            has_doc = (n % 3) != 0
            # Each kind as often as the others, whatever number of templates
            # it has.
            kinds = sorted({t[0] for t in by_doc[has_doc]})
            kind = rng.choice(kinds)
            template = rng.choice([t for t in by_doc[has_doc] if t[0] == kind])[2]
            folder = rng.choice(visible)
            name = "arc%05d.%s" % (n, kind.upper() if n % 7 == 0 else kind)
            dest = os.path.join(folder, name)
            shutil.copyfile(template, dest)
            if has_doc:
                expected.append(dest)

    with open(args.out.rstrip("/") + ".expected", "w") as f:
        for path in sorted(expected):
            f.write(path + "\n")
    print("tree %s: %d folders, %d files, %d archives (%d with documents)"
          % (args.out, len(folders), args.files, args.archives, len(expected)))


if __name__ == "__main__":
    sys.exit(main())
