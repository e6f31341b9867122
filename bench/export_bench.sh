#!/usr/bin/env bash
# vellumix-cli export --web against unpack plus a copy of Ruffle's files, the page's
# open-to-first-frame time in headless Chromium, and the single file's size against the
# folder's (bench/export_bench.py says how). Uses build/host unless VX_BUILD_DIR names
# another build folder; the stub is the win32 build's Orrinet.exe, else the builder
# tests' stand-in stub.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VX_BUILD_DIR:-build/host}
cli=$build/bin/vellumix-cli
[ -x "$cli" ] || cmake --build "$build" --target vellumix-cli >/dev/null
stub=build/win32/bin/Orrinet.exe
if [ ! -f "$stub" ]; then
  stub=$build/tests/packager/stub/vx_test_stub.exe
  [ -f "$stub" ] || cmake --build "$build" --target vx_test_stub_host >/dev/null
fi
python3 bench/export_bench.py "$cli" "$stub" "$@"
