#!/usr/bin/env python3
"""What the tests and the benchmark of a package's own icon, version information and
signature need, made with the standard library and run as black boxes:

    png(width, height, seed=0, color_type=6)   a PNG image (RGBA by default) of a pattern
    dib(width, height, bits=32, seed=0)        a bitmap as an icon stores it (pixels + mask)
    ico([image, ...])                          a Windows icon file of those images
    ico_images(data)                           the images of an icon file, in order
    Signer(folder)                             a throw-away self-signed code-signing
                                               certificate (openssl) and osslsigncode
    pe_facts(path)                             what pefile reads of an executable

    identity_files.py OUT.ico SIZE[:png|:bmp[:BITS]]...    writes an icon file
"""
import os
import struct
import subprocess
import sys
import zlib


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png(width, height, seed=0, color_type=6, depth=8):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        for x in range(width):
            v = (x * 7 + y * 13 + seed * 31) & 0xFF
            rows += bytes(((v + 40 * c) & 0xFF) if c < 3 else 255 for c in range(channels))
    header = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 0)
    out = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
    if color_type == 3:
        out += _chunk(b"PLTE", bytes(range(256)) * 3)
    return out + _chunk(b"IDAT", zlib.compress(bytes(rows))) + _chunk(b"IEND", b"")


def dib(width, height, bits=32, seed=0):
    colors = 1 << bits if bits <= 8 else 0
    palette = b"".join(struct.pack("<BBBB", (i * 37 + seed) & 0xFF, (i * 11) & 0xFF, i & 0xFF, 0) for i in range(colors))
    row = (width * bits + 31) // 32 * 4
    mask_row = (width + 31) // 32 * 4
    pixels = bytearray()
    for y in range(height):
        line = bytearray(row)
        for i in range(row):
            line[i] = (i * 5 + y * 3 + seed) & 0xFF
        pixels += line
    mask = bytes(mask_row * height)
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bits, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + palette + bytes(pixels) + mask


def describe(image):
    """(width, height, bits, colors) as the directory entry states them."""
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        width, height, depth, color_type = struct.unpack(">IIBB", image[16:26])
        bits = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type] * depth
        return width, height, min(bits, 32), 0
    width, height2, _, bits = struct.unpack("<iiHH", image[4:16])
    return width, height2 // 2, bits, (1 << bits) if bits < 8 else 0


def ico(images, entries=None):
    """An icon file; `entries` may override the directory entries' (width, height, bits, colors)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for i, image in enumerate(images):
        width, height, bits, colors = entries[i] if entries else describe(image)
        out += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF, colors & 0xFF, 0, 1, bits, len(image), offset)
        offset += len(image)
        data += image
    return out + data


def ico_images(data):
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        images.append(data[offset:offset + size])
    return images


class Signer:
    """A self-signed certificate for code signing, made in `folder` for one test run;
    its private key never leaves that folder."""

    def __init__(self, folder):
        self.cert = os.path.join(folder, "signer.pem")
        self.key = os.path.join(folder, "signer.key")
        r = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                            "-subj", "/CN=Vellumix test signer", "-addext", "extendedKeyUsage=codeSigning",
                            "-keyout", self.key, "-out", self.cert], capture_output=True)
        if r.returncode != 0:
            raise RuntimeError(r.stderr.decode())

    def sign(self, path, out):
        return subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-n", "Test package",
                               "-in", path, "-out", out], capture_output=True)

    def verify(self, path):
        """(exit status, output) of osslsigncode verify against this certificate."""
        r = subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", path], capture_output=True)
        return r.returncode, (r.stdout + r.stderr).decode(errors="replace")

    def assert_signs_and_verifies(self, test, path):
        """Signs a copy of `path` and has `test` check that the signature verifies and
        that osslsigncode finds the PE checksum valid."""
        signed = path + ".signed.exe"
        r = self.sign(path, signed)
        test.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        status, text = self.verify(signed)
        test.assertEqual(status, 0, text)
        test.assertIn("Signature verification: ok", text)
        test.assertNotIn("invalid PE checksum", text)


def pe_facts(path):
    """What pefile (Debian's python3-pefile; run with /usr/bin/python3) reads of an
    executable: checksum as stored and as computed, certificate directory, resources
    as {(type, name, language): bytes} (names as text), version strings per table,
    translations and the fixed file information's versions."""
    import pefile
    pe = pefile.PE(path)
    facts = {"checksum": pe.OPTIONAL_HEADER.CheckSum, "computed_checksum": pe.generate_checksum()}
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    facts["certificates"] = (security.VirtualAddress, security.Size)
    resources = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        tname = str(t.name) if t.name is not None else str(t.id)
        for n in t.directory.entries:
            nname = str(n.name) if n.name is not None else str(n.id)
            for lang in n.directory.entries:
                d = lang.data.struct
                resources[(tname, nname, lang.id)] = pe.get_data(d.OffsetToData, d.Size)
    facts["resources"] = resources
    facts["tables"], facts["translations"], facts["fixed"] = {}, [], None
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                facts["tables"][table.LangID.decode()] = {k.decode(): v.decode("utf-8") for k, v in table.entries.items()}
            for var in getattr(entry, "Var", []):
                facts["translations"].extend(var.entry.values())
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        f = pe.VS_FIXEDFILEINFO[0]
        part = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        facts["fixed"] = (part(f.FileVersionMS, f.FileVersionLS), part(f.ProductVersionMS, f.ProductVersionLS))
    return facts


def main():
    images = []
    for request in sys.argv[2:]:
        parts = request.split(":")
        size = int(parts[0])
        kind = parts[1] if len(parts) > 1 else "png"
        if kind == "png":
            images.append(png(size, size, seed=len(images)))
        else:
            images.append(dib(size, size, int(parts[2]) if len(parts) > 2 else 32, seed=len(images)))
    with open(sys.argv[1], "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
