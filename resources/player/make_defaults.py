#!/usr/bin/env python3
"""Builds the two generated inputs of Orrinet.rc:

  string_block1.bin  string-table block 1 with all sixteen entries: string 1 is
                     "Vellumix", strings 0 and 2 to 15 are empty (a length word of 0).
                     Resource compilers drop empty strings, so the block is carried
                     as raw data.
  default_package.zip  the stub's own package: "package.ini" (the exact 50 bytes
                     below) and logo.swf, both stored and unencrypted.

    make_defaults.py OUT_DIR LOGO.swf
"""

import os
import struct
import sys
import zipfile

TITLE = "Vellumix"
DESCRIPTION = b"[SETTINGS]\r\nfullscreen=false\r\nmainmovie=logo.swf\r\n"
assert len(DESCRIPTION) == 50


def string_block(strings):
    out = b""
    for s in strings:
        units = s.encode("utf-16-le")
        out += struct.pack("<H", len(units) // 2) + units
    return out


def write_zip(path, logo):
    # A fixed date keeps the archive the same from build to build.
    when = (2026, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_STORED) as z:
        for name, data in (("package.ini", DESCRIPTION), ("logo.swf", logo)):
            info = zipfile.ZipInfo(name, date_time=when)
            info.compress_type = zipfile.ZIP_STORED
            info.create_system = 0
            info.external_attr = 0x20  # archive bit
            z.writestr(info, data)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_defaults.py OUT_DIR LOGO.swf")
    out_dir, logo_path = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    with open(logo_path, "rb") as f:
        logo = f.read()
    if logo[:3] != b"CWS" or logo[3] != 7:
        sys.exit("make_defaults.py: the logo must be a compressed movie of version 7")
    strings = [""] * 16
    strings[1] = TITLE
    with open(os.path.join(out_dir, "string_block1.bin"), "wb") as f:
        f.write(string_block(strings))
    write_zip(os.path.join(out_dir, "default_package.zip"), logo)


if __name__ == "__main__":
    main()
