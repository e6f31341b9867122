#!/usr/bin/env bash
# The player's removal of folders that killed or crashed runs left under %TEMP%\VX:
#   - sweep_bench.exe: the sweep itself on 100 such folders, in-process, against
#     deleting the same files without looking at locks (the floor); this work runs on
#     a worker thread once the movie plays;
#   - what 100 left-over folders add to a start: the bare stub (playing its logo)
#     from process start to the stand-in's first LoadMovie, rounds with and without
#     100 left-over folders taking turns (limit: 50 ms more, the median of the
#     differences between neighbouring rounds); after each round with them, every one
#     must be gone.
#
# Uses a Windows build (Orrinet.exe, sweep_bench.exe, flash-standin.dll): build/win32
# where 32-bit programs run, else build/win64, unless VX_WINDOWS_BUILD names another.
set -euo pipefail
cd "$(dirname "$0")/.."
. testing/wine-env.sh
win=$(vx_windows_build)
vx_wine_env "$win"
for f in "$win/bin/Orrinet.exe" "$win/bin/sweep_bench.exe" "$win/bin/flash-standin.dll"; do
  [ -f "$f" ] || { echo "sweep_bench: $f is missing (build $win first)" >&2; exit 1; }
done
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

data=build/bench/sweep
mkdir -p "$data"
export WINEPREFIX=$PWD/$data/prefix-$WINEARCH
trap '"$VX_WINESERVER" -k 2>/dev/null || true' EXIT
testing/wine-prefix.sh "$win" "$WINEPREFIX" >/dev/null
"$VX_WINE" regsvr32 /s "Z:$(realpath "$win/bin/flash-standin.dll" | tr / '\\')"
"$VX_WINESERVER" -w

echo "-- the sweep in-process ($WINEARCH)"
"$VX_WINE" "$win/bin/sweep_bench.exe" 100 9
echo "-- 100 left-over folders at the start of a package"
xvfb-run -a -s "-screen 0 1024x768x24" python3 bench/sweep_bench.py "$win/bin/Orrinet.exe" "$data"
