#!/usr/bin/env python3
"""Process start to first document painted in the viewer, beside the same
entry extracted with bsdtar and converted with iconv, and beside the bare
start-up of an empty Qt window, all in this run (offscreen platform).

Cases: a ZIP of 10,000 entries whose only document is the last one, a
1 MiB Shift-JIS text in an lh7 LZH, and a ZIP of an ISO-2022-JP text that
opens a JIS run and then has a million line breaks; then select all and copy
of a 60 MB text. The target per case is
viewer <= 2 x (bsdtar | iconv) + empty window.

    bench/viewer_first_paint.py [BUILD_DIR] [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

import offscreen_driver

driver, runs, environment = offscreen_driver.prepare("viewer_first_paint", 7)

LINE = "これは書庫の中の説明書です。表示の速さを測るための文章が続きます。\r\n"


def make_inputs(work):
    """Returns [(label, archive, entry)]."""
    many = os.path.join(work, "many.zip")
    with zipfile.ZipFile(many, "w", zipfile.ZIP_DEFLATED) as archive:
        for i in range(9999):
            archive.writestr(f"data/part{i:05}.bin", f"{i}\n" * 8)
        archive.writestr("README.TXT", (LINE * 200).encode("cp932"))
    text = os.path.join(work, "MANUAL.TXT")
    with open(text, "wb") as out:
        line = 0
        while out.tell() < 1 << 20:
            out.write(f"{line:06} {LINE}".encode("cp932"))
            line += 1
    lzh = os.path.join(work, "manual.lzh")
    subprocess.run(["lha", "ao7q", lzh, "MANUAL.TXT"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # A JIS run opened and never closed, then a million line breaks: once
    # quadratic in the line breaks.
    jis = os.path.join(work, "jis.zip")
    with zipfile.ZipFile(jis, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("JIS.TXT", b"\x1b$B" + b"\n" * 1_000_000)
    return [("10,000-entry ZIP, document last", many, "README.TXT", "CP932"),
            ("1 MiB Shift-JIS text, lh7 LZH", lzh, "MANUAL.TXT", "CP932"),
            ("ESC $ B and 1,000,000 line breaks, ZIP", jis, "JIS.TXT", "ISO-2022-JP")]


def seconds(command, shell=False):
    start = time.perf_counter()
    subprocess.run(command, shell=shell, check=True, env=environment,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def median(command, shell=False):
    seconds(command, shell)  # warm the page cache
    return statistics.median(seconds(command, shell) for _ in range(runs))


def main():
    for tool in ("bsdtar", "iconv", "lha"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is not installed")
    work = tempfile.mkdtemp(prefix="mervok-viewer-bench-")
    try:
        cases = make_inputs(work)
        empty = median([driver, "--empty"])
        print(f"empty Qt window: {empty * 1000:7.1f} ms (median of {runs})")
        for label, archive, entry, encoding in cases:
            reference = median(
                f"bsdtar -xOf '{archive}' '{entry}' | iconv -c -f {encoding} -t UTF-8",
                shell=True)
            viewer = median([driver, archive])
            target = 2 * reference + empty
            print(f"{label}:")
            print(f"  viewer to first paint  {viewer * 1000:7.1f} ms")
            print(f"  bsdtar -xOf | iconv    {reference * 1000:7.1f} ms")
            print(f"  target 2 x ref + empty {target * 1000:7.1f} ms   "
                  f"viewer / target = {viewer / target:.2f}   "
                  f"(viewer - empty) / ref = {(viewer - empty) / reference:.2f}")
        # Select all and copy of a 60 MB Shift-JIS text, right after the
        # first paint, beside extracting and converting the same text.
        big = os.path.join(work, "big.zip")
        with zipfile.ZipFile(big, "w", zipfile.ZIP_DEFLATED) as archive:
            archive.writestr("BIG.TXT", LINE.encode("cp932") * (60_000_000 // 68))
        reference = median(f"bsdtar -xOf '{big}' BIG.TXT | iconv -f CP932 -t UTF-8", shell=True)
        result = subprocess.run([driver, "--copy", big], check=True, env=environment,
                                capture_output=True, text=True).stdout.strip()
        copy_ms = float(result.split()[1])
        print("60 MB Shift-JIS text, select all and copy:")
        print(f"  viewer: {result}")
        print(f"  bsdtar -xOf | iconv    {reference * 1000:7.1f} ms   "
              f"copy / ref = {copy_ms / 1000 / reference:.2f}")
    finally:
        shutil.rmtree(work)


main()
