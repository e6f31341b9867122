#!/usr/bin/env bash
# ZIP archive benchmark (docs/performance.md, "ZIP archive"): `vellumix-cli pack` and
# `unpack` on 1 thread (one core, through taskset) and on 2 threads, against 7-Zip at
# the same thread count and the single-core deflate floor, with peak memory at 2 and 16
# threads, on a generated 64 MB corpus kept in build/bench (not committed).
#   VX_BENCH_BUILD=build/host (default)
#   extra arguments go to zip_bench.py: --runs N, --baseline OLD-CLI, --check
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/zip_bench.py --build "${VX_BENCH_BUILD:-build/host}" --work build/bench "$@"
