#!/usr/bin/env bash
# ReadSwfDimension on 20 MB compressed movies (the packager runs it on the window's
# thread when files are added; the player when a movie comes up). Two movies: one whose
# body does not compress (sound and pictures; zlib stores it) and one whose body
# compresses to about 60 % (real Huffman decoding, a 33 MiB body).
#
# Peer, measured in the same run: Python's zlib.decompress of the same movie's body
# (read the file, inflate it whole in one call), the work the reader cannot avoid as it
# inflates every stream to the end to notice damage anywhere. Each side runs in a fresh
# process per round, best of 7 alternating rounds. Reported: both times, the ratio
# reader / peer, and the reader's memory growth (it inflates through a small scratch
# buffer; the peer holds the whole body).
#
# Limits: ratio at most 2.0, memory growth at most 4 MiB. Uses build/host unless
# VX_BUILD_DIR names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VX_BUILD_DIR:-build/host}
tool=$build/bin/swf_bench_tool
if [ ! -x "$tool" ]; then
  cmake --build "$build" --target swf_bench_tool >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

measure() {  # name payload-bytes payload-bits
  local name=$1 movie=$work/$1.swf
  python3 scripts/swfgen.py -o "$movie" --compress --level 1 --payload "$2" --payload-bits "$3" --bg 336699
  local size ratio
  size=$(stat -c %s "$movie")
  # Seven alternating rounds, best of each side, so that load from other processes
  # weighs on both alike.
  local ours=1e9 ours_kib=0 width height colour peer=1e9 t kib round
  for round in 1 2 3 4 5 6 7; do
    read -r t kib width height colour < <("$tool" "$movie" 1)
    ours=$(python3 -c "print(min($ours, $t))")
    [ "$kib" -gt "$ours_kib" ] && ours_kib=$kib
    t=$(python3 - "$movie" <<'PY'
import sys, time, zlib
t0 = time.perf_counter()
with open(sys.argv[1], "rb") as f:
    data = f.read()
body = zlib.decompress(data[8:])
print("%.6f" % (time.perf_counter() - t0))
PY
)
    peer=$(python3 -c "print(min($peer, $t))")
  done
  ratio=$(python3 -c "print('%.2f' % ($ours / $peer))")
  echo "swf $name: $((size / 1024)) KiB compressed, body $(( $2 / 1024 )) KiB payload; result $width * $height $colour"
  echo "swf $name: ReadSwfDimension ${ours}s, python zlib.decompress ${peer}s, ratio $ratio (limit 2.0), reader memory growth ${ours_kib} KiB (limit 4096)"
  python3 -c "import sys; sys.exit(0 if $ratio <= 2.0 else 1)" || { echo "swf $name: FAIL ratio"; fail=1; }
  [ "$ours_kib" -le 4096 ] || { echo "swf $name: FAIL memory"; fail=1; }
  [ "$width $height $colour" = "550 400 0x336699" ] || { echo "swf $name: FAIL wrong result"; fail=1; }
}

measure incompressible $((20 * 1024 * 1024)) 8
measure compressible $((33 * 1024 * 1024)) 4
exit $fail
