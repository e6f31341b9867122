#!/usr/bin/env bash
# The player on a package holding 50 MB of files, under Wine with the stand-in control:
#   - time from process start to the first LoadMovie, against `vellumix-cli.exe unpack`
#     of the same package under Wine in the same run (limit: ratio 1.3);
#   - peak private (anonymous) memory of the player, less that of the bare stub playing
#     its logo in the same run, against the package's size (limit: size + 16 MiB). The
#     archive is read in place from the loaded image, so the player should hold little
#     beyond the image itself.
#
# Uses build/host (vellumix-cli build) and a Windows build (Orrinet.exe, vellumix-cli.exe,
# flash-standin.dll): build/win32 where 32-bit programs run, else build/win64, unless
# VX_BUILD_DIR / VX_WINDOWS_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."
. testing/wine-env.sh
host=${VX_BUILD_DIR:-build/host}
win=$(vx_windows_build)
vx_wine_env "$win"
for f in "$host/bin/vellumix-cli" "$win/bin/Orrinet.exe" "$win/bin/vellumix-cli.exe" "$win/bin/flash-standin.dll"; do
  [ -f "$f" ] || { echo "player_bench: $f is missing (build both presets first)" >&2; exit 1; }
done

data=build/bench/player
mkdir -p "$data"
work=$(mktemp -d)
trap 'WINEPREFIX=$PWD/$data/prefix-$WINEARCH "$VX_WINESERVER" -k 2>/dev/null || true; rm -rf "$work"' EXIT

# 50 MB of files: half random bytes (stored as they are), half text (deflated), plus
# the main movie. Made once and kept in build/bench/player.
python3 - "$data/corpus" <<'PY'
import os, random, sys
folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
rng = random.Random(50)
words = [("w%d" % i).encode() for i in range(4000)]
for i in range(5):
    path = os.path.join(folder, "random%d.bin" % i)
    if not os.path.exists(path) or os.path.getsize(path) != 5_000_000:
        with open(path, "wb") as f:
            f.write(rng.randbytes(5_000_000))
    path = os.path.join(folder, "text%d.xml" % i)
    if not os.path.exists(path) or os.path.getsize(path) != 5_000_000:
        out = bytearray()
        while len(out) < 5_000_000:
            out += b"<item>" + b" ".join(rng.choice(words) for _ in range(12)) + b"</item>\n"
        with open(path, "wb") as f:
            f.write(out[:5_000_000])
PY
python3 scripts/swfgen.py -o "$data/corpus/main.swf" --width 550 --height 400 --frames 24
package=$work/big.exe
"$host/bin/vellumix-cli" build --stub "$win/bin/Orrinet.exe" --main "$data/corpus/main.swf" \
  -o "$package" "$data"/corpus/random*.bin "$data"/corpus/text*.xml >/dev/null

# A prefix of its own with the stand-in control registered.
export WINEPREFIX=$PWD/$data/prefix-$WINEARCH
testing/wine-prefix.sh "$win" "$WINEPREFIX" >/dev/null
"$VX_WINE" regsvr32 /s "Z:$(realpath "$win/bin/flash-standin.dll" | tr / '\\')"
"$VX_WINESERVER" -w

xvfb-run -a -s "-screen 0 1024x768x24" \
  python3 bench/player_bench.py "$package" "$win/bin/Orrinet.exe" "$win/bin/vellumix-cli.exe" "$work"
