#!/usr/bin/env python3
"""Checks scripts/swfgen.py with a movie parser of its own: the header, the rectangle,
frame rate and count, every tag's record header, and the frame in which each
fscommand (DoAction with ActionGetURL "FSCommand:...") runs.

usage: swfgen_check.py SWFGEN_PY
"""
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

SWFGEN = None


def load_swfgen():
    found = importlib.util.spec_from_file_location("swfgen_under_test", SWFGEN)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def parse_movie(data):
    """Decodes a movie completely; raises AssertionError on anything malformed."""
    sig = data[:3]
    assert sig in (b"FWS", b"CWS"), sig
    version = data[3]
    length = struct.unpack_from("<I", data, 4)[0]
    body = zlib.decompress(data[8:]) if sig == b"CWS" else data[8:]
    if sig == b"CWS":
        # Nothing may follow the zlib stream.
        d = zlib.decompressobj()
        d.decompress(data[8:])
        assert d.eof and d.unused_data == b"", "bytes after the zlib stream"
    assert length == 8 + len(body), (length, len(body))

    bits = "".join(format(b, "08b") for b in body[:32])
    nbits = int(bits[:5], 2)

    def field(i):
        if nbits == 0:
            return 0
        raw = bits[5 + i * nbits:5 + (i + 1) * nbits]
        v = int(raw, 2)
        return v - (1 << nbits) if raw[0] == "1" else v

    rect = tuple(field(i) for i in range(4))
    pos = (5 + 4 * nbits + 7) // 8
    assert bits[5 + 4 * nbits:pos * 8] == "0" * (pos * 8 - 5 - 4 * nbits), "padding must be zero"
    rate, count = struct.unpack_from("<HH", body, pos)
    pos += 4

    tags = []
    frame = 1
    fscommands = []
    while True:
        assert pos + 2 <= len(body), "tag header past the end"
        code_len = struct.unpack_from("<H", body, pos)[0]
        code, tlen = code_len >> 6, code_len & 0x3F
        pos += 2
        if tlen == 0x3F:
            tlen = struct.unpack_from("<I", body, pos)[0]
            pos += 4
            assert tlen >= 0x3F, "long form used for a short tag"
        tag_body = body[pos:pos + tlen]
        assert len(tag_body) == tlen, "tag runs past the end"
        pos += tlen
        tags.append((code, tag_body))
        if code == 0:
            assert tlen == 0
            break
        if code == 1:
            assert tlen == 0
            frame += 1
        if code == 12:
            fscommands += [(frame, c, a) for c, a in parse_actions(tag_body)]
    assert pos == len(body), "bytes after the End tag"
    shown = sum(1 for c, _ in tags if c == 1)
    assert shown == count, (shown, count)
    return dict(version=version, compressed=sig == b"CWS", nbits=nbits, rect=rect,
                fps=rate / 256.0, frames=count, tags=tags, fscommands=fscommands)


def action_records(data):
    """Every action of one DoAction tag as (code, payload); asserts the block is whole."""
    out = []
    pos = 0
    while True:
        op = data[pos]
        pos += 1
        if op == 0:
            assert pos == len(data), "bytes after ActionEndFlag"
            return out
        payload = b""
        if op >= 0x80:
            alen = struct.unpack_from("<H", data, pos)[0]
            payload = data[pos + 2:pos + 2 + alen]
            assert len(payload) == alen, "action runs past its tag"
            pos += 2 + alen
        out.append((op, payload))


def parse_actions(data):
    """The getURL calls to "FSCommand:..." of one DoAction tag, as (command, args)."""
    out = []
    for op, payload in action_records(data):
        if op == 0x83:
            url, target, rest = payload.split(b"\0", 2)
            assert rest == b""
            url = url.decode("latin-1")
            if url.startswith("FSCommand:"):
                out.append((url[len("FSCommand:"):], target.decode("latin-1")))
    return out


class SwfgenModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.g = load_swfgen()

    def test_classic_stage_plain_and_compressed(self):
        for compress in (False, True):
            m = parse_movie(self.g.make_swf(compress=compress, nbits=15, fps=12, frames=24, background=0x336699))
            self.assertEqual(m["compressed"], compress)
            self.assertEqual(m["nbits"], 15)
            self.assertEqual(m["rect"], (0, 11000, 0, 8000))
            self.assertEqual(m["fps"], 12.0)
            self.assertEqual(m["frames"], 24)
            self.assertEqual(m["tags"][0], (9, bytes([0x33, 0x66, 0x99])))

    def test_minimal_nbits_holds_every_field(self):
        for rect in [(0, 0, 0, 0), (0, 1, 0, 1), (-1, 0, 0, 0), (-200, 10800, 0, 8000),
                     (0, 11000, 0, 8000), (-(1 << 30), (1 << 30) - 1, 0, 0), (0, 16383, -16384, 0)]:
            m = parse_movie(self.g.make_swf(*rect))
            self.assertEqual(m["rect"], rect)
            # One bit fewer must not hold them all.
            if m["nbits"] > 0:
                with self.assertRaises(ValueError):
                    self.g.rect_bytes(*rect, nbits=m["nbits"] - 1)
        self.assertEqual(parse_movie(self.g.make_swf(0, 11000, 0, 8000))["nbits"], 15)
        self.assertEqual(parse_movie(self.g.make_swf(0, 0, 0, 0))["nbits"], 0)

    def test_forced_nbits_and_limits(self):
        m = parse_movie(self.g.make_swf(-1, 11000, 0, 8000, nbits=20))
        self.assertEqual((m["nbits"], m["rect"]), (20, (-1, 11000, 0, 8000)))
        self.assertEqual(self.g.make_swf(-1, 11000, 0, 8000, nbits=20)[8] >> 3, 20)
        with self.assertRaises(ValueError):
            self.g.make_swf(nbits=32)
        with self.assertRaises(ValueError):
            self.g.make_swf(0, 1 << 30, 0, 0)  # needs 32 bits

    def test_first_tags(self):
        m = parse_movie(self.g.make_swf(file_attributes=True, background=0x102030))
        self.assertEqual([c for c, _ in m["tags"][:2]], [69, 9])
        self.assertEqual(m["tags"][1][1], bytes([0x10, 0x20, 0x30]))
        m = parse_movie(self.g.make_swf(background=None, frames=2))
        self.assertEqual([c for c, _ in m["tags"]], [1, 1, 0])

    def test_fscommands_run_in_their_frames(self):
        m = parse_movie(self.g.make_swf(frames=30, fscommands=[(20, "quit", ""), (1, "fullscreen", "true"),
                                                              (20, "trace", "a b"), (30, "quit", "x")]))
        self.assertEqual(sorted(m["fscommands"]),
                         sorted([(20, "quit", ""), (1, "fullscreen", "true"), (20, "trace", "a b"), (30, "quit", "x")]))
        # Within a frame, in the order given.
        self.assertEqual([c for f, c, _ in m["fscommands"] if f == 20], ["quit", "trace"])
        with self.assertRaises(ValueError):
            self.g.make_swf(frames=3, fscommands=[(4, "quit", "")])
        with self.assertRaises(ValueError):
            self.g.make_swf(frames=3, fscommands=[(0, "quit", "")])

    def test_long_tags_and_payload(self):
        data = self.g.make_swf(compress=True, payload=100000, seed=3)
        m = parse_movie(data)
        binary = [b for c, b in m["tags"] if c == 87]
        self.assertEqual(len(binary), 1)
        self.assertEqual(len(binary[0]), 6 + 100000)
        self.assertEqual(data, self.g.make_swf(compress=True, payload=100000, seed=3))
        self.assertNotEqual(data, self.g.make_swf(compress=True, payload=100000, seed=4))
        # Fewer random bits per byte: a payload of small values that compresses.
        low = self.g.make_swf(compress=True, payload=100000, seed=3, payload_bits=4)
        low_payload = [b for c, b in parse_movie(low)["tags"] if c == 87][0][6:]
        self.assertEqual(len(low_payload), 100000)
        self.assertLess(max(low_payload), 16)
        self.assertEqual(len(set(low_payload)), 16)
        self.assertLess(len(low), 0.6 * len(data))
        # A tag of exactly 62 bytes keeps the short form, 63 needs the long one.
        self.assertEqual(self.g.tag(12, b"x" * 62)[:2], struct.pack("<H", (12 << 6) | 62))
        self.assertEqual(self.g.tag(12, b"x" * 63)[:6], struct.pack("<HI", (12 << 6) | 0x3F, 63))


    def test_boxes_text_and_loads(self):
        m = parse_movie(self.g.make_swf(
            frames=3, boxes=[(0xFFCC00, 10, 20, 30, 40, 5, 0)],
            texts=[(0, 0, 200, 30, "Hello", None), (0, 40, 200, 30, None, "msg")],
            actions=[(1, self.g.load_variables_action("数据.txt")), (2, self.g.load_movie_action("b.swf", 1)),
                     (3, self.g.goto_and_play_action(2))]))
        codes = [c for c, _ in m["tags"]]
        # One shape, one device font, two text fields; the box placed once and moved twice,
        # each field placed once.
        self.assertEqual([codes.count(c) for c in (2, 48, 37, 26)], [1, 1, 2, 5])
        moves = [b for c, b in m["tags"] if c == 26 and b[0] & 0x01]
        self.assertEqual(len(moves), 2)
        self.assertNotEqual(moves[0], moves[1])
        actions = [action_records(b) for c, b in m["tags"] if c == 12]
        # loadVariablesNum: URL (UTF-8 in a version 8 movie) and "_level0" pushed, then
        # ActionGetURL2 with the load-variables flag.
        self.assertEqual(actions[0][:2], [(0x96, b"\0" + "数据.txt".encode() + b"\0"), (0x96, b"\0_level0\0")])
        self.assertEqual(actions[0][2], (0x9A, b"\x80"))
        self.assertEqual(actions[1], [(0x83, b"b.swf\0_level1\0")])
        self.assertEqual(actions[2], [(0x81, struct.pack("<H", 1)), (0x06, b"")])
        fields = [b for c, b in m["tags"] if c == 37]
        self.assertIn(b"msg\0", fields[1])
        self.assertTrue(fields[0].endswith(b"\0Hello\0"))


