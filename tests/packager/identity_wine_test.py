#!/usr/bin/python3
"""Windows reads a package's own version information and icon (under Wine): packages
made from this build's Orrinet.exe by the host's vellumix-cli (our PE rewriter) and by
this build's vellumix-cli.exe (the Windows update functions) are probed by
package_probe.exe (GetFileVersionInfo, VerQueryValue, LoadImage), and a signed stub
gives, on the Windows side too, an unsigned package that signs and verifies
(osslsigncode). Run with Debian's /usr/bin/python3 (pefile).

    identity_wine_test.py --build BUILD_DIR --host-cli PATH/vellumix-cli [unittest options]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from identity_files import Signer, dib, ico, pe_facts, png  # noqa: E402

BUILD = None
HOST_CLI = None

# One image of each size the probe asks for: bitmaps and PNGs.
IMAGES = {16: dib(16, 16, 32, seed=1), 32: dib(32, 32, 8, seed=2), 48: png(48, 48, seed=3), 256: png(256, 256, seed=4)}
SETTINGS = [("FileVersion", "4.3.2.1"), ("ProductVersion", "4.3"), ("CompanyName", "Acme Ltd."),
            ("FileDescription", "Road show"), ("LegalCopyright", "(c) 2024 Acme"), ("ProductName", "Road Show"),
            ("InternalName", "roadshow"), ("Comments", "made under Wine")]


def fnv1a(data):
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return "%08x" % h


class WindowsReadsThePackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="vx scratch dir.ü identity_wine_")
        cls.signer = Signer(cls.dir)
        cls.wine_run = os.path.join(BUILD, "wine-run")
        cls.stub = os.path.join(BUILD, "bin", "Orrinet.exe")
        cls.icon = os.path.join(cls.dir, "show.ico")
        with open(cls.icon, "wb") as f:
            f.write(ico(list(IMAGES.values())))
        cls.movie = os.path.join(cls.dir, "intro.swf")
        with open(cls.movie, "wb") as f:
            f.write(b"FWS\x08" + bytes(100))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def build(self, windows, out, stub=None, settings=SETTINGS):
        args = ["build", "--stub", stub or self.stub, "--main", self.movie, "--icon", self.icon, "-o", out]
        for key, value in settings:
            args += ["--version-info", "%s=%s" % (key, value)]
        cmd = [self.wine_run, os.path.join(BUILD, "bin", "vellumix-cli.exe")] if windows else [HOST_CLI]
        r = subprocess.run(cmd + args, capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r

    def probe(self, package):
        r = subprocess.run([self.wine_run, os.path.join(BUILD, "bin", "package_probe.exe"), "Z:" + package] +
                           [str(s) for s in IMAGES], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        facts = {"string": {}, "icon": {}}
        for line in r.stdout.decode("utf-8").splitlines():
            fields = line.rstrip("\r").split("\t")
            if fields[0] == "string":
                facts["string"][fields[1]] = fields[2]
            elif fields[0] == "icon":
                facts["icon"][int(fields[1])] = tuple(fields[2:])
            else:
                facts[fields[0]] = tuple(fields[1:])
        return facts

    def expect_as_given(self, package, settings):
        facts = self.probe(package)
        self.assertEqual(facts["fixed"], ("4.3.2.1", "4.3.0.0"))
        self.assertEqual(facts["translation"], ("040904b0",))
        self.assertEqual(facts["string"], dict(settings, OriginalFilename=os.path.basename(package)))
        for size, image in IMAGES.items():
            dims, _, length, digest = facts["icon"][size]
            self.assertEqual(dims, "%dx%d" % (size, size))
            self.assertEqual((int(length), digest), (len(image), fnv1a(image)), size)

    def test_both_builders_give_what_was_set(self):
        host_out, windows_out = os.path.join(self.dir, "host.exe"), os.path.join(self.dir, "windows.exe")
        # The host build takes UTF-8 values; the Windows one takes the ANSI code page, so ASCII here.
        host_settings = SETTINGS + [("CompanyName", "Acme Grüße \u4e2d")]
        self.build(False, host_out, settings=host_settings)
        self.build(True, windows_out)
        self.expect_as_given(host_out, dict(host_settings))
        self.expect_as_given(windows_out, dict(SETTINGS))

        # From the same settings both sides make the same resources (but for the archive,
        # encrypted with random headers), with a right checksum and no certificate table.
        self.build(False, host_out, settings=[("OriginalFilename", "same.exe")] + SETTINGS)
        self.build(True, windows_out, settings=[("OriginalFilename", "same.exe")] + SETTINGS)
        facts = [pe_facts(p) for p in (host_out, windows_out)]
        for f in facts:
            self.assertEqual(f["checksum"], f["computed_checksum"])
            self.assertEqual(f["certificates"], (0, 0))
        trees = [{k: v for k, v in f["resources"].items() if k[0] != "ZIP"} for f in facts]
        self.assertEqual(trees[0], trees[1])

    def test_a_signed_stub_gives_an_unsigned_package_on_windows_too(self):
        signed_stub = os.path.join(self.dir, "signed-stub.exe")
        r = self.signer.sign(self.stub, signed_stub)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        out = os.path.join(self.dir, "from-signed.exe")
        r = self.build(True, out, stub=signed_stub)
        lines = r.stderr.decode(errors="replace").splitlines()
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertIn("is signed", lines[0])
        facts = pe_facts(out)
        self.assertEqual(facts["certificates"], (0, 0))
        self.assertEqual(facts["checksum"], facts["computed_checksum"])
        self.expect_as_given(out, dict(SETTINGS))
        self.signer.assert_signs_and_verifies(self, out)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--host-cli", required=True)
    opts, rest = parser.parse_known_args()
    BUILD, HOST_CLI = os.path.abspath(opts.build), os.path.abspath(opts.host_cli)
    unittest.main(argv=[sys.argv[0]] + rest)
