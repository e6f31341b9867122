#!/usr/bin/env bash
# Regenerates the example movie and sound (both are committed; data.xml is written by
# hand). Run from anywhere.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
# A 640 x 480 movie on a dark blue stage, 24 frames a second: an amber box crosses the
# stage under a line of text, and the FSCommand "quit" in the last frame (after 10
# seconds) closes the player by itself.
python3 "$root/scripts/swfgen.py" -o "$here/intro.swf" --width 640 --height 480 --fps 24 \
  --frames 240 --bg 1F3A5F --compress --quit-at 240 \
  --box F2A900 0 200 80 80 4 0 \
  --text 40 60 560 40 "Vellumix demo: one package, played anywhere" --text-colour FFFFFF
# About one second of silence: MPEG-1 Layer III, 32 kbit/s, 44.1 kHz, mono.
python3 "$here/make_mp3.py" "$here/song.mp3" --frames 38
