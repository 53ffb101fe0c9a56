#!/usr/bin/env python3
"""Text search benchmark: mervok-search --text against ugrep and a floor loop.

text_bench.py [--dist build/dist] [--bench build/bench] [--corpus /tmp/mervok-text-corpus]
              [--archives 3000] [--runs 3]

Makes its corpus once (when missing) from the Japanese manual pages of
manpages-ja: --archives ZIPs, each with two to four documents in UTF-8,
CP932 (CR LF), EUC-JP, UTF-16LE/BE or ISO-2022-JP and one non-document,
words planted in known documents; and copies of the first ones as LHA, CAB
and ZIP behind an executable stub. Then prints, from one run:
  1. the time of `mervok-search -r --text WORD` over the ZIPs for an ASCII
     word, against `ugrep -z -r -l WORD` (target: at most 0.5x) and against
     text_floor, which only inflates the documents and looks for the word's
     byte forms with memmem, on two threads (target: at most 1.3x);
  2. recall and false hits per encoding and container for each query (an
     ASCII word, a Japanese word, and the one-character queries "\\" and "鰻",
     whose bytes also occur inside other characters), against the truth the
     corpus was made with (target: 100 %, no false hit), and the floor's false
     hits for comparison;
  3. the peak memory of mervok-search (target: at most 64 MB).
Times are the best of --runs warm runs.
"""
import argparse
import glob
import gzip
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ASCII_WORD = "ZEBRAQUILL"
JAPANESE_WORD = "鰻重星図"
QUERIES = [ASCII_WORD, JAPANESE_WORD, "\\", "鰻"]
# name, Python codec, line end, byte-order mark
ENCODINGS = [
    ("UTF-8", "utf-8", "\n", b""),
    ("Shift_JIS", "cp932", "\r\n", b""),
    ("EUC-JP", "euc_jp", "\n", b""),
    ("UTF-16LE", "utf-16-le", "\r\n", b"\xff\xfe"),
    ("UTF-16BE", "utf-16-be", "\n", b"\xfe\xff"),
    ("ISO-2022-JP", "iso2022_jp", "\n", b""),
]
CONTAINERS = ["ZIP", "LHA", "CAB", "SFX"]


def manual_text():
    pages = []
    for path in sorted(glob.glob("/usr/share/man/ja/man*/*.gz")):
        with gzip.open(path) as f:
            text = f.read().decode("utf-8", "replace")
        # Backslashes (roff escapes) go: "\" is planted only, so its truth is known.
        text = text.replace("\\", "").replace("\ufffd", "")
        if any(ord(c) > 0x3000 for c in text[:2000]):
            pages.append(text)
    if not pages:
        sys.exit("no Japanese manual pages: install manpages-ja (scripts/setup.sh bench)")
    return "\n".join(pages).splitlines()


def make_document(lines, rng, plants):
    start = rng.randrange(len(lines))
    count = rng.randint(100, 900)
    doc = list(lines[start:start + count]) or ["空"]
    for word in plants:
        at = rng.randrange(len(doc))
        cut = rng.randint(0, len(doc[at]))
        doc[at] = doc[at][:cut] + word + doc[at][cut:]
    return doc


def encode(doc, encoding):
    _, codec, end, bom = encoding
    data = bom + end.join(doc).encode(codec, "replace") + end.encode(codec)
    # The truth is what the stored bytes say, after any replacement.
    shown = data[len(bom):].decode(codec, "replace")
    return data, shown


