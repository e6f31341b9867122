#!/usr/bin/env python3
"""Writes a short silent MP3: MPEG-1 Layer III frames, 32 kbit/s, 44.1 kHz, mono.

Each frame is a 4-byte header, 17 bytes of side information that are all zero (no main
data, so every granule decodes to silence) and zero padding up to the frame length of
144 * bitrate / sample rate = 104 bytes. 1152 samples per frame: 38 frames are about
one second.
"""
import argparse
import struct

BITRATE = 32000
SAMPLE_RATE = 44100
FRAME_LENGTH = 144 * BITRATE // SAMPLE_RATE  # 104 bytes, no padding slot


def frame():
    # sync (11 bits), MPEG-1 (11), layer III (01), no CRC (1)
    # bitrate index 1 (32 kbit/s), 44.1 kHz (00), no padding, private 0
    # mono (11), mode extension 00, not copyrighted, original, no emphasis
    header = struct.pack(">I", 0xFFFB10C4)
    return header + bytes(FRAME_LENGTH - len(header))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output")
    parser.add_argument("--frames", type=int, default=38)
    args = parser.parse_args()
    with open(args.output, "wb") as f:
        for _ in range(args.frames):
            f.write(frame())


if __name__ == "__main__":
    main()
