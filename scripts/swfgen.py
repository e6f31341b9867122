#!/usr/bin/env python3
"""swfgen: writes small, valid Flash movies (SWF) for tests, examples and the stub's logo.

A movie is the 8-byte header ("FWS" plain or "CWS" with a zlib-compressed body), the
frame-size rectangle, the frame rate and frame count, and a list of tags:

    [FileAttributes]  [SetBackgroundColor]  [DefineBinaryData payload]
    frame 1: [DoAction ...] ShowFrame
    ...
    frame N: [DoAction ...] ShowFrame
    End

An fscommand is the classic form: a DoAction tag holding ActionGetURL (0x83) with the
URL "FSCommand:<command>" and the target <args>, which the Flash player turns into the
FSCommand event (command, args). It sits in front of the ShowFrame of its frame.

Command line (all numbers decimal unless noted):

    swfgen.py -o OUT.swf [options]

    -o, --output PATH        file to write (required)
    --width PX --height PX   stage size in pixels: Xmin = Ymin = 0, Xmax = 20 * PX ...
    --rect XMIN XMAX YMIN YMAX
                             the rectangle in twips instead (may be negative)
    --nbits N                field width of the rectangle (0..31); default: the
                             smallest width that holds all four fields
    --fps F                  frame rate (8.8 fixed point; default 12)
    --frames N               number of frames, one ShowFrame each (default 1)
    --bg RRGGBB              background colour, hex (default FFFFFF)
    --no-bg                  no SetBackgroundColor tag
    --file-attributes        a FileAttributes tag in front of SetBackgroundColor
    --compress               CWS: zlib-compressed body
    --level N                zlib level for --compress (default 9)
    --swf-version N          the header's version byte (default 8)
    --quit-at FRAME          fscommand "quit" (args "") in frame FRAME (1-based)
    --fscommand FRAME COMMAND ARGS
                             any fscommand; may be given several times
    --payload BYTES          a DefineBinaryData tag of BYTES pseudo-random bytes (to
                             make large movies; the same bytes for the same --seed)
    --payload-bits N         random bits per payload byte, 1..8 (default 8: does not
                             compress; fewer bits compress to about N/8 of the size)
    --seed N                 seed of the payload (default 1)

As a module: make_swf(...) returns the bytes of a movie, rect_bytes(...) the encoded
rectangle, min_nbits(...) the smallest field width, write_swf(path, ...) writes a file.
Only the standard library is used.
"""

import argparse
import random
import struct
import sys
import zlib

# Tag codes.
TAG_END = 0
TAG_SHOW_FRAME = 1
TAG_SET_BACKGROUND_COLOR = 9
TAG_DO_ACTION = 12
TAG_FILE_ATTRIBUTES = 69
TAG_DEFINE_BINARY_DATA = 87

ACTION_GET_URL = 0x83
ACTION_END = 0x00


def signed_bits_needed(value):
    """Width of the smallest two's complement field that holds value (0 for 0)."""
    if value == 0:
        return 0
    if value > 0:
        return value.bit_length() + 1
    return (~value).bit_length() + 1


def min_nbits(xmin, xmax, ymin, ymax):
    return max(signed_bits_needed(v) for v in (xmin, xmax, ymin, ymax))


