#!/usr/bin/env bash
# Runs every benchmark under bench/ (bench/*.sh), each printing its ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s nullglob
for b in bench/*.sh; do
  echo "== $b"
  bash "$b"
done
