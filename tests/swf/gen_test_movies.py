#!/usr/bin/env python3
"""Writes the movies that swf_tests reads (built before the tests run, so that the
Windows build's tests under Wine read the same files). Each movie is made with
scripts/swfgen.py; the expected results live in the C++ tests.

usage: gen_test_movies.py SWFGEN_PY OUTPUT_FOLDER
"""
import importlib.util
import os
import sys


def load_swfgen(path):
    found = importlib.util.spec_from_file_location("swfgen", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def movies():
    m = {}
    # The classic stage: Nbits 15, 0..11000 by 0..8000 twips.
    stage = dict(xmin=0, xmax=11000, ymin=0, ymax=8000, nbits=15, background=0x336699)
    m["plain_550x400"] = dict(stage)
    m["cws_550x400"] = dict(stage, compress=True)
    m["offset_origin"] = dict(xmin=-200, xmax=10800, ymin=100, ymax=8100)
    m["truncating_spans"] = dict(xmin=0, xmax=8010, ymin=0, ymax=-30)
    m["nbits0"] = dict(xmin=0, xmax=0, ymin=0, ymax=0, nbits=0, background=0x336699)
    m["nbits20_xmin_all_ones"] = dict(xmin=-1, xmax=11000, ymin=0, ymax=8000, nbits=20)
    # Widest fields of each width: Xmin = -2^(n-1), Xmax = 2^(n-1) - 1, Ymin = -2^(n-2), Ymax = 0.
    for n in range(17, 32):
        m["wide_%d" % n] = dict(xmin=-(1 << (n - 1)), xmax=(1 << (n - 1)) - 1,
                                ymin=-(1 << (n - 2)), ymax=0, nbits=n, background=0x336699)
    # The colour must be found whatever the rectangle's width makes of the padding.
    for n in (0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 15, 16, 23, 24, 31):
        rect = dict(xmin=0, xmax=0, ymin=0, ymax=0) if n < 15 else dict(xmin=0, xmax=11000, ymin=0, ymax=8000)
        m["colour_nbits%d" % n] = dict(rect, nbits=n, background=0x336699)
        m["colour_nbits%d_cws" % n] = dict(rect, nbits=n, background=0x336699, compress=True)
    m["file_attributes_first"] = dict(stage, file_attributes=True, version=9)
    m["no_background"] = dict(stage, background=None, frames=3)
    m["black_background"] = dict(stage, background=0x000000)
    # A compressed movie with a long body: damage at its very end is still noticed.
    m["cws_long_body"] = dict(stage, compress=True, payload=300000, seed=7)
    m["fws_long_body"] = dict(stage, payload=300000, seed=7)
    # Movies that run the fscommand "quit".
    m["quit_at_3"] = dict(stage, frames=5, fscommands=[(3, "quit", "")])
    return m


def main():
    swfgen = load_swfgen(sys.argv[1])
    out = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name, kwargs in movies().items():
        swfgen.write_swf(os.path.join(out, name + ".swf"), **kwargs)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("\n".join(sorted(movies())) + "\n")


if __name__ == "__main__":
    main()
