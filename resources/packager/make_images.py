#!/usr/bin/env python3
"""Draws the packager's button bitmaps and application icon.

    make_images.py OUTPUT_FOLDER

Writes add.bmp, remove.bmp, up.bmp, down.bmp (13 x 13 pixels, 24 bits per pixel,
orange-yellow glyphs on magenta, the colour the buttons treat as transparent) and
vellumix.ico (one 32 x 32 image, 32 bits per pixel with alpha). The images are drawn
from the pixel patterns below, so the output is the same on every machine.
"""
import os
import struct
import sys

MAGENTA = (0xFF, 0x00, 0xFF)
GLYPH = (0xFF, 0xB0, 0x1E)      # orange-yellow
EDGE = (0xD8, 0x78, 0x00)       # darker orange for the glyph's outline

# 13 x 13 patterns, top row first: '#' glyph, '+' outline, '.' transparent.
PLUS = [
    ".............",
    ".....+++.....",
    ".....+#+.....",
    ".....+#+.....",
    ".....+#+.....",
    ".++++###++++.",
    ".+#########+.",
    ".++++###++++.",
    ".....+#+.....",
    ".....+#+.....",
    ".....+#+.....",
    ".....+++.....",
    ".............",
]
MINUS = [
    ".............",
    ".............",
    ".............",
    ".............",
    ".............",
    ".+++++++++++.",
    ".+#########+.",
    ".+++++++++++.",
    ".............",
    ".............",
    ".............",
    ".............",
    ".............",
]
CHEVRON_UP = [
    ".............",
    ".............",
    ".............",
    "......+......",
    ".....+#+.....",
    "....+###+....",
    "...+##+##+...",
    "..+##+.+##+..",
    ".+##+...+##+.",
    ".+#+.....+#+.",
    ".+++.....+++.",
    ".............",
    ".............",
]
CHEVRON_DOWN = list(reversed(CHEVRON_UP))


def colour_of(ch):
    return {"#": GLYPH, "+": EDGE}.get(ch, MAGENTA)


def bmp_24(pattern):
    """A bottom-up 24-bit BMP file of the pattern."""
    height = len(pattern)
    width = len(pattern[0])
    stride = (width * 3 + 3) & ~3
    rows = []
    for line in reversed(pattern):
        row = bytearray()
        for ch in line:
            r, g, b = colour_of(ch)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_pixels():
    """32 x 32 RGBA, top row first: an orange rounded square holding a white 'V'."""
    size = 32
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            # rounded square from 1 to 30 with corner radius 6
            cx = min(max(x, 7), 24)
            cy = min(max(y, 7), 24)
            if (x - cx) ** 2 + (y - cy) ** 2 <= 36 and 1 <= x <= 30 and 1 <= y <= 30:
                shade = 0xF0 - (y * 3)
                px[y][x] = (0xFF, shade, 0x10, 0xFF)
    # the letter V: two strokes from the top corners to the bottom middle
    for y in range(7, 26):
        t = (y - 7) / 18.0
        left = 7 + t * 8.5
        right = 24 - t * 8.5
        for x in range(size):
            if abs(x + 0.5 - left - 0.5) <= 1.6 or abs(x + 0.5 - right - 0.5) <= 1.6:
                px[y][x] = (0xFF, 0xFF, 0xFF, 0xFF)
    return px


def ico_32(px):
    size = len(px)
    xor = bytearray()
    for row in reversed(px):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    and_stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(px):
        bits = bytearray(and_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(and_mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return header + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "down.bmp": bmp_24(CHEVRON_DOWN),
        "add.bmp": bmp_24(PLUS),
        "up.bmp": bmp_24(CHEVRON_UP),
        "remove.bmp": bmp_24(MINUS),
        "vellumix.ico": ico_32(icon_pixels()),
    }
    for name, data in files.items():
        path = os.path.join(out, name)
        # Leave unchanged files alone so the build does not relink for nothing.
        if os.path.exists(path):
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