def make_corpus(root, archives, seed=23):
    rng = random.Random(seed)
    lines = manual_text()
    tmp = tempfile.mkdtemp()
    truth = []  # [container, archive path, entry, encoding, text says which queries]
    stub = os.path.join(HERE, "..", "tests", "data", "archives", "stub", "stub_8k.exe")
    copies = max(1, archives // 50)
    for c in CONTAINERS:
        os.makedirs(os.path.join(root, c.lower()), exist_ok=True)
    for n in range(archives):
        files = []
        for d in range(rng.randint(2, 4)):
            encoding = rng.choice(ENCODINGS)
            plants = [w for w in (ASCII_WORD, JAPANESE_WORD, "C:\\TEMP") if rng.random() < 0.03]
            data, shown = encode(make_document(lines, rng, plants), encoding)
            name = "doc%d_%s.%s" % (d, encoding[0].replace("-", "").lower(),
                                    rng.choice(["txt", "TXT", "doc", "htm"]))
            files.append((name, data, encoding[0], [q for q in QUERIES if q in shown]))
        # Not a document, though it may say the words too.
        plants = [w for w in (ASCII_WORD, JAPANESE_WORD, "C:\\TEMP") if rng.random() < 0.1]
        files.append(("data.dat", "\n".join(make_document(lines, rng, plants)).encode(), None, []))
        zip_path = os.path.join(root, "zip", "a%05d.zip" % n)
        with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data, _, _ in files:
                z.writestr(name, data)
        targets = [("ZIP", zip_path)]
        if n < copies:
            work = os.path.join(tmp, str(n))
            os.makedirs(work)
            for name, data, _, _ in files:
                with open(os.path.join(work, name), "wb") as f:
                    f.write(data)
            names = [name for name, _, _, _ in files]
            lzh = os.path.join(root, "lha", "a%05d.lzh" % n)
            cab = os.path.join(root, "cab", "a%05d.cab" % n)
            sfx = os.path.join(root, "sfx", "a%05d.exe" % n)
            subprocess.run(["lha", "aq", lzh] + names, cwd=work, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["gcab", "-cz", cab] + names, cwd=work, check=True)
            with open(sfx, "wb") as out:
                for part in (stub, zip_path):
                    with open(part, "rb") as f:
                        out.write(f.read())
            subprocess.run(["zip", "-qA", sfx], check=True)
            targets += [("LHA", lzh), ("CAB", cab), ("SFX", sfx)]
        for container, path in targets:
            for name, _, encoding, says in files:
                truth.append([container, path, name, encoding, says])
    shutil.rmtree(tmp)
    with open(os.path.join(root, "truth.json"), "w") as f:
        json.dump(truth, f)


def run(cmd, stdin=None):
    """Wall time, output and CPU time (user + system) of one command."""
    before = os.times()
    start = time.perf_counter()
    out = subprocess.run(cmd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         check=False).stdout
    wall = time.perf_counter() - start
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return wall, out, cpu


def best(cmd, runs, stdin=None):
    """The best wall time of runs, the output, and the CPU time of that run."""
    results = [run(cmd, stdin) for _ in range(runs)]
    quickest = min(results, key=lambda r: r[0])
    return quickest[0], results[-1][1], quickest[2]


def peak_memory_kb(cmd):
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, check=False).stderr.decode().split()
    return int(out[-1])


