#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan: the `asan` preset) and runs
# each for a bounded time. `scripts/fuzz.sh` runs each for FUZZ_SECONDS (default 60);
# `--short` for 10 s, as part of `make test`. Corpora live under build/fuzz/corpus, seeds under fuzz/seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${FUZZ_SECONDS:-60}
[ "${1:-}" = "--short" ] && secs=10
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)"
shopt -s nullglob
targets=(build/fuzz/bin/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "fuzz: $name for ${secs}s"
  "$t" -max_total_time="$secs" -max_len=262144 -rss_limit_mb=2048 -print_final_stats=0 \
       "$corpus" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1 || {
    echo "fuzz: $name FAILED"; tail -40 "build/fuzz/$name.log"; exit 1; }
done
echo "fuzz: all targets ran clean"