class _BitWriter:
    """Most significant bit first, as SWF bit fields are stored."""

    def __init__(self):
        self.bits = []

    def write(self, value, width):
        for i in range(width - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def to_bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        out = bytearray()
        for i in range(0, len(padded), 8):
            byte = 0
            for b in padded[i:i + 8]:
                byte = (byte << 1) | b
            out.append(byte)
        return bytes(out)


def rect_bytes(xmin, xmax, ymin, ymax, nbits=None):
    """The RECT record: 5 bits Nbits, four signed fields, padded to a whole byte."""
    needed = min_nbits(xmin, xmax, ymin, ymax)
    if nbits is None:
        nbits = needed
    if not 0 <= nbits <= 31:
        raise ValueError("nbits must be 0..31, not %d" % nbits)
    if nbits < needed:
        raise ValueError("the rectangle needs %d bits per field, %d given" % (needed, nbits))
    w = _BitWriter()
    w.write(nbits, 5)
    mask = (1 << nbits) - 1
    for v in (xmin, xmax, ymin, ymax):
        w.write(v & mask, nbits)
    return w.to_bytes()


def tag(code, body=b""):
    """A tag with its record header: the short form below 63 bytes, else the long one."""
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def _c_string(text):
    data = text.encode("latin-1")
    if b"\0" in data:
        raise ValueError("a string in a movie cannot hold a NUL character")
    return data + b"\0"


def fscommand_action(command, args=""):
    """DoAction body: getURL("FSCommand:<command>", "<args>"), then the end flag."""
    payload = _c_string("FSCommand:" + command) + _c_string(args)
    return bytes([ACTION_GET_URL]) + struct.pack("<H", len(payload)) + payload + bytes([ACTION_END])


def make_swf(xmin=0, xmax=11000, ymin=0, ymax=8000, nbits=None, fps=12.0, frames=1,
             background=0xFFFFFF, file_attributes=False, compress=False, level=9,
             version=8, fscommands=(), payload=0, seed=1, payload_bits=8):
    """The bytes of a movie. background=None leaves out SetBackgroundColor.

    fscommands: (frame, command, args) triples, frame counted from 1.
    """
    if frames < 0 or frames > 0xFFFF:
        raise ValueError("frames must be 0..65535")
    rate = int(round(fps * 256))
    if not 0 <= rate <= 0xFFFF:
        raise ValueError("frame rate out of range")
    by_frame = {}
    for frame, command, args in fscommands:
        if not 1 <= frame <= frames:
            raise ValueError("fscommand frame %d is not one of the movie's %d frames" % (frame, frames))
        by_frame.setdefault(frame, []).append((command, args))

    body = bytearray(rect_bytes(xmin, xmax, ymin, ymax, nbits))
    body += struct.pack("<HH", rate, frames)
    if file_attributes:
        body += tag(TAG_FILE_ATTRIBUTES, struct.pack("<I", 0))
    if background is not None:
        if not 0 <= background <= 0xFFFFFF:
            raise ValueError("background must be 0xRRGGBB")
        body += tag(TAG_SET_BACKGROUND_COLOR,
                    bytes([(background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF]))
    if payload:
        if not 1 <= payload_bits <= 8:
            raise ValueError("payload bits must be 1..8")
        data = random.Random(seed).randbytes(payload)
        if payload_bits < 8:
            mask = (1 << payload_bits) - 1
            data = data.translate(bytes(i & mask for i in range(256)))
        body += tag(TAG_DEFINE_BINARY_DATA, struct.pack("<HI", 1, 0) + data)
    for frame in range(1, frames + 1):
        for command, args in by_frame.get(frame, []):
            body += tag(TAG_DO_ACTION, fscommand_action(command, args))
        body += tag(TAG_SHOW_FRAME)
    body += tag(TAG_END)

    length = 8 + len(body)
    if length > 0xFFFFFFFF:
        raise ValueError("movie too large for its 32-bit length field")
    header = (b"CWS" if compress else b"FWS") + bytes([version & 0xFF]) + struct.pack("<I", length)
    return header + (zlib.compress(bytes(body), level) if compress else bytes(body))


def write_swf(path, **kwargs):
    data = make_swf(**kwargs)
    with open(path, "wb") as f:
        f.write(data)
    return data


def main(argv=None):
    p = argparse.ArgumentParser(prog="swfgen.py", description="Writes a small valid SWF movie.")
    p.add_argument("-o", "--output", required=True)
    p.add_argument("--width", type=int)
    p.add_argument("--height", type=int)
    p.add_argument("--rect", type=int, nargs=4, metavar=("XMIN", "XMAX", "YMIN", "YMAX"))
    p.add_argument("--nbits", type=int)
    p.add_argument("--fps", type=float, default=12.0)
    p.add_argument("--frames", type=int, default=1)
    p.add_argument("--bg", default="FFFFFF")
    p.add_argument("--no-bg", action="store_true")
    p.add_argument("--file-attributes", action="store_true")
    p.add_argument("--compress", action="store_true")
    p.add_argument("--level", type=int, default=9)
    p.add_argument("--swf-version", type=int, default=8)
    p.add_argument("--quit-at", type=int, metavar="FRAME")
    p.add_argument("--fscommand", nargs=3, action="append", default=[], metavar=("FRAME", "COMMAND", "ARGS"))
    p.add_argument("--payload", type=int, default=0)
    p.add_argument("--payload-bits", type=int, default=8)
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args(argv)

    if a.rect and (a.width is not None or a.height is not None):
        p.error("--rect and --width/--height exclude each other")
    if a.rect:
        xmin, xmax, ymin, ymax = a.rect
    else:
        xmin, xmax = 0, 20 * (550 if a.width is None else a.width)
        ymin, ymax = 0, 20 * (400 if a.height is None else a.height)
    try:
        background = None if a.no_bg else int(a.bg, 16)
    except ValueError:
        p.error("--bg takes a hex colour RRGGBB")
    commands = []
    if a.quit_at is not None:
        commands.append((a.quit_at, "quit", ""))
    for frame, command, args in a.fscommand:
        try:
            commands.append((int(frame), command, args))
        except ValueError:
            p.error("--fscommand FRAME must be a number")
    try:
        write_swf(a.output, xmin=xmin, xmax=xmax, ymin=ymin, ymax=ymax, nbits=a.nbits, fps=a.fps,
                  frames=a.frames, background=background, file_attributes=a.file_attributes,
                  compress=a.compress, level=a.level, version=a.swf_version, fscommands=commands,
                  payload=a.payload, seed=a.seed, payload_bits=a.payload_bits)
    except (ValueError, OSError) as e:
        print("swfgen.py: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