def forms(word):
    result = []
    for codec in ("utf-8", "cp932", "euc_jp", "utf-16-le", "utf-16-be"):
        try:
            form = word.encode(codec).hex()
        except UnicodeEncodeError:
            continue
        if form not in result:
            result.append(form)
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dist", default=os.path.join(HERE, "..", "build", "dist"))
    ap.add_argument("--bench", default=os.path.join(HERE, "..", "build", "bench"))
    ap.add_argument("--corpus", default="/tmp/mervok-text-corpus")
    ap.add_argument("--archives", type=int, default=3000)
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    tool = os.path.join(args.dist, "mervok-search")
    floor = os.path.join(args.bench, "text_floor")
    root = args.corpus
    if not os.path.exists(os.path.join(root, "truth.json")):
        start = time.perf_counter()
        make_corpus(root, args.archives)
        print("corpus made in %.0f s" % (time.perf_counter() - start))
    with open(os.path.join(root, "truth.json")) as f:
        truth = json.load(f)
    zips = os.path.join(root, "zip")
    zip_paths = sorted(glob.glob(os.path.join(zips, "*.zip")))
    text_bytes = sum(os.path.getsize(p) for p in zip_paths)
    docs = sum(1 for t in truth if t[0] == "ZIP" and t[3])
    print("corpus: %d ZIPs (%.0f MB stored), %d documents" % (len(zip_paths), text_bytes / 1e6, docs))

    # 1. Time over the ZIPs, an ASCII word.
    search = [tool, "-r", "--doc-types", "DOC HTM", "--text", ASCII_WORD, zips]
    ugrep = ["ugrep", "-z", "-r", "-l", "-F", ASCII_WORD, zips]
    floor_cmd = [floor, "2"] + forms(ASCII_WORD)
    listing = ("\n".join(zip_paths) + "\n").encode()
    for cmd, stdin in ((search, None), (ugrep, None), (floor_cmd, listing)):
        run(cmd, stdin)  # warm the cache
    t_search, _, c_search = best(search, args.runs)
    t_ugrep, out_ugrep, c_ugrep = best(ugrep, args.runs)
    t_floor, _, c_floor = best(floor_cmd, args.runs, listing)
    print("\ntime, ASCII word over the ZIPs (best of %d; wall, CPU of that run):" % args.runs)
    print("  mervok-search --text  %6.2f s  %6.2f s CPU" % (t_search, c_search))
    print("  ugrep -z -r -l        %6.2f s  %6.2f s CPU   ratio %.2fx wall, %.2fx CPU (target <= 0.5x)"
          % (t_ugrep, c_ugrep, t_search / t_ugrep, c_search / c_ugrep))
    print("  floor (2 threads)     %6.2f s  %6.2f s CPU   ratio %.2fx wall, %.2fx CPU (target <= 1.3x)"
          % (t_floor, c_floor, t_search / t_floor, c_search / c_floor))
    ugrep_docs = {line for line in out_ugrep.decode("utf-8", "replace").splitlines()}
    said = sum(1 for t in truth if t[0] == "ZIP" and t[3] and ASCII_WORD in t[4])
    print("  ugrep listed %d archive members; the documents saying it: %d" % (len(ugrep_docs), said))

    # 2. Recall per encoding and container.
    for query in QUERIES:
        cmd = [tool, "-r", "--doc-types", "DOC HTM", "--json", "--text", query, root]
        rows = json.loads(subprocess.run(cmd, stdout=subprocess.PIPE, check=False).stdout or b"[]")
        found, cut = set(), 0
        for row in rows:
            cut += row["matchesCut"]
            for match in row["matches"]:
                found.add((row["path"], match["entry"]))
        said = {(t[1], t[2]): t for t in truth if t[3] and query in t[4]}
        floor_hits = set(run([floor, "2"] + forms(query),
                             ("\n".join(sorted({t[1] for t in truth})) + "\n").encode())[1]
                         .decode().split("\n")) - {""}
        floor_false = len(floor_hits - {t[1] for t in said.values()})
        print("\nquery %r: %d documents say it; mervok-search lists %d (%d archives cut), "
              "false hits %d; the floor's byte scan: %d false archives"
              % (query, len(said), len(found), cut, len(found - set(said)), floor_false))
        print("  %-12s" % "" + "".join("%14s" % c for c in CONTAINERS))
        for name, _, _, _ in ENCODINGS:
            cells = []
            for container in CONTAINERS:
                want = [k for k, t in said.items() if t[0] == container and t[3] == name]
                got = sum(1 for k in want if k in found)
                cells.append("%d/%d" % (got, len(want)) if want else "-")
            print("  %-12s" % name + "".join("%14s" % c for c in cells))

    # 3. Peak memory.
    print("\npeak memory of mervok-search --text over everything: %.1f MB (target <= 64 MB)"
          % (peak_memory_kb([tool, "-r", "--text", JAPANESE_WORD, root]) / 1024))


if __name__ == "__main__":
    main()
