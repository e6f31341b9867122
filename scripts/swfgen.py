#!/usr/bin/env python3
"""swfgen: writes small, valid Flash movies (SWF) for tests, examples and the stub's logo.

A movie is the 8-byte header ("FWS" plain or "CWS" with a zlib-compressed body), the
frame-size rectangle, the frame rate and frame count, and a list of tags:

    [FileAttributes]  [SetBackgroundColor]  [DefineBinaryData payload]
    [DefineShape, DefineFont2, DefineEditText: the boxes and text fields]
    frame 1: [PlaceObject2 ...] [DoAction ...] ShowFrame
    ...
    frame N: [PlaceObject2 ...] [DoAction ...] ShowFrame
    End

An fscommand is the classic form: a DoAction tag holding ActionGetURL (0x83) with the
URL "FSCommand:<command>" and the target <args>, which the Flash player turns into the
FSCommand event (command, args). It sits in front of the ShowFrame of its frame.

Boxes are solid rectangles that move by a fixed step each frame (wrapping around the
stage); text fields show a line of text, or the value of a variable, in the player's
sans-serif device font. The other actions are the classic ones a movie uses to reach
its sibling files: loadVariablesNum(URL, 0) (ActionGetURL2 with the load-variables
flag) and loadMovieNum(URL, LEVEL) (ActionGetURL to "_levelN"). Strings in a movie are
UTF-8 from version 6 on, Latin-1 before.

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
    --as3                    a FileAttributes tag with the ActionScript 3 bit (the
                             movie then has no code at all; needs version 9 or more)
    --box RRGGBB X Y W H DX DY
                             a solid W x H box at X, Y (pixels) that moves DX, DY
                             pixels each frame, wrapping around the stage; repeatable
    --text X Y W H TEXT      a text field showing TEXT; repeatable
    --variable-text VAR X Y W H
                             a text field showing the value of the variable VAR
    --text-colour RRGGBB     colour of every text field (default 000000)
    --load-variables FRAME URL
                             loadVariablesNum(URL, 0) in FRAME
    --load-movie FRAME URL LEVEL
                             loadMovieNum(URL, LEVEL) in FRAME
    --report-variable VAR    from frame 1 on, once VAR is defined: fscommand(VAR,
                             VAR's value), once
    --goto FRAME TARGET      gotoAndPlay(TARGET) in FRAME
    --stop-at FRAME          stop() in FRAME

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
TAG_DEFINE_SHAPE = 2
TAG_SET_BACKGROUND_COLOR = 9
TAG_DO_ACTION = 12
TAG_PLACE_OBJECT2 = 26
TAG_DEFINE_EDIT_TEXT = 37
TAG_DEFINE_FONT2 = 48
TAG_FILE_ATTRIBUTES = 69
TAG_DEFINE_BINARY_DATA = 87

FILE_ATTRIBUTES_AS3 = 0x08

ACTION_END = 0x00
ACTION_PLAY = 0x06
ACTION_STOP = 0x07
ACTION_NOT = 0x12
ACTION_STRING_EQUALS = 0x13
ACTION_GET_VARIABLE = 0x1C
ACTION_SET_VARIABLE = 0x1D
ACTION_TYPE_OF = 0x44
ACTION_GOTO_FRAME = 0x81
ACTION_GET_URL = 0x83
ACTION_PUSH = 0x96
ACTION_GET_URL2 = 0x9A
ACTION_IF = 0x9D

# ActionGetURL2 flags as movies carry them: bit 7 loads variables, bit 6 says the
# target is a sprite path, bits 0-1 are the method of sending variables.
GET_URL2_LOAD_VARIABLES = 0x80


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


def _c_string(text, version=5):
    data = text.encode("utf-8" if version >= 6 else "latin-1")
    if b"\0" in data:
        raise ValueError("a string in a movie cannot hold a NUL character")
    return data + b"\0"


def action(code, data=b""):
    """One action record: the code, and for codes from 0x80 on the length and data."""
    if code < 0x80:
        return bytes([code])
    return bytes([code]) + struct.pack("<H", len(data)) + data


def push_string(text, version=8):
    return action(ACTION_PUSH, b"\0" + _c_string(text, version))


def get_url(url, target, version=8):
    return action(ACTION_GET_URL, _c_string(url, version) + _c_string(target, version))


def fscommand_action(command, args="", version=5):
    """DoAction body: getURL("FSCommand:<command>", "<args>"), then the end flag."""
    return get_url("FSCommand:" + command, args, version) + bytes([ACTION_END])


def load_variables_action(url, version=8):
    """DoAction body: loadVariablesNum(url, 0)."""
    return (push_string(url, version) + push_string("_level0", version) +
            action(ACTION_GET_URL2, bytes([GET_URL2_LOAD_VARIABLES])) + bytes([ACTION_END]))


def load_movie_action(url, level, version=8):
    """DoAction body: loadMovieNum(url, level)."""
    return get_url(url, "_level%d" % level, version) + bytes([ACTION_END])


def report_variable_action(variable, version=8):
    """DoAction body: once `variable` is defined, fscommand(variable, its value), and
    only once (a variable of our own remembers it):

        if (typeof variable != "undefined" && typeof sent_variable == "undefined") {
            fscommand(variable, variable); sent_variable = "1";
        }
    """
    sent = "vx_sent_" + variable
    body = (push_string("FSCommand:" + variable, version) + push_string(variable, version) +
            action(ACTION_GET_VARIABLE) + action(ACTION_GET_URL2, b"\0") +
            push_string(sent, version) + push_string("1", version) + action(ACTION_SET_VARIABLE))
    skip_if_sent = (push_string(sent, version) + action(ACTION_GET_VARIABLE) + action(ACTION_TYPE_OF) +
                    push_string("undefined", version) + action(ACTION_STRING_EQUALS) + action(ACTION_NOT))
    skip_if_sent += action(ACTION_IF, struct.pack("<h", len(body)))
    check = (push_string(variable, version) + action(ACTION_GET_VARIABLE) + action(ACTION_TYPE_OF) +
             push_string("undefined", version) + action(ACTION_STRING_EQUALS))
    check += action(ACTION_IF, struct.pack("<h", len(skip_if_sent) + len(body)))
    return check + skip_if_sent + body + bytes([ACTION_END])


def goto_and_play_action(frame):
    """DoAction body: gotoAndPlay(frame), frame counted from 1."""
    return action(ACTION_GOTO_FRAME, struct.pack("<H", frame - 1)) + action(ACTION_PLAY) + bytes([ACTION_END])


def stop_action():
    return action(ACTION_STOP) + bytes([ACTION_END])


def _rgb(colour):
    if not 0 <= colour <= 0xFFFFFF:
        raise ValueError("colours are 0xRRGGBB")
    return bytes([(colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF])


def _matrix(x_twips, y_twips):
    """A MATRIX record that only translates."""
    n = max(signed_bits_needed(x_twips), signed_bits_needed(y_twips), 1)
    w = _BitWriter()
    w.write(0, 1)  # no scale
    w.write(0, 1)  # no rotation
    w.write(n, 5)
    mask = (1 << n) - 1
    w.write(x_twips & mask, n)
    w.write(y_twips & mask, n)
    return w.to_bytes()


def define_box(shape_id, colour, width_twips, height_twips):
    """DefineShape: a rectangle from 0,0 filled with one solid colour, no outline."""
    body = struct.pack("<H", shape_id) + rect_bytes(0, width_twips, 0, height_twips)
    body += bytes([1, 0x00]) + _rgb(colour)  # one solid fill style
    body += bytes([0])  # no line styles
    w = _BitWriter()
    w.write(1, 4)  # fill style index bits
    w.write(0, 4)  # line style index bits
    # Style change: move to 0,0 and take fill style 1.
    w.write(0, 1)
    w.write(0b00101, 5)  # new styles 0, line style 0, fill style 1: yes, fill style 0: 0, move: yes
    w.write(1, 5)  # move bits
    w.write(0, 1)  # to x 0
    w.write(0, 1)  # to y 0
    w.write(1, 1)  # fill style 1
    # Four straight edges: right, down, left, up.
    for dx, dy in ((width_twips, 0), (0, height_twips), (-width_twips, 0), (0, -height_twips)):
        n = max(signed_bits_needed(dx), signed_bits_needed(dy), 2)
        w.write(1, 1)  # edge
        w.write(1, 1)  # straight
        w.write(n - 2, 4)
        if dx and dy:
            w.write(1, 1)
            w.write(dx & ((1 << n) - 1), n)
            w.write(dy & ((1 << n) - 1), n)
        else:
            w.write(0, 1)
            w.write(0 if dx else 1, 1)  # vertical line flag
            value = dx if dx else dy
            w.write(value & ((1 << n) - 1), n)
    w.write(0, 6)  # end of shape
    return tag(TAG_DEFINE_SHAPE, body + w.to_bytes())


def define_device_font(font_id, name="_sans"):
    """DefineFont2 without glyphs: the player's device font of that name."""
    encoded = name.encode("latin-1")
    return tag(TAG_DEFINE_FONT2, struct.pack("<HBBB", font_id, 0, 0, len(encoded)) + encoded +
               struct.pack("<HH", 0, 0))


