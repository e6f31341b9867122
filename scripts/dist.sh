#!/usr/bin/env bash
# Makes the release archives from the builds (make dist runs `make build` first):
#
#   dist/vellumix-VERSION-win32.zip         Vellumix.exe, Orrinet.exe, vellumix-cli.exe, ruffle/, README.md
#   dist/vellumix-VERSION-linux-x86_64.tar.gz   vellumix-cli (Linux) with Orrinet.exe, ruffle/, README.md
#
# ruffle/ is Ruffle as the build installed it beside vellumix-cli (its scripts,
# WebAssembly and both licence files), for `vellumix-cli export --web`.
#
# Each unpacks into one folder of its own name. vellumix-cli finds the stub beside
# itself, so either works wherever it is unpacked; this script proves it by unpacking
# both into a scratch folder and building a package with each (the Windows one under
# Wine), read back with `vellumix-cli inspect`. The Windows archive's programs are
# checked without running them (PE32, i386, subsystem, system DLLs, version resource);
# where this machine cannot run 32-bit programs, the self-check runs the win64 build's
# vellumix-cli.exe in their place and says so.
#
# VX_HOST_BUILD, VX_WIN32_BUILD and VX_WIN64_BUILD name other build folders (default
# build/host, build/win32, build/win64); --no-check skips the proof.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
check=1
[ "${1:-}" = "--no-check" ] && check=0

host=$(realpath -m -- "${VX_HOST_BUILD:-build/host}")
win32=$(realpath -m -- "${VX_WIN32_BUILD:-build/win32}")
version=$(sed -n 's/^project(Vellumix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }

need() { [ -f "$1" ] || { echo "dist: $1 is missing (run make build)" >&2; exit 1; }; }
for f in Vellumix.exe Orrinet.exe vellumix-cli.exe ruffle/ruffle.js; do need "$win32/bin/$f"; done
need "$host/bin/vellumix-cli"
need "$host/bin/ruffle/ruffle.js"

mkdir -p dist
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# ---- Windows archive ------------------------------------------------------------------
win_name=vellumix-$version-win32
mkdir -p "$scratch/stage/$win_name"
cp "$win32/bin/Vellumix.exe" "$win32/bin/Orrinet.exe" "$win32/bin/vellumix-cli.exe" README.md \
  "$scratch/stage/$win_name/"
cp -r "$win32/bin/ruffle" "$scratch/stage/$win_name/"
rm -f "dist/$win_name.zip"
(cd "$scratch/stage" && zip -q -X -r "$root/dist/$win_name.zip" "$win_name")

# ---- Linux archive --------------------------------------------------------------------
linux_name=vellumix-$version-linux-$(uname -m)
mkdir -p "$scratch/stage/$linux_name"
cp "$host/bin/vellumix-cli" "$win32/bin/Orrinet.exe" README.md "$scratch/stage/$linux_name/"
cp -r "$host/bin/ruffle" "$scratch/stage/$linux_name/"
strip "$scratch/stage/$linux_name/vellumix-cli" 2>/dev/null || true
rm -f "dist/$linux_name.tar.gz"
tar -C "$scratch/stage" --owner=0 --group=0 -czf "dist/$linux_name.tar.gz" "$linux_name"

echo "dist: dist/$win_name.zip"
unzip -l "dist/$win_name.zip" | sed 's/^/  /'
echo "dist: dist/$linux_name.tar.gz"
tar -tzvf "dist/$linux_name.tar.gz" | sed 's/^/  /'
[ "$check" = 1 ] || exit 0

# ---- Proof: each archive works where it is unpacked ------------------------------------
python3 - "$scratch/movie.swf" <<'PY'
import struct, sys
# An uncompressed 550 x 400 movie: header, frame-size rectangle (16-bit fields),
# 12 fps, one frame, End.
bits = format(16, "05b") + "".join(format(v, "016b") for v in (0, 11000, 0, 8000))
bits += "0" * (-len(bits) % 8)
body = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)) + b"\x00\x0c\x01\x00" + b"\x00\x00"
open(sys.argv[1], "wb").write(b"FWS\x07" + struct.pack("<I", 8 + len(body)) + body)
PY
echo "hello" >"$scratch/notes.txt"

