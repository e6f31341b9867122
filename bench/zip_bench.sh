#!/usr/bin/env bash
# ZIP archive benchmark (docs/performance.md, "ZIP archive"): packing a generated 64 MB
# corpus with `vellumix-cli pack --password` against `zip -8 -P` and a bare Deflate
# loop, and extracting with `vellumix-cli unpack` against `unzip -P` where it exists.
# The corpus is generated once into build/bench (not committed).
#   VX_BENCH_BUILD=build/host (default)   extra arguments go to zip_bench.py (--runs N, --check)
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/zip_bench.py --build "${VX_BENCH_BUILD:-build/host}" --work build/bench "$@"
