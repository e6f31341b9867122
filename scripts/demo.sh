#!/usr/bin/env bash
# The road of one package: examples/intro.swf with data.xml and song.mp3 become
# out/show.exe, a copy of the player stub; then the package is taken apart again.
# Called by `make demo` after both presets are built.
set -euo pipefail
cd "$(dirname "$0")/.."

host=${VX_HOST_BUILD:-build/host}     # build folders; `make demo` uses the presets'
win32=${VX_WIN32_BUILD:-build/win32}
cli=$host/bin/vellumix-cli
stub=$win32/bin/Orrinet.exe
if [ ! -x "$cli" ]; then
  echo "demo: $cli is missing; run 'make build' first" >&2
  exit 1
fi
if [ ! -f "$stub" ]; then
  echo "demo: the player stub $stub is missing; the win32 build must make Orrinet.exe ('make build')" >&2
  exit 1
fi

out=${VX_DEMO_OUT:-out}
mkdir -p "$out"
echo "== vellumix-cli build"
"$cli" build --main examples/intro.swf --title "Vellumix demo" --stub "$stub" \
  -o "$out/show.exe" examples/data.xml examples/song.mp3
echo
echo "== vellumix-cli inspect $out/show.exe"
"$cli" inspect "$out/show.exe"
echo
echo "Run it on Windows, or here with: wine $out/show.exe"
