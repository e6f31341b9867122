#!/usr/bin/env bash
# Regenerates the example movie and sound (both are committed; data.xml is written by
# hand). Run from anywhere.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
# A 640 x 480 movie on a dark blue stage, 24 frames a second, that sends the FSCommand
# "quit" in its last frame (after 5 seconds) so that the player closes by itself.
python3 "$root/scripts/swfgen.py" -o "$here/intro.swf" --width 640 --height 480 --fps 24 \
  --frames 120 --bg 1F3A5F --compress --quit-at 120
# About one second of silence: MPEG-1 Layer III, 32 kbit/s, 44.1 kHz, mono.
python3 "$here/make_mp3.py" "$here/song.mp3" --frames 38
