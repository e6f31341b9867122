#!/usr/bin/env python3
"""The web export, measured against peers in the same run:

- `vellumix-cli export --web` of a package of the 64 MB benchmark corpus (made by
  zip_bench's generator) plus a small main movie, against `vellumix-cli unpack` of the
  same package followed by a copy of Ruffle's files (`cp -r`): the work the export
  cannot avoid. Processor time (user + system) of each side, best of --runs rounds
  taken in turns; limit: ratio 1.2. Wall times for orientation.
- the time from opening the page to its first frame in headless Chromium, for the
  folder served from 127.0.0.1 and for the single file opened from disk (a fresh
  browser profile each time, so Ruffle's WebAssembly is compiled each time); the
  browser's own start is not counted: the clock is the page's, from its navigation.
- the size of the single file against the folder's.

usage: export_bench.py CLI STUB [--runs N]
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "testing"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import browser  # noqa: E402
import swfgen  # noqa: E402
import zip_bench  # noqa: E402

FIRST_FRAME = """
window.__firstFrame = null;
new MutationObserver(function () {
  if (window.__firstFrame === null && document.body.dataset.frame) window.__firstFrame = performance.now();
}).observe(document, {subtree: true, attributes: true, attributeFilter: ["data-frame"]});
"""


def cpu_run(args):
    """Runs a command; returns (wall seconds, processor seconds of it and its children)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def folder_size(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(path) for f in files)


def first_frame(scratch, url):
    with browser.Browser(scratch) as b:
        b.page.send("Page.addScriptToEvaluateOnNewDocument", {"source": FIRST_FRAME})
        b.page.navigate(url)
        return b.page.wait_for("window.__firstFrame", 300, "the first frame") / 1000.0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("stub")
    p.add_argument("--runs", type=int, default=5)
    a = p.parse_args()
    cli = os.path.abspath(a.cli)
    ruffle = os.path.join(os.path.dirname(cli), "ruffle")

    corpus = zip_bench.make_corpus(os.path.join(ROOT, "build", "bench", "corpus"))
    work = tempfile.mkdtemp(prefix="vx export bench.\u00fc ")
    try:
        main_movie = os.path.join(work, "main.swf")
        swfgen.write_swf(main_movie, xmax=11000, ymax=8000, fps=24, frames=48, compress=True,
                         boxes=[(0xF2A900, 0, 100, 60, 60, 5, 0)])
        package = os.path.join(work, "corpus.exe")
        subprocess.run([cli, "build", "--stub", a.stub, "--main", main_movie, "-o", package] + corpus,
                       check=True, stdout=subprocess.DEVNULL)
        total = sum(os.path.getsize(f) for f in corpus)

        def export():
            out = os.path.join(work, "web")
            shutil.rmtree(out, ignore_errors=True)
            return cpu_run([cli, "export", "--web", package, "-o", out])

        def unpack_and_copy():
            out = os.path.join(work, "unpacked")
            shutil.rmtree(out, ignore_errors=True)
            wall1, cpu1 = cpu_run([cli, "unpack", package, out])
            wall2, cpu2 = cpu_run(["cp", "-r", ruffle, os.path.join(out, "ruffle")])
            return wall1 + wall2, cpu1 + cpu2

        best = {"export": (1e30, 1e30), "peer": (1e30, 1e30)}
        for _ in range(a.runs):
            for name, fn in (("export", export), ("peer", unpack_and_copy)):
                wall, cpu = fn()
                best[name] = (min(best[name][0], wall), min(best[name][1], cpu))
        ratio = best["export"][1] / max(best["peer"][1], 0.01)
        print("export: package of the corpus, %d files, %.1f MiB" % (len(corpus) + 1, total / 2 ** 20))
        print("export: processor time: export %.2fs, unpack + copy of Ruffle %.2fs, ratio %.3f (limit 1.2)"
              % (best["export"][1], best["peer"][1], ratio))
        print("export: wall time (orientation): export %.2fs, unpack + copy %.2fs"
              % (best["export"][0], best["peer"][0]))

        # The demo package for the page's timings and sizes.
        examples = os.path.join(ROOT, "examples")
        demo = os.path.join(work, "demo.exe")
        subprocess.run([cli, "build", "--stub", a.stub, "--main", os.path.join(examples, "intro.swf"), "-o", demo,
                        os.path.join(examples, "data.xml"), os.path.join(examples, "song.mp3")],
                       check=True, stdout=subprocess.DEVNULL)
        web, single = os.path.join(work, "demo-web"), os.path.join(work, "demo.html")
        subprocess.run([cli, "export", "--web", demo, "-o", web, "--single-file", single], check=True,
                       stdout=subprocess.DEVNULL)
        print("export: demo page: folder %.1f MiB, single file %.1f MiB (ratio %.2f)"
              % (folder_size(web) / 2 ** 20, os.path.getsize(single) / 2 ** 20,
                 os.path.getsize(single) / folder_size(web)))
        corpus_single = os.path.join(work, "corpus.html")
        subprocess.run([cli, "export", "--web", package, "--single-file", corpus_single], check=True,
                       stdout=subprocess.DEVNULL)
        export_folder = os.path.join(work, "web")
        print("export: corpus page: folder %.1f MiB, single file %.1f MiB (ratio %.2f)"
              % (folder_size(export_folder) / 2 ** 20, os.path.getsize(corpus_single) / 2 ** 20,
                 os.path.getsize(corpus_single) / folder_size(export_folder)))

        try:
            rounds = max(1, min(a.runs, 3))
            with browser.StaticServer(web) as server:
                served = sorted(first_frame(work, server.url) for _ in range(rounds))
            from_disk = sorted(first_frame(work, browser.file_url(single)) for _ in range(rounds))
            print("export: open to first frame, demo, headless Chromium: folder over HTTP %s s, single file "
                  "from disk %s s (each run; median %.2f s and %.2f s)"
                  % (" ".join("%.2f" % t for t in served), " ".join("%.2f" % t for t in from_disk),
                     served[len(served) // 2], from_disk[len(from_disk) // 2]))
        except browser.BrowserMissing as e:
            print("export: no page timings: %s" % e)
        return 0 if ratio <= 1.2 else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
