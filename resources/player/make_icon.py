#!/usr/bin/env python3
"""Draws Orrinet's icon: one 32 x 32 image, 32 bits per pixel, written as an .ico file.

The picture is a dark-blue rounded tile with a white play triangle and an orange ring,
drawn with anti-aliased edges by supersampling. Only the standard library is used.

    make_icon.py OUT.ico
"""

import math
import struct
import sys

SIZE = 32
SAMPLES = 4  # supersampling per axis


def coverage(px, py, inside):
    hit = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            if inside(x, y):
                hit += 1
    return hit / (SAMPLES * SAMPLES)


def in_tile(x, y):
    r = 6.0
    cx = min(max(x, 1 + r), SIZE - 1 - r)
    cy = min(max(y, 1 + r), SIZE - 1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 1 <= x <= SIZE - 1 and 1 <= y <= SIZE - 1


def in_ring(x, y):
    d = math.hypot(x - 16, y - 16)
    return 10.0 <= d <= 12.5


def in_triangle(x, y):
    # Points (12, 10), (12, 22), (22, 16).
    def side(ax, ay, bx, by):
        return (bx - ax) * (y - ay) - (by - ay) * (x - ax)
    a = side(12, 10, 22, 16)
    b = side(22, 16, 12, 22)
    c = side(12, 22, 12, 10)
    return (a >= 0 and b >= 0 and c >= 0) or (a <= 0 and b <= 0 and c <= 0)


def blend(under, over, alpha):
    return tuple(u * (1 - alpha) + o * alpha for u, o in zip(under, over))


def pixels():
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            tile = coverage(x, y, in_tile)
            colour = (28, 52, 104)
            colour = blend(colour, (240, 140, 40), coverage(x, y, in_ring))
            colour = blend(colour, (255, 255, 255), coverage(x, y, in_triangle))
            r, g, b = (int(round(c)) for c in colour)
            row.append((b, g, r, int(round(tile * 255))))
        rows.append(row)
    return rows


def ico_bytes():
    rows = pixels()
    # BITMAPINFOHEADER with the doubled height of an icon image (colour + mask).
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(p) for row in reversed(rows) for p in row)  # bottom-up
    mask_row = ((SIZE + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, p in enumerate(row):
            if p[3] == 0:
                bits |= 1 << (SIZE - 1 - x)
        mask += bits.to_bytes(SIZE // 8, "big") + b"\0" * (mask_row - SIZE // 8)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(ico_bytes())


if __name__ == "__main__":
    main()
