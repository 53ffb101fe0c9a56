#!/usr/bin/env python3
"""The longest the viewer's event loop is held while it shows a page or text,
and the time to the end of its layout, beside an ordinary 20 KB page shown
the same way in this run (offscreen platform). A close or SIGTERM waits at
most that long, so the target per case is a fraction of a second, and
"longest / reference" says how far a case is from an ordinary page.

Cases: pages just under the sizes at which a page is shown as text, a list
of 5,000 items and lists nested 5,000 deep, texts of one long line (a
minified page is one), and many style rules on many tags.

    bench/page_layout.py [BUILD_DIR] [RUNS]
"""
import os
import statistics
import subprocess
import tempfile
import zipfile

import offscreen_driver

driver, runs, environment = offscreen_driver.prepare("page_layout", 5)

CASES = [
    ("reference: a 20 KB page", "REF.HTM", "<p>paragraph of a page</p>\n" * 800),
    ("250 KB of paragraphs", "P.HTM", "<p>paragraph of some text here to fill</p>\n" * 6000),
    ("1 MB of paragraphs", "P1M.HTM", "<p>paragraph of some text here to fill</p>\n" * 24000),
    ("1 MB in one <pre>", "PRE.HTM", "<pre>" + "line of text in a pre block\n" * 36000),
    ("250 KB in one paragraph", "PARA.HTM", "<p>" + "word " * 50000),
    ("a list of 5,000 items", "LIST.HTM", "<ul>" + "<li>item" * 5000),
    ("lists nested 5,000 deep", "DEEP.HTM", "<ul><li>x" * 5000 + "innermost"),
    ("blocks, lists, inline 5,000 deep", "MIXED.HTM",
     "<ul><li><div><blockquote><b><i>" * 5000 + "innermost"),
    ("a text of one 600 KB line, no blanks", "LINE.TXT", "0123456789" * 60000),
    ("64 KB of style rules on 8,000 tags", "CSS.HTM",
     "<style>" + "".join(f".c{i} b {{ color: red }}\n" for i in range(3000))[:65536] +
     "</style>" + "<p><b>x</b></p>" * 4000),
]


def measure(archive):
    """(longest hold, all) in ms, medians over the runs."""
    results = []
    for _ in range(runs):
        out = subprocess.run([driver, archive], check=True, env=environment,
                             capture_output=True, text=True).stdout.split()
        results.append((float(out[1]), float(out[4])))
    return (statistics.median(r[0] for r in results), statistics.median(r[1] for r in results))


def main():
    with tempfile.TemporaryDirectory(prefix="mervok-page-bench-") as work:
        reference = None
        for label, name, content in CASES:
            archive = os.path.join(work, name + ".zip")
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
                out.writestr(name, content)
            longest, done = measure(archive)
            reference = reference or max(longest, 1.0)
            print(f"{label:38} longest {longest:7.0f} ms ({longest / reference:5.1f} x ref)"
                  f"   laid out {done:7.0f} ms")


main()
