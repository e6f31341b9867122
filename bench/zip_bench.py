#!/usr/bin/env python3
"""Archive benchmark, every ratio taken between programs measured in this same run on
the same files:

- `vellumix-cli pack --password` on 1 thread pinned to one core (taskset) and on 2
  threads, against 7-Zip (`7z a -tzip -mx=5 -mmt=N -p`) at the same thread count and
  the same cores, and against the single-core deflate floor (bench/deflate_floor: read,
  level-8 raw Deflate and CRC-32 of every file on one core, writing nothing);
- `vellumix-cli unpack` on 1 thread (one core) and 2 threads against `7z x -mmt=N` of
  the same archive;
- with --baseline CLI, the same one-core runs of an earlier vellumix-cli (today's
  single-threaded path), so that the one-core cost of the threading shows;
- peak memory of pack and unpack at 2 and 16 threads.

Peak memory is each command's own maximum resident set (wait4's rusage, taken by the
small launcher bench/run_measured). Runs are interleaved, so that drifting load on a
shared machine touches every program alike, and the best of --runs is kept."""

import argparse
import os
import platform
import random
import shutil
import subprocess
import sys

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
    ap.add_argument("--runs", type=int, default=3, help="rounds; the best of them is kept")
    ap.add_argument("--baseline", help="an earlier vellumix-cli, measured on one core beside this one")
    ap.add_argument("--only", help="run only the measurements whose names contain this text")
    ap.add_argument("--check", action="store_true", help="exit 1 when a target is missed")
    args = ap.parse_args()

    cli = os.path.abspath(os.path.join(args.build, "bin", "vellumix-cli"))
    floor = os.path.abspath(os.path.join(args.build, "bin", "deflate_floor"))
    global MEASURE, WORK
    MEASURE = os.path.abspath(os.path.join(args.build, "bin", "run_measured"))
    for tool in (cli, floor, MEASURE):
        if not os.access(tool, os.X_OK):
            sys.exit("missing %s: build the host preset first (make build)" % tool)
    for tool in ("7z", "taskset"):
        if not shutil.which(tool):
            sys.exit("missing %s (scripts/bootstrap.sh installs it)" % tool)
    baseline = os.path.abspath(args.baseline) if args.baseline else None
    if baseline and not os.access(baseline, os.X_OK):
        sys.exit("missing baseline %s" % baseline)
    cores = os.sched_getaffinity(0)
    if len(cores) < 2:
        sys.exit("the benchmark needs two cores")
    one_core = ["taskset", "-c", str(min(cores))]
    two_cores = ["taskset", "-c", ",".join(str(c) for c in sorted(cores)[:2])]

    work = WORK = os.path.abspath(args.work)
    corpus = make_corpus(os.path.join(work, "corpus"))
    total = sum(os.path.getsize(f) for f in corpus)
    ours_zip = os.path.join(work, "ours.zip")
    out = os.path.join(work, "out")

    def pack(tool, threads, cores):
        def job():
            archive = os.path.join(work, "pack.zip")
            if os.path.exists(archive):
                os.remove(archive)
            threads_arg = ["--threads", str(threads)] if threads else []
            return run(cores + [tool, "pack", "--password", PASSWORD] + threads_arg + [archive] + corpus)
        return job

    def seven_zip_pack(threads, cores):
        def job():
            archive = os.path.join(work, "7z.zip")
            if os.path.exists(archive):
                os.remove(archive)  # 7z would update an existing archive
            return run(cores + ["7z", "a", "-tzip", "-mx=5", "-mmt=%d" % threads, "-p" + PASSWORD, "-bd", "-bso0",
                                archive] + corpus)
        return job

    def fresh():
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)

    def unpack(tool, threads, cores):
        def job():
            fresh()
            threads_arg = ["--threads", str(threads)] if threads else []
            return run(cores + [tool, "unpack", "--password", PASSWORD] + threads_arg + [ours_zip, out])
        return job

    def seven_zip_unpack(threads, cores):
        def job():
            fresh()
            return run(cores + ["7z", "x", "-y", "-mmt=%d" % threads, "-p" + PASSWORD, "-bd", "-bso0",
                                "-o" + out, ours_zip])
        return job

    jobs = {
        "pack 1 thread, 1 core": pack(cli, 1, one_core),
        "pack 2 threads": pack(cli, 2, two_cores),
        "7z a -mmt=1, 1 core": seven_zip_pack(1, one_core),
        "7z a -mmt=2": seven_zip_pack(2, two_cores),
        "deflate floor, 1 core": lambda: run(one_core + [floor] + corpus),
        "unpack 1 thread, 1 core": unpack(cli, 1, one_core),
        "unpack 2 threads": unpack(cli, 2, two_cores),
        "7z x -mmt=1, 1 core": seven_zip_unpack(1, one_core),
        "7z x -mmt=2": seven_zip_unpack(2, two_cores),
        "pack 16 threads": pack(cli, 16, two_cores),
        "unpack 16 threads": unpack(cli, 16, two_cores),
    }
    if baseline:
        jobs["baseline pack, 1 core"] = pack(baseline, 0, one_core)
        jobs["baseline unpack, 1 core"] = unpack(baseline, 0, one_core)

    if args.only:
        jobs = {name: job for name, job in jobs.items() if args.only in name}

    # The archive the unpack runs read, and a warm page cache.
    if os.path.exists(ours_zip):
        os.remove(ours_zip)
    subprocess.run([cli, "pack", "--password", PASSWORD, ours_zip] + corpus, check=True)
    run([floor] + corpus)
    load = os.getloadavg()
    results = {name: [] for name in jobs}
    for _ in range(args.runs):
        for name, job in jobs.items():
            results[name].append(job())
    t = {name: min(s for s, _, _ in r) for name, r in results.items()}

    def ratio(a, b):
        return t[a] / t[b] if a in t and b in t else None
    rss = {name: max(m for _, m, _ in r) / 1024 for name, r in results.items()}
    cpu = {name: min(c for _, _, c in r) for name, r in results.items()}

    print("machine: %s, %d cores (affinity), %s" % (cpu_model(), len(cores), platform.platform()))
    print("corpus: %d files, %.1f MB (half text/XML, half random bytes, 1 KB to 16 MB)" % (len(corpus), total / MB))
    print("archive: %.1f MB" % (os.path.getsize(ours_zip) / MB))
    print("load average before the runs: %.2f %.2f %.2f; after: %.2f %.2f %.2f" % (load + os.getloadavg()))
    print("best of %d interleaved rounds (wall time; CPU time = user + system):" % args.runs)
    for name in jobs:
        print("  %-26s %7.3f s  %7.1f MB/s  CPU %7.3f s  peak RSS %6.1f MB"
              % (name, t[name], total / MB / t[name], cpu[name], rss[name]))

    checks = [
        ("pack 2 / deflate floor", ratio("pack 2 threads", "deflate floor, 1 core"), 0.55),
        ("pack 2 / 7z a -mmt=2", ratio("pack 2 threads", "7z a -mmt=2"), 0.6),
        ("pack 1 / 7z a -mmt=1 (1 core)", ratio("pack 1 thread, 1 core", "7z a -mmt=1, 1 core"), None),
        ("pack 1 / deflate floor", ratio("pack 1 thread, 1 core", "deflate floor, 1 core"), None),
        ("unpack 2 / 7z x -mmt=2", ratio("unpack 2 threads", "7z x -mmt=2"), 0.75),
        ("unpack 1 / 7z x (1 core)", ratio("unpack 1 thread, 1 core", "7z x -mmt=1, 1 core"), None),
        ("pack peak MB, 2 threads", rss.get("pack 2 threads"), 16.0),
        ("pack peak MB, 16 threads", rss.get("pack 16 threads"), 24.0),
        ("unpack peak MB, 2 threads", rss.get("unpack 2 threads"), 16.0),
        ("unpack peak MB, 16 threads", rss.get("unpack 16 threads"), 24.0),
        ("pack 1 core / baseline", ratio("pack 1 thread, 1 core", "baseline pack, 1 core"), 1.03),
        ("unpack 1 core / baseline", ratio("unpack 1 thread, 1 core", "baseline unpack, 1 core"), 1.03),
    ]
    missed = 0
    for name, value, limit in checks:
        if value is None:
            continue
        if limit is None:
            print("  %-30s %7.3f  (for reference)" % (name, value))
            continue
        ok = value <= limit
        missed += not ok
        print("  %-30s %7.3f  (target <= %g) %s" % (name, value, limit, "met" if ok else "MISSED"))
    return 1 if (args.check and missed) else 0


if __name__ == "__main__":
    sys.exit(main())
