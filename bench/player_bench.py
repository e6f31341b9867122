#!/usr/bin/env python3
"""The measuring part of player_bench.sh; runs on the benchmark's X server.

    player_bench.py PACKAGE STUB CLI_EXE WORK_DIR

Every program is started with the Wine loader that player_bench.sh chose (VX_WINE,
which keeps its process id through to the Windows program), its /proc status polled every few milliseconds for the anonymous
resident memory, and, for the player, the stand-in's log watched for the first
LoadMovie. Best of 3 rounds, the programs taking turns.
"""

import os
import shutil
import subprocess
import sys
import time

ROUNDS = 3
LIMIT_RATIO = 1.3
LIMIT_EXTRA = 16 * 1024 * 1024
WINE = os.environ.get("VX_WINE", "wine")
WINESERVER = os.environ.get("VX_WINESERVER", "wineserver")


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def anon_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def measure(cmd, env, log=None):
    """(seconds to the first LoadMovie or to the exit, peak anonymous KiB)."""
    if log and os.path.exists(log):
        os.remove(log)
    start = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    loaded = None
    while proc.poll() is None:
        peak = max(peak, anon_kib(proc.pid))
        if log and loaded is None and os.path.exists(log):
            with open(log, encoding="latin-1") as f:
                if any(line.startswith("LoadMovie ") for line in f):
                    loaded = time.monotonic() - start
        time.sleep(0.003)
    elapsed = time.monotonic() - start
    if proc.returncode != 0:
        sys.exit("player_bench: %s ended with %d" % (cmd, proc.returncode))
    if log and loaded is None:
        sys.exit("player_bench: %s never loaded its movie" % cmd[1])
    return (loaded if log else elapsed), peak


def main():
    package, stub, cli, work = sys.argv[1:5]
    log = os.path.join(work, "standin.log")
    env = dict(os.environ, FLASH_STANDIN_LOG=windows_path(log), FLASH_STANDIN_QUIT_MS="800")
    # Unpack into the prefix's temporary folder, on the same file system as the
    # player's own extraction.
    temp = [os.path.join(root, d) for root in [os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")]
            for d in os.listdir(root)]
    temp = [os.path.join(d, "Temp") for d in temp if os.path.isdir(os.path.join(d, "Temp"))][0]
    unpacked = os.path.join(temp, "bench-unpacked")
    # One server for every round (it must not hold our output open).
    subprocess.run([WINESERVER, "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    # Warm-up: the first start of a prefix pays for things no later one does.
    measure([WINE, stub], env, log)

    player_t, unpack_t, stub_t = [], [], []
    player_mem = unpack_mem = stub_mem = 0
    for _ in range(ROUNDS):
        t, m = measure([WINE, package], env, log)
        player_t.append(t)
        player_mem = max(player_mem, m)
        shutil.rmtree(unpacked, ignore_errors=True)
        os.makedirs(unpacked)
        t, m = measure([WINE, cli, "unpack", windows_path(package), windows_path(unpacked)], env)
        unpack_t.append(t)
        unpack_mem = max(unpack_mem, m)
        t, m = measure([WINE, stub], env, log)
        stub_t.append(t)
        stub_mem = max(stub_mem, m)

    size = os.path.getsize(package)
    files = sum(os.path.getsize(os.path.join(unpacked, n)) for n in os.listdir(unpacked))
    ratio = min(player_t) / min(unpack_t)
    growth = (player_mem - stub_mem) * 1024
    print("package: %.1f MB holding %.1f MB of files" % (size / 1e6, files / 1e6))
    print("start to first LoadMovie: %.2f s; vellumix-cli.exe unpack: %.2f s; ratio %.2f (limit %.1f)"
          % (min(player_t), min(unpack_t), ratio, LIMIT_RATIO))
    print("bare stub to its LoadMovie: %.2f s" % min(stub_t))
    print("peak anonymous memory: player %.1f MiB, bare stub %.1f MiB, unpack %.1f MiB"
          % (player_mem / 1024, stub_mem / 1024, unpack_mem / 1024))
    print("player above the bare stub: %.1f MiB; package %.1f MiB; limit package + 16 MiB = %.1f MiB"
          % (growth / 2**20, size / 2**20, (size + LIMIT_EXTRA) / 2**20))
    shutil.rmtree(unpacked, ignore_errors=True)
    subprocess.run([WINESERVER, "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    ok = ratio <= LIMIT_RATIO and growth <= size + LIMIT_EXTRA
    print("player_bench: %s" % ("within limits" if ok else "OUT OF LIMITS"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
