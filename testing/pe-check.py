#!/usr/bin/python3
"""Checks Windows programs without running them: the machine and format of the image,
the subsystem, and that they import nothing but DLLs every Windows has (the programs
are linked statically, so a MinGW runtime DLL among the imports would stop them on a
bare Windows). Reads the images with pefile (Debian's python3-pefile).

    pe-check.py --machine i386|amd64 FILE=gui|console[+version] ...

"+version" also asks for a version resource with fixed file information.
Prints one line per file; exit 1 when any check fails.
"""

import argparse
import os
import sys

import pefile

MACHINES = {"i386": (0x14C, 0x10B, "PE32"), "amd64": (0x8664, 0x20B, "PE32+")}
SUBSYSTEMS = {"gui": 2, "console": 3}
# DLLs that come with every Windows (and that Wine provides).
SYSTEM_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll",
    "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "version.dll", "wininet.dll", "ws2_32.dll",
}


def check(path, kind, machine):
    subsystem, _, extra = kind.partition("+")
    want_machine, want_magic, format_name = MACHINES[machine]
    problems = []
    try:
        pe = pefile.PE(path, fast_load=True)
    except (OSError, pefile.PEFormatError) as e:
        return ["not a readable PE image: %s" % e]
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if pe.FILE_HEADER.Machine != want_machine:
        problems.append("machine 0x%X, not 0x%X (%s)" % (pe.FILE_HEADER.Machine, want_machine, machine))
    if pe.OPTIONAL_HEADER.Magic != want_magic:
        problems.append("optional header magic 0x%X, not %s" % (pe.OPTIONAL_HEADER.Magic, format_name))
    if pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEMS[subsystem]:
        problems.append("subsystem %d, not %s (%d)" % (pe.OPTIONAL_HEADER.Subsystem, subsystem,
                                                      SUBSYSTEMS[subsystem]))
    imports = sorted(e.dll.decode("ascii", "replace").lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    foreign = [d for d in imports if d not in SYSTEM_DLLS]
    if foreign:
        problems.append("imports DLLs that are not part of Windows: %s" % ", ".join(foreign))
    if not imports:
        problems.append("imports nothing (not a linked program?)")
    if extra == "version":
        has_version = any(entry.id == pefile.RESOURCE_TYPE["RT_VERSION"]
                          for entry in getattr(getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None), "entries", []))
        if not has_version:
            problems.append("no version resource")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--machine", required=True, choices=sorted(MACHINES))
    parser.add_argument("files", nargs="+", metavar="FILE=KIND")
    opts = parser.parse_args()
    failed = False
    for item in opts.files:
        path, _, kind = item.rpartition("=")
        if not path or kind.partition("+")[0] not in SUBSYSTEMS:
            parser.error("%s: expected FILE=gui or FILE=console (optionally +version)" % item)
        problems = check(path, kind, opts.machine)
        name = os.path.basename(path)
        if problems:
            failed = True
            for p in problems:
                print("FAIL: %s: %s" % (name, p))
        else:
            print("ok: %s: %s %s, %s subsystem, system DLLs only" % (
                name, MACHINES[opts.machine][2], opts.machine, kind.partition("+")[0]))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