def define_text_field(field_id, font_id, x, y, width, height, colour, text=None, variable="",
                      version=8):
    """DefineEditText: a read-only field in the device font, 20 px high; its bounds are
    x..x+width, y..y+height pixels on the stage (the field is placed at 0, 0)."""
    flags1 = 0x08 | 0x04 | 0x01  # read-only, text colour, font
    if text is not None:
        flags1 |= 0x80
    flags2 = 0x10  # not selectable
    body = struct.pack("<H", field_id) + rect_bytes(20 * x, 20 * (x + width), 20 * y, 20 * (y + height))
    body += bytes([flags1, flags2]) + struct.pack("<HH", font_id, 20 * 20) + _rgb(colour) + b"\xff"
    body += _c_string(variable, version)
    if text is not None:
        body += _c_string(text, version)
    return tag(TAG_DEFINE_EDIT_TEXT, body)


def place_object(depth, character=None, matrix=None):
    """PlaceObject2: a new character at `depth`, or a move of the one there."""
    flags = 0
    body = b""
    if character is not None:
        flags |= 0x02
        body += struct.pack("<H", character)
    else:
        flags |= 0x01
    if matrix is not None:
        flags |= 0x04
        body += matrix
    return tag(TAG_PLACE_OBJECT2, bytes([flags]) + struct.pack("<H", depth) + body)


