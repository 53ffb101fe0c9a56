#!/usr/bin/env python3
"""Process start to first paint of a page in the viewer (CPU seconds, user
and system, and peak memory), for what a page may name, each beside a
reference from the same run (offscreen):

  - 4,000 references to images a 100,000-entry ZIP lacks, beside the same
    page in a ZIP of its own: the ratio stays near 1 when each look-up costs
    one hash probe, and grows with entries x references when it walks the
    list;
  - one 5,600 x 5,600 PNG named 40 times ("big.png?1" ... "big.png?40"),
    beside the same page naming it once: time and peak memory stay near 1 x
    when an entry is decoded once per page whatever its query, and beyond
    the pixel budget nothing more is decoded.

    bench/viewer_page_refs.py [BUILD_DIR] [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import zipfile

import offscreen_driver

driver, runs, environment = offscreen_driver.prepare("viewer_first_paint", 3)


def page(images):
    body = "".join(f'<img src="{name}" alt="{name}">\n' for name in images)
    return f"<html><body><h1>Page</h1>\n{body}</body></html>\n"


def make_inputs(work):
    """Returns [(label, archive, reference archive)]."""
    cases = []
    missing = page([f"img/missing{i:05}.png" for i in range(4000)])
    for name, entries in (("refs.zip", 100000), ("alone.zip", 0)):
        with zipfile.ZipFile(os.path.join(work, name), "w", zipfile.ZIP_STORED) as archive:
            archive.writestr("A.HTM", missing)  # the first document, shown at start
            for i in range(entries):
                archive.writestr(f"data/{i % 100:02}/part{i:06}.bin", b"")
    cases.append(("4,000 missing images, 100,000 entries", "refs.zip", "alone.zip"))

    png = os.path.join(work, "big.png")
    subprocess.run(["convert", "-size", "5600x5600", "xc:white", "-fill", "red", "-draw",
                    "circle 2800,2800 2800,100", "-depth", "8", "PNG24:" + png], check=True)
    for name, count in (("big40.zip", 40), ("big1.zip", 1)):
        with zipfile.ZipFile(os.path.join(work, name), "w", zipfile.ZIP_DEFLATED) as archive:
            archive.writestr("A.HTM", page([f"big.png?{i}" for i in range(1, count + 1)]))
            archive.write(png, "big.png")
    cases.append(("one 5,600 x 5,600 PNG named 40 times", "big40.zip", "big1.zip"))
    return [(label, os.path.join(work, a), os.path.join(work, b)) for label, a, b in cases]


def measure(archive):
    """(CPU seconds, peak kB) of one run, from /usr/bin/time."""
    result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", driver, archive],
                            env=environment, check=True, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    user, system, peak = result.stderr.strip().splitlines()[-1].split()
    return float(user) + float(system), int(peak)


def median(archive):
    measure(archive)  # warm the page cache
    samples = [measure(archive) for _ in range(runs)]
    return (statistics.median(s for s, _ in samples), statistics.median(k for _, k in samples))


def main():
    for tool in ("convert", "/usr/bin/time"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is not installed")
    work = tempfile.mkdtemp(prefix="mervok-page-bench-")
    try:
        for label, archive, reference in make_inputs(work):
            seconds, peak = median(archive)
            refSeconds, refPeak = median(reference)
            print(f"{label}:")
            print(f"  page        {seconds:7.2f} s CPU  {peak / 1024:8.1f} MiB")
            print(f"  reference   {refSeconds:7.2f} s CPU  {refPeak / 1024:8.1f} MiB")
            print(f"  ratio       {seconds / refSeconds:7.2f}        {peak / refPeak:8.2f}")
    finally:
        shutil.rmtree(work)


main()
