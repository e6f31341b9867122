#!/usr/bin/env python3
"""`vellumix-cli swf-info` on movies from scripts/swfgen.py: the line format, the colour
column, messages on stderr and the exit status.

usage: swf_info_check.py SWFGEN_PY [EMULATOR...] VELLUMIX_CLI

The Windows build runs it with its Wine wrapper in front of vellumix-cli.exe.
"""
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

CLI = []
SWFGEN = None


def load_swfgen():
    found = importlib.util.spec_from_file_location("swfgen_for_info", SWFGEN)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


class SwfInfo(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.g = load_swfgen()
        cls.tmp = tempfile.TemporaryDirectory(prefix="vx scratch dir.ü swf_info_")
        # The tool runs in the scratch folder and is given names relative to it: it
        # prints them as given, in its own code page (the ANSI one under Wine), which the
        # ASCII names keep out of the comparison.
        cls.stage, cls.odd, cls.nobg = "stage.swf", "odd name.swf", "nobg.swf"
        cls.empty, cls.missing = "empty.swf", "missing.swf"
        d = cls.tmp.name
        cls.g.write_swf(os.path.join(d, cls.stage), background=0x336699, compress=True)
        cls.g.write_swf(os.path.join(d, cls.odd), xmin=-200, xmax=8010, ymin=0, ymax=-30, background=0x0000FF)
        cls.g.write_swf(os.path.join(d, cls.nobg), file_attributes=True, background=0xFF0000)
        with open(os.path.join(d, cls.empty), "wb") as f:
            f.write(b"FWS\x08\x04\x00\x00\x00")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def run_cli(self, *args):
        return subprocess.run(CLI + ["swf-info"] + list(args), capture_output=True, text=True, cwd=self.tmp.name)

    def test_one_tab_separated_line_per_movie_in_order(self):
        r = self.run_cli(self.stage, self.odd, self.nobg, self.empty)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(), [
            self.stage + "\t550 * 400\t0x336699",
            self.odd + "\t410 * -1\t0x0000FF",
            self.nobg + "\t550 * 400\t-",
            self.empty + "\t0 * 0\t-",
        ])
        # The empty movie's "Failed to locate" is the only message, on stderr.
        self.assertEqual(r.stderr.splitlines(), [self.empty + ": Failed to locate"])

    def test_unopenable_file_is_reported_and_the_rest_still_printed(self):
        r = self.run_cli(self.missing, self.stage)
        self.assertNotEqual(r.returncode, 0)
        self.assertNotEqual(r.returncode, 1)  # not a usage error
        self.assertEqual(r.stdout.splitlines(), [self.stage + "\t550 * 400\t0x336699"])
        self.assertIn(self.missing, r.stderr)
        self.assertEqual(len(r.stderr.splitlines()), 1)

    def test_usage(self):
        r = self.run_cli("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("swf-info FILE...", r.stdout)
        for args in ([], ["--bogus", self.stage]):
            r = self.run_cli(*args)
            self.assertEqual(r.returncode, 1, args)
            self.assertEqual(r.stdout, "", args)
            self.assertIn("usage", r.stderr, args)
        # After "--" a name that starts with a dash is a file.
        r = self.run_cli("--", "-nofile.swf")
        self.assertEqual(r.returncode, 2)
        self.assertIn("-nofile.swf", r.stderr)


if __name__ == "__main__":
    SWFGEN = sys.argv[1]
    CLI = sys.argv[2:]
    del sys.argv[1:]
    unittest.main(verbosity=1)
