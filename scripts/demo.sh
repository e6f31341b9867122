#!/usr/bin/env bash
# The road of one package: examples/intro.swf with data.xml and song.mp3 become
# out/show.exe, a copy of the player stub; then the package is taken apart again, and
# exported for browsers (out/web/, out/show.html; out/web.png shows it playing where
# Chromium is installed). Called by `make demo` after both presets are built.
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
echo "== vellumix-cli export --web $out/show.exe"
"$cli" export --web "$out/show.exe" -o "$out/web" --single-file "$out/show.html" --force
if [ -x /usr/bin/chromium ] || command -v chromium >/dev/null 2>&1; then
  # A frame two seconds in: the box has moved off the stage's edge.
  python3 testing/browser.py screenshot --serve "$out/web" index.html "$out/web.png" \
    --wait-js "document.body && document.body.dataset.state === 'playing' && Number(document.body.dataset.frame) >= 48"
  echo "$out/web.png: the exported page playing in headless Chromium"
else
  echo "Chromium is not installed (scripts/bootstrap.sh installs it): no screenshot of the page"
fi
echo "To play it in your browser: open $out/show.html, or serve the folder:"
echo "  (cd $out/web && python3 -m http.server) and open http://127.0.0.1:8000/"
echo
echo "$out/show.exe is a Windows program: copy it to Windows and run it."
# Watching it here needs a Flash control; the project's stand-in serves (test equipment).
. testing/wine-env.sh
if vx_wine_runs win32; then
  echo "To watch it play here under Wine with the project's stand-in control:"
  echo "  testing/wine-harness.sh --screenshot 2 build/win32 demo $out/show.exe"
  echo "  (then look at build/win32/wine-harness/demo/screenshot.png)"
else
  echo "This machine does not run 32-bit programs, so the i686 package cannot run here. To watch"
  echo "the same package play under 64-bit Wine, build it from the win64 test build's stub:"
  echo "  make build-win64"
  echo "  $cli build --main examples/intro.swf --title \"Vellumix demo\" --stub build/win64/bin/Orrinet.exe \\"
  echo "      -o $out/show64.exe examples/data.xml examples/song.mp3"
  echo "  testing/wine-harness.sh --screenshot 2 build/win64 demo $out/show64.exe"
  echo "  (then look at build/win64/wine-harness/demo/screenshot.png)"
fi
