#!/usr/bin/env python3
"""Writes the movies that the stand-in's tests load into the folder given.

The well-formed ones come from the project's movie generator (scripts/swfgen.py);
the damaged and unusual ones are put together here byte by byte.
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import swfgen  # noqa: E402


def tag(code, body=b""):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def action(code, data=b""):
    return bytes([code]) + (struct.pack("<H", len(data)) + data if code >= 0x80 else b"")


def get_url(url, target):
    return action(0x83, url.encode() + b"\0" + target.encode() + b"\0")


def movie(tags, fps=12, frames=1, signature=b"FWS", version=8):
    body = swfgen.rect_bytes(0, 4000, 0, 3000) + struct.pack("<HH", int(fps * 256), frames) + tags
    data = body if signature == b"FWS" else zlib.compress(body)
    return signature + bytes([version]) + struct.pack("<I", 8 + len(body)) + data


def main(out):
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    write("plain.swf", swfgen.make_swf(xmax=550 * 20, ymax=400 * 20, fps=12, frames=24,
                                       background=0x336699))
    write("compressed.swf", swfgen.make_swf(xmin=-200, xmax=12600, ymin=100, ymax=9700, fps=30,
                                            frames=10, compress=True, version=7, payload=5000,
                                            fscommands=[(3, "hello", "world"), (6, "quit", "")]))
    write("quick.swf", swfgen.make_swf(xmax=320 * 20, ymax=240 * 20, fps=20, frames=8,
                                       background=0xFFCC00,
                                       fscommands=[(4, "hello", "a b"), (8, "quit", "")]))
    write("fraction.swf", swfgen.make_swf(fps=20.5, frames=3, background=None))
    write("still.swf", swfgen.make_swf(fps=0, frames=5))

    plain = swfgen.make_swf(xmax=550 * 20, ymax=400 * 20, fps=12, frames=24, background=0x336699,
                            fscommands=[(20, "late", "")])
    write("truncated.swf", plain[:len(plain) - 40])
    compressed = bytearray(swfgen.make_swf(frames=30, compress=True, payload=20000,
                                           fscommands=[(1, "first", "")]))
    for i in range(len(compressed) // 2, len(compressed)):
        compressed[i] ^= 0x5A
    write("damaged.swf", bytes(compressed))

    # Actions around the fscommand, a URL that is no fscommand, the prefix in another
    # case, and a sprite whose own timeline must not count.
    first_frame = (action(0x06) + action(0x81, struct.pack("<H", 2)) + get_url("http://example.com", "_blank")
                   + get_url("fscommand:Lower", "x") + b"\0")
    sprite_tags = tag(12, get_url("FSCommand:inner", "") + b"\0") + tag(1) + tag(1) + tag(0)
    tags = (tag(12, first_frame) + tag(39, struct.pack("<HH", 1, 2) + sprite_tags) + tag(1)
            + tag(12, get_url("FSCommand:long", "y" * 100) + b"\0") + tag(1) + tag(0))
    write("actions.swf", movie(tags, frames=2))

    write("notswf.bin", b"GIF89a" + bytes(100))
    write("tiny.swf", b"FWS\x08\x10\x00\x00\x00\x50")


if __name__ == "__main__":
    main(sys.argv[1])
