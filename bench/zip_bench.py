#!/usr/bin/env python3
"""Archive benchmark: `vellumix-cli pack --password` against `zip -8 -P` and against a
bare read + level-8 raw Deflate + CRC-32 loop (bench/deflate_floor); and, when the CLI
has `unpack`, extraction against `unzip -P`. Every ratio compares programs measured in
this same run on the same files; peak memory is each command's own maximum resident set
(wait4's rusage, taken by the small launcher bench/run_measured)."""

import argparse
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import time

PASSWORD = "Rvd%q!KJEb"
MB = 1 << 20
CORPUS_VERSION = "1"
MEASURE = None  # bench/run_measured
WORK = None

# Each half of the corpus (compressible text/XML, incompressible bytes) holds one file
# of each size: 16 MB down to 1 KB, about 32 MB per half.
SIZES = [16 * MB >> i for i in range(15)]


def make_text(rng, size, xml):
    syllables = ["ka", "lo", "ren", "vi", "mu", "sta", "por", "el", "quin", "dra", "te", "ob",
                 "lux", "ny", "fa", "gor", "i", "ast", "um", "pe"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(4000)]
    out = []
    length = 0
    if xml:
        out.append('<?xml version="1.0" encoding="windows-1252"?>\r\n<library>\r\n')
    while length < size:
        line = " ".join(rng.choices(words, k=rng.randint(6, 18)))
        if xml:
            n = rng.randint(1, 99999)
            line = '  <item id="%d" kind="%s">%s</item>\r\n' % (n, rng.choice(words), line)
        else:
            line = line.capitalize() + ".\r\n"
        out.append(line)
        length += len(line)
    data = "".join(out).encode("ascii")
    return data[:size]


def make_corpus(folder):
    marker = os.path.join(folder, ".corpus-" + CORPUS_VERSION)
    files = []
    for i, size in enumerate(SIZES):
        files.append((os.path.join(folder, "text%02d.%s" % (i, "xml" if i % 2 == 0 else "txt")), size, "text"))
        files.append((os.path.join(folder, "noise%02d.bin" % i), size, "noise"))
    if os.path.exists(marker):
        return [f for f, _, _ in files]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    rng = random.Random(20240517)
    for path, size, kind in files:
        if kind == "text":
            data = make_text(rng, size, path.endswith(".xml"))
        else:
            data = rng.randbytes(size)
        with open(path, "wb") as f:
            f.write(data)
    open(marker, "w").close()
    return [f for f, _, _ in files]


def run(cmd):
    """Runs one command through run_measured; returns (wall seconds, peak resident set in
    KiB, CPU seconds)."""
    result = os.path.join(WORK, "measure.txt")
    proc = subprocess.run([MEASURE, result] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit("benchmark command failed (%d): %s\n%s" % (proc.returncode, " ".join(cmd),
                                                          proc.stderr.decode(errors="replace")))
    with open(result) as f:
        seconds, kib, cpu = f.read().split()
    return float(seconds), int(kib), float(cpu)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build/host")
    ap.add_argument("--work", default="build/bench")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    args = ap.parse_args()

    cli = os.path.abspath(os.path.join(args.build, "bin", "vellumix-cli"))
    floor = os.path.abspath(os.path.join(args.build, "bin", "deflate_floor"))
    global MEASURE, WORK
    MEASURE = os.path.abspath(os.path.join(args.build, "bin", "run_measured"))
    for tool in (cli, floor, MEASURE):
        if not os.access(tool, os.X_OK):
            sys.exit("missing %s: build the host preset first (make build)" % tool)
    for tool in ("zip", "unzip"):
        if not shutil.which(tool):
            sys.exit("missing peer %s (scripts/bootstrap.sh installs it)" % tool)
    has_unpack = subprocess.run([cli, "unpack", "--help"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode == 0

    work = WORK = os.path.abspath(args.work)
    corpus = make_corpus(os.path.join(work, "corpus"))
    total = sum(os.path.getsize(f) for f in corpus)
    ours_zip = os.path.join(work, "ours.zip")
    peer_zip = os.path.join(work, "infozip.zip")
    out_ours = os.path.join(work, "out-ours")
    out_peer = os.path.join(work, "out-unzip")

    def pack_ours():
        if os.path.exists(ours_zip):
            os.remove(ours_zip)
        return run([cli, "pack", "--password", PASSWORD, ours_zip] + corpus)

    def pack_peer():
        if os.path.exists(peer_zip):
            os.remove(peer_zip)  # zip would update an existing archive
        return run(["zip", "-q", "-j", "-8", "-P", PASSWORD, peer_zip] + corpus)

    def floor_loop():
        return run([floor] + corpus)

    def fresh(folder):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)

    def unpack_ours():
        fresh(out_ours)
        return run([cli, "unpack", "--password", PASSWORD, ours_zip, out_ours])

    def unpack_peer():
        fresh(out_peer)
        return run(["unzip", "-q", "-o", "-P", PASSWORD, ours_zip, "-d", out_peer])

    jobs = {"pack": pack_ours, "zip -8 -P": pack_peer, "deflate floor": floor_loop}
    if has_unpack:
        jobs["unpack"] = unpack_ours
        jobs["unzip -P"] = unpack_peer
    # Warm the page cache, then interleave the runs so that drifting load on a shared
    # machine touches every program alike.
    pack_ours()
    load = os.getloadavg()
    results = {name: [] for name in jobs}
    for _ in range(args.runs):
        for name, job in jobs.items():
            results[name].append(job())
    t = {name: statistics.median(s for s, _, _ in r) for name, r in results.items()}
    rss = {name: max(m for _, m, _ in r) for name, r in results.items()}
    cpu = {name: statistics.median(c for _, _, c in r) for name, r in results.items()}

    print("machine: %s, %d cores (nproc), %s" % (cpu_model(), os.cpu_count(), platform.platform()))
    print("corpus: %d files, %.1f MB (half text/XML, half random bytes, 1 KB to 16 MB)" % (len(corpus), total / MB))
    print("archive: ours %.1f MB, zip -8 %.1f MB" % (os.path.getsize(ours_zip) / MB, os.path.getsize(peer_zip) / MB))
    print("load average before the runs: %.2f %.2f %.2f" % load)
    print("median of %d runs (wall time; CPU time = user + system, for reference):" % args.runs)
    for name in jobs:
        print("  %-14s %7.3f s  %6.1f MB/s  CPU %7.3f s  peak RSS %6.1f MB"
              % (name, t[name], total / MB / t[name], cpu[name], rss[name] / 1024))

    checks = [
        ("pack / zip -8 -P", t["pack"] / t["zip -8 -P"], 1.0),
        ("pack / deflate floor", t["pack"] / t["deflate floor"], 1.15),
        ("pack peak RSS MB", rss["pack"] / 1024, 16.0),
    ]
    if has_unpack:
        checks += [
            ("unpack / unzip -P", t["unpack"] / t["unzip -P"], 0.8),
            ("unpack peak RSS MB", rss["unpack"] / 1024, 16.0),
        ]
    missed = 0
    for name, value, limit in checks:
        ok = value <= limit
        missed += not ok
        print("  %-22s %6.3f  (target <= %g) %s" % (name, value, limit, "met" if ok else "MISSED"))
    print("  %-22s %6.3f  (CPU time, for reference)" % ("pack CPU / zip CPU", cpu["pack"] / cpu["zip -8 -P"]))
    if not has_unpack:
        print("  (vellumix-cli has no unpack command yet: extraction not measured)")
    return 1 if (args.check and missed) else 0


if __name__ == "__main__":
    sys.exit(main())
