#!/usr/bin/env python3
"""What a package's own icon and version information add to a build: `vellumix-cli
build` of the demo package (examples/: intro.swf, data.xml, song.mp3, from the win32
stub) with `--icon` (a usual application icon: 16, 24, 32 and 48 pixels as 32-bit
bitmaps and 256 pixels as PNG) and nine `--version-info` settings, against the same
build without them, in the same run. The two take turns, ROUNDS times each; each
command is measured by bench/run_measured (wall time and its own processor time). The
ratio of the medians of processor time must be at most 1.05; wall times are given for
orientation (on a shared machine they mostly measure the neighbours).

    identity_bench.py --cli build/host/bin/vellumix-cli --measure build/host/bin/run_measured
                      --stub build/win32/bin/Orrinet.exe [--rounds N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "packager"))
from identity_files import dib, ico, png  # noqa: E402

LIMIT = 1.05
SETTINGS = ["FileVersion=1.4.0.17", "ProductVersion=1.4", "CompanyName=Acme Shows Ltd.",
            "FileDescription=The Acme road show", "LegalCopyright=(c) 2024 Acme Shows Ltd.",
            "ProductName=Acme Road Show", "OriginalFilename=show.exe", "InternalName=roadshow",
            "Comments=Made with Vellumix"]


def measure(tool, command, work):
    result = os.path.join(work, "measured")
    subprocess.run([tool, result] + command, check=True, stdout=subprocess.DEVNULL)
    with open(result) as f:
        wall, _, cpu = f.read().split()
    return float(wall), float(cpu)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--measure", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--rounds", type=int, default=200)
    opts = parser.parse_args()
    ex = os.path.join(ROOT, "examples")
    with tempfile.TemporaryDirectory(prefix="vx_identity_bench_") as work:
        icon = os.path.join(work, "show.ico")
        with open(icon, "wb") as f:
            f.write(ico([dib(s, s, 32, seed=s) for s in (16, 24, 32, 48)] + [png(256, 256, seed=256)]))
        base = [opts.cli, "build", "--main", os.path.join(ex, "intro.swf"), "--title", "Vellumix demo",
                "--stub", opts.stub, "-o", os.path.join(work, "show.exe")]
        files = [os.path.join(ex, "data.xml"), os.path.join(ex, "song.mp3")]
        extra = ["--icon", icon]
        for s in SETTINGS:
            extra += ["--version-info", s]
        plain, own = [], []
        for _ in range(opts.rounds):
            plain.append(measure(opts.measure, base + files, work))
            own.append(measure(opts.measure, base + extra + files, work))
        size = os.path.getsize(os.path.join(work, "show.exe"))
    cpu = [statistics.median(c for _, c in runs) for runs in (plain, own)]
    wall = [statistics.median(w for w, _ in runs) for runs in (plain, own)]
    ratio = cpu[1] / max(cpu[0], 1e-6)
    print("identity: demo package %d KiB (with icon and version), %d rounds each" % (size // 1024, opts.rounds))
    print("identity: processor time (median): plain build %.4fs, with icon and version %.4fs, ratio %.3f (limit %.2f)"
          % (cpu[0], cpu[1], ratio, LIMIT))
    print("identity: wall time (median, orientation): plain %.4fs, with icon and version %.4fs, ratio %.3f"
          % (wall[0], wall[1], wall[1] / max(wall[0], 1e-6)))
    if ratio > LIMIT:
        print("identity: FAIL ratio")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