class SwfgenCommandLine(unittest.TestCase):
    def run_gen(self, *args):
        return subprocess.run([sys.executable, SWFGEN] + list(args), capture_output=True, text=True)

    def test_writes_what_the_flags_say(self):
        with tempfile.TemporaryDirectory(prefix="vx scratch dir.ü swfgen_") as d:
            out = os.path.join(d, "m.swf")
            r = self.run_gen("-o", out, "--width", "640", "--height", "480", "--fps", "24.5", "--frames", "24",
                             "--bg", "336699", "--compress", "--quit-at", "20", "--swf-version", "6",
                             "--fscommand", "2", "fullscreen", "false")
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(out, "rb") as f:
                m = parse_movie(f.read())
            self.assertTrue(m["compressed"])
            self.assertEqual(m["version"], 6)
            self.assertEqual(m["rect"], (0, 12800, 0, 9600))
            self.assertEqual(m["fps"], 24.5)
            self.assertEqual(m["frames"], 24)
            self.assertEqual(m["tags"][0], (9, bytes([0x33, 0x66, 0x99])))
            self.assertEqual(sorted(m["fscommands"]), [(2, "fullscreen", "false"), (20, "quit", "")])

            r = self.run_gen("-o", out, "--rect", "-200", "10800", "0", "-30", "--nbits", "20",
                             "--no-bg", "--file-attributes")
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(out, "rb") as f:
                m = parse_movie(f.read())
            self.assertEqual((m["nbits"], m["rect"]), (20, (-200, 10800, 0, -30)))
            self.assertEqual([c for c, _ in m["tags"]], [69, 1, 0])

    def test_bad_arguments_fail_cleanly(self):
        with tempfile.TemporaryDirectory(prefix="vx scratch dir.ü swfgen_") as d:
            out = os.path.join(d, "m.swf")
            for args in (["--nbits", "3"], ["--quit-at", "5", "--frames", "2"], ["--bg", "xyz"],
                         ["--rect", "0", "1", "0", "1", "--width", "3"]):
                r = self.run_gen("-o", out, *args)
                self.assertNotEqual(r.returncode, 0, args)
                self.assertFalse(os.path.exists(out), args)
            self.assertNotEqual(self.run_gen("--width", "3").returncode, 0)  # no output named


if __name__ == "__main__":
    SWFGEN = sys.argv.pop(1)
    unittest.main(verbosity=1)
