#!/usr/bin/env python3
"""Writes the inputs of the test stub's resource script into a folder:

  stub.ico     one 32 x 32 image of 32 bits per pixel (a blue square with a white frame)
  default.zip  the default package: package.ini and logo.bin, both stored, not encrypted
"""
import struct
import sys
import zipfile


def icon():
    size = 32
    pixels = bytearray()
    for y in range(size):  # bottom-up rows of BGRA
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            pixels += bytes((255, 255, 255, 255)) if edge else bytes((200, 80, 20, 255))
    mask = bytes(size * 4)  # 1 bit per pixel, rows padded to 32 bits: all opaque
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    folder = sys.argv[1]
    with open(folder + "/stub.ico", "wb") as f:
        f.write(icon())
    with zipfile.ZipFile(folder + "/default.zip", "w", zipfile.ZIP_STORED) as z:
        z.writestr("package.ini", "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=logo.swf\r\n")
        z.writestr("logo.swf", b"CWS\x07" + bytes(12))


if __name__ == "__main__":
    main()
