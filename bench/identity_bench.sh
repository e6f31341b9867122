#!/usr/bin/env bash
# What --icon and --version-info add to building the demo package: see identity_bench.py.
# Uses build/host unless VX_BUILD_DIR names another build folder; the stub is the win32
# build's Orrinet.exe, else the builder tests' stand-in stub.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VX_BUILD_DIR:-build/host}
[ -x "$build/bin/vellumix-cli" ] && [ -x "$build/bin/run_measured" ] ||
  cmake --build "$build" --target vellumix-cli run_measured >/dev/null
stub=build/win32/bin/Orrinet.exe
if [ ! -f "$stub" ]; then
  stub=$build/tests/packager/stub/vx_test_stub.exe
  [ -f "$stub" ] || cmake --build "$build" --target vx_test_stub_host >/dev/null
fi
exec python3 bench/identity_bench.py --cli "$build/bin/vellumix-cli" --measure "$build/bin/run_measured" \
  --stub "$stub" "$@"