mkdir -p "$scratch/anywhere/linux" "$scratch/anywhere/windows"
tar -C "$scratch/anywhere/linux" -xzf "dist/$linux_name.tar.gz"
(cd "$scratch" && "$scratch/anywhere/linux/$linux_name/vellumix-cli" build --main movie.swf \
  --title "Dist check" -o "$scratch/linux-package.exe" notes.txt >/dev/null)
"$scratch/anywhere/linux/$linux_name/vellumix-cli" inspect "$scratch/linux-package.exe" >"$scratch/linux.txt"
grep -q $'^title\tDist check$' "$scratch/linux.txt"
grep -q $'^entry\tmovie.swf\t' "$scratch/linux.txt"
grep -q $'^entry\tnotes.txt\t' "$scratch/linux.txt"
"$scratch/anywhere/linux/$linux_name/vellumix-cli" export --web "$scratch/linux-package.exe" \
  -o "$scratch/linux-web" >/dev/null
[ -f "$scratch/linux-web/index.html" ] && [ -f "$scratch/linux-web/ruffle/LICENSE_MIT" ] &&
  [ -f "$scratch/linux-web/movie.swf" ]
echo "dist: the Linux archive builds and exports packages where it is unpacked"

unzip -q "dist/$win_name.zip" -d "$scratch/anywhere/windows"
unpacked=$scratch/anywhere/windows/$win_name
# Every program of the Windows archive is the shipped i686 build, read without running it.
/usr/bin/python3 testing/pe-check.py --machine i386 "$unpacked/Vellumix.exe=gui+version" \
  "$unpacked/Orrinet.exe=gui+version" "$unpacked/vellumix-cli.exe=console"
. testing/wine-env.sh
if vx_wine_runs win32; then
  cli_dir=$unpacked
  vx_wine_env win32
  ran="its own vellumix-cli.exe under 32-bit Wine"
else
  # 32-bit programs do not run here: the win64 build of the same CLI stands in for the
  # archive's own, beside the archive's i686 stub, which it finds there as it would.
  win64=$(realpath -m -- "${VX_WIN64_BUILD:-build/win64}")
  need "$win64/bin/vellumix-cli.exe"
  cli_dir=$scratch/anywhere/windows64
  cp -r "$unpacked" "$cli_dir"
  cp "$win64/bin/vellumix-cli.exe" "$cli_dir/vellumix-cli.exe"
  vx_wine_env win64
  ran="the win64 build's vellumix-cli.exe under 64-bit Wine (this machine does not run 32-bit programs)"
fi
prefix=$scratch/wineprefix
"$root/testing/wine-prefix.sh" "$WINEARCH" "$prefix" >/dev/null
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
(cd "$scratch" && WINEPREFIX=$prefix "$VX_WINE" "$cli_dir/vellumix-cli.exe" build --main movie.swf \
  --title "Dist check" -o "$(winpath "$scratch/windows-package.exe")" notes.txt >/dev/null)
WINEPREFIX=$prefix "$VX_WINESERVER" -k 2>/dev/null || true
"$scratch/anywhere/linux/$linux_name/vellumix-cli" inspect "$scratch/windows-package.exe" >"$scratch/windows.txt"
grep -q $'^title\tDist check$' "$scratch/windows.txt"
grep -q $'^entry\tmovie.swf\t' "$scratch/windows.txt"
(cd "$scratch" && WINEPREFIX=$prefix "$VX_WINE" "$cli_dir/vellumix-cli.exe" export --web \
  "$(winpath "$scratch/windows-package.exe")" -o "$(winpath "$scratch/windows-web")" >/dev/null)
WINEPREFIX=$prefix "$VX_WINESERVER" -k 2>/dev/null || true
[ -f "$scratch/windows-web/index.html" ] && [ -f "$scratch/windows-web/ruffle/LICENSE_APACHE" ] &&
  [ -f "$scratch/windows-web/movie.swf" ]
echo "dist: the Windows archive builds and exports packages where it is unpacked ($ran)"
