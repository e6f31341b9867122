#!/usr/bin/env python3
"""Checks the built player stub Orrinet.exe: its layout (stripped, .rsrc the last
section, as the resource updaters need) and every resource it must carry, read back
with wrestool (icoutils) and Python's zipfile.

    stub_resources_test.py [--machine i386|amd64] Orrinet.exe

The shipped stub is i386; a 64-bit test build checks its own with --machine amd64.
"""

import io
import re
import struct
import subprocess
import sys
import zipfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    machine, count, _, symtab, nsyms, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    table = pe + 24 + opt_size
    result = []
    for i in range(count):
        name = data[table + 40 * i: table + 40 * i + 8].rstrip(b"\0").decode()
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        result.append((name, va, raw_ptr, raw_size))
    return machine, symtab, nsyms, result


def resources(exe):
    listing = subprocess.run(["wrestool", "-l", exe], capture_output=True, text=True, check=True).stdout
    found = []
    for line in listing.splitlines():
        m = re.search(r"--type=(\S+) --name=(\S+) (?:--language=(\d+) )?", line)
        if m:
            found.append((m.group(1).strip("'"), m.group(2).strip("'"), m.group(3)))
    return found


def raw(exe, rtype, name):
    return subprocess.run(["wrestool", "-x", "--raw", "--type=" + rtype, "--name=" + name, exe],
                          capture_output=True, check=True).stdout


def check_dialog(data):
    ver, sig, help_id, ex_style, style, items, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    check(ver == 1 and sig == 0xFFFF, "dialog 102 is an extended template")
    check(style == 0x90000A40, "dialog style is 0x%08X, not 0x90000A40" % style)
    check(ex_style == 0x00040000, "dialog extended style is 0x%08X, not 0x00040000" % ex_style)
    check((x, y, cx, cy) == (0, 0, 114, 108), "dialog rectangle is %r" % ((x, y, cx, cy),))
    check(items == 0, "dialog has %d controls" % items)
    pos = 26
    # menu, class and caption: each an empty string (one zero word)
    for what in ("menu", "class", "caption"):
        word = struct.unpack_from("<H", data, pos)[0]
        check(word == 0, "dialog has a %s" % what)
        pos += 2
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, pos)
    pos += 6
    end = data.index(b"\0\0", pos)
    while (end - pos) % 2:
        end = data.index(b"\0\0", end + 1)
    face = data[pos:end].decode("utf-16-le")
    check(point == 8 and face == "Tahoma", "dialog font is %d %r" % (point, face))


def check_strings(data):
    expected = [""] * 16
    expected[1] = "Vellumix"
    got = []
    pos = 0
    while pos + 2 <= len(data) and len(got) < 16:
        n = struct.unpack_from("<H", data, pos)[0]
        got.append(data[pos + 2: pos + 2 + 2 * n].decode("utf-16-le"))
        pos += 2 + 2 * n
    check(got == expected, "string block 1 is %r" % got)
    check(pos == len(data), "string block 1 has %d bytes after string 15" % (len(data) - pos))


def check_icon(exe):
    group = raw(exe, "14", "128")
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    check(kind == 1 and count == 1, "icon group 128 holds %d images" % count)
    if count >= 1:
        w, h, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
        check((w, h, bits) == (32, 32, 32), "icon image is %dx%d, %d bpp" % (w, h, bits))
        image = raw(exe, "3", str(ident))
        header = struct.unpack_from("<IiiHH", image, 0)
        check(header[1] == 32 and header[2] == 64 and header[4] == 32, "icon image header %r" % (header,))
        check(len(image) == size, "icon image size %d, group says %d" % (len(image), size))


def check_package(data):
    z = zipfile.ZipFile(io.BytesIO(data))
    infos = z.infolist()
    check([i.filename for i in infos] == ["package.ini", "logo.swf"],
          "default package entries %r" % [i.filename for i in infos])
    for i in infos:
        check(i.compress_type == zipfile.ZIP_STORED, "%s is not stored" % i.filename)
        check(not (i.flag_bits & 1), "%s is encrypted" % i.filename)
    check(z.testzip() is None, "default package fails its CRC check")
    ini = z.read("package.ini")
    check(ini == b"[SETTINGS]\r\nfullscreen=false\r\nmainmovie=logo.swf\r\n" and len(ini) == 50,
          "package.ini is %r" % ini)
    logo = z.read("logo.swf")
    check(logo[:3] == b"CWS" and logo[3] == 7, "logo.swf starts %r" % logo[:4])


MACHINES = {"i386": 0x14C, "amd64": 0x8664}


def main():
    args = sys.argv[1:]
    machine_name = "i386"
    if args[:1] == ["--machine"]:
        machine_name, args = args[1], args[2:]
    exe = args[0]
    with open(exe, "rb") as f:
        data = f.read()
    machine, symtab, nsyms, secs = sections(data)
    check(machine == MACHINES[machine_name], "machine 0x%X: not an %s image" % (machine, machine_name))
    check(symtab == 0 and nsyms == 0, "the image is not stripped (symbol table present)")
    names = [s[0] for s in secs]
    check(names and names[-1] == ".rsrc", "sections %r: .rsrc is not the last" % names)
    check(max(s[2] + s[3] for s in secs) <= len(data), "a section runs past the file")
    check(".reloc" not in names, "the image has a relocation section")

    found = resources(exe)
    check(all(lang == "1033" for _, _, lang in found), "resources outside language 1033: %r" % found)
    kinds = {(t, n) for t, n, _ in found}
    check(not any(t == "24" for t, _, _ in found), "the stub carries a manifest")
    check(not any(t == "OCX" for t, _, _ in found), "the stub carries a control file")
    for need in [("5", "102"), ("6", "1"), ("14", "128"), ("3", "1"), ("ZIP", "129")]:
        check(need in kinds, "resource type %s id %s is missing (have %r)" % (need[0], need[1], sorted(kinds)))
    if ("5", "102") in kinds:
        check_dialog(raw(exe, "5", "102"))
    if ("6", "1") in kinds:
        check_strings(raw(exe, "6", "1"))
    if ("14", "128") in kinds:
        check_icon(exe)
    if ("ZIP", "129") in kinds:
        check_package(raw(exe, "ZIP", "129"))

    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("Orrinet.exe: layout and %d resources as expected" % len(found))


if __name__ == "__main__":
    main()