def make_swf(xmin=0, xmax=11000, ymin=0, ymax=8000, nbits=None, fps=12.0, frames=1,
             background=0xFFFFFF, file_attributes=False, compress=False, level=9,
             version=8, fscommands=(), payload=0, seed=1, payload_bits=8, as3=False, boxes=(),
             texts=(), text_colour=0x000000, actions=()):
    """The bytes of a movie. background=None leaves out SetBackgroundColor.

    fscommands: (frame, command, args) triples, frame counted from 1.
    boxes: (colour, x, y, width, height, dx, dy) in pixels.
    texts: (x, y, width, height, text, variable): text None shows the variable's value.
    actions: (frame, DoAction body) pairs, run after the frame's fscommands; the
    *_action functions make the bodies.
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
        by_frame.setdefault(frame, []).append(fscommand_action(command, args, version))
    for frame, body in actions:
        if not 1 <= frame <= frames:
            raise ValueError("action frame %d is not one of the movie's %d frames" % (frame, frames))
        by_frame.setdefault(frame, []).append(body)
    if as3:
        file_attributes = True

    body = bytearray(rect_bytes(xmin, xmax, ymin, ymax, nbits))
    body += struct.pack("<HH", rate, frames)
    if file_attributes:
        body += tag(TAG_FILE_ATTRIBUTES, struct.pack("<I", FILE_ATTRIBUTES_AS3 if as3 else 0))
    if background is not None:
        if not 0 <= background <= 0xFFFFFF:
            raise ValueError("background must be 0xRRGGBB")
        body += tag(TAG_SET_BACKGROUND_COLOR, _rgb(background))
    if payload:
        if not 1 <= payload_bits <= 8:
            raise ValueError("payload bits must be 1..8")
        data = random.Random(seed).randbytes(payload)
        if payload_bits < 8:
            mask = (1 << payload_bits) - 1
            data = data.translate(bytes(i & mask for i in range(256)))
        body += tag(TAG_DEFINE_BINARY_DATA, struct.pack("<HI", 1, 0) + data)
    # Characters: boxes from id 1, then the font and the text fields. Boxes take the
    # depths from 1, text fields the depths above them.
    stage_w, stage_h = (xmax - xmin), (ymax - ymin)
    placements = {}  # frame -> PlaceObject2 tags
    next_id = 1
    for depth, (colour, x, y, w, h, dx, dy) in enumerate(boxes, start=1):
        body += define_box(next_id, colour, 20 * w, 20 * h)
        for frame in range(1, frames + 1):
            px = 20 * (x + dx * (frame - 1))
            py = 20 * (y + dy * (frame - 1))
            if stage_w > 0:
                px = xmin + (px - xmin) % stage_w
            if stage_h > 0:
                py = ymin + (py - ymin) % stage_h
            placements.setdefault(frame, []).append(
                place_object(depth, next_id if frame == 1 else None, _matrix(px, py)))
        next_id += 1
    if texts:
        font_id = next_id
        body += define_device_font(font_id)
        next_id += 1
        for depth, (x, y, w, h, text, variable) in enumerate(texts, start=len(boxes) + 1):
            body += define_text_field(next_id, font_id, x, y, w, h, text_colour, text, variable or "",
                                      version)
            placements.setdefault(1, []).append(place_object(depth, next_id, _matrix(0, 0)))
            next_id += 1
    for frame in range(1, frames + 1):
        for placed in placements.get(frame, []):
            body += placed
        for action_body in by_frame.get(frame, []):
            body += tag(TAG_DO_ACTION, action_body)
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
    p.add_argument("--as3", action="store_true")
    p.add_argument("--box", nargs=7, action="append", default=[],
                   metavar=("RRGGBB", "X", "Y", "W", "H", "DX", "DY"))
    p.add_argument("--text", nargs=5, action="append", default=[], metavar=("X", "Y", "W", "H", "TEXT"))
    p.add_argument("--variable-text", nargs=5, action="append", default=[],
                   metavar=("VAR", "X", "Y", "W", "H"))
    p.add_argument("--text-colour", default="000000")
    p.add_argument("--load-variables", nargs=2, action="append", default=[], metavar=("FRAME", "URL"))
    p.add_argument("--load-movie", nargs=3, action="append", default=[], metavar=("FRAME", "URL", "LEVEL"))
    p.add_argument("--report-variable", action="append", default=[], metavar="VAR")
    p.add_argument("--goto", nargs=2, action="append", default=[], metavar=("FRAME", "TARGET"))
    p.add_argument("--stop-at", type=int, action="append", default=[], metavar="FRAME")
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
    v = a.swf_version
    try:
        boxes = [(int(c, 16),) + tuple(int(n) for n in rest) for c, *rest in a.box]
        texts = [(int(x), int(y), int(w), int(h), text, None) for x, y, w, h, text in a.text]
        texts += [(int(x), int(y), int(w), int(h), None, var) for var, x, y, w, h in a.variable_text]
        text_colour = int(a.text_colour, 16)
        actions = [(int(f), load_variables_action(url, v)) for f, url in a.load_variables]
        actions += [(int(f), load_movie_action(url, int(level), v)) for f, url, level in a.load_movie]
        actions += [(f, report_variable_action(var, v)) for var in a.report_variable
                    for f in range(1, a.frames + 1)]
        actions += [(int(f), goto_and_play_action(int(target))) for f, target in a.goto]
        actions += [(f, stop_action()) for f in a.stop_at]
    except ValueError as e:
        p.error("a number or colour does not parse: %s" % e)
    try:
        write_swf(a.output, xmin=xmin, xmax=xmax, ymin=ymin, ymax=ymax, nbits=a.nbits, fps=a.fps,
                  frames=a.frames, background=background, file_attributes=a.file_attributes,
                  compress=a.compress, level=a.level, version=v, fscommands=commands,
                  payload=a.payload, seed=a.seed, payload_bits=a.payload_bits, as3=a.as3, boxes=boxes,
                  texts=texts, text_colour=text_colour, actions=actions)
    except (ValueError, OSError) as e:
        print("swfgen.py: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
