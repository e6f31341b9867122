#!/usr/bin/python3
"""A package's own icon and version information (vellumix-cli build --icon,
--version-info) and its code signing, judged by peers nobody here wrote: pefile for the
resources, version strings and fixed file information, wrestool and icotool for the icon
group and its images, openssl and osslsigncode for signing and verifying. Run with
Debian's /usr/bin/python3 (pefile).

    identity_cli_test.py --cli PATH/vellumix-cli --stub PATH/stub.exe [unittest options]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cli_test  # noqa: E402  (the shared CLI test case and peer helpers)
from cli_test import CliCase, run  # noqa: E402
from identity_files import Signer, dib, ico, ico_images, pe_facts, png  # noqa: E402

ICON_IMAGES = [dib(16, 16, 4, seed=1), dib(32, 32, 8, seed=2), dib(32, 32, 32, seed=3), png(48, 48, seed=4),
               png(256, 256, seed=5)]
# (width, height, bits, png|bmp) of each, as inspect and icotool should see them
ICON_FACTS = [(16, 16, 4, "bmp"), (32, 32, 8, "bmp"), (32, 32, 32, "bmp"), (48, 48, 32, "png"), (256, 256, 32, "png")]
SETTINGS = [("FileVersion", "2.5.1"), ("ProductVersion", "2.5"), ("CompanyName", "Acme Grüße Ltd."),
            ("FileDescription", "The road show"), ("LegalCopyright", "© 2024 Acme"), ("ProductName", "路演"),
            ("InternalName", "roadshow"), ("Comments", "made with care")]


class IdentityCase(CliCase):
    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def build_ok(self, *args, out=None):
        r = self.build("--main", self.files["a.swf"], "-o", out or self.out, *args)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r

    def icon_file(self, path):
        """Icon group 128 as wrestool rebuilds an icon file from it and its images."""
        r = run(["wrestool", "-x", "--type=14", "--name=128", path])
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def icon_group(self, path):
        return ico_images(self.icon_file(path))


class IconAndVersion(IdentityCase):
    def test_icon_and_version_as_the_peers_read_them(self):
        icon = self.write("show.ico", ico(ICON_IMAGES))
        args = ["--icon", icon]
        for key, value in SETTINGS:
            args += ["--version-info", "%s=%s" % (key, value)]
        self.build_ok(*args)
        stub, facts = pe_facts(STUB), pe_facts(self.out)

        # pefile: the group and its images under 1033 only, the stub's own image gone,
        # one version resource; the rest of the stub's resources as they were.
        res = facts["resources"]
        icons = sorted(k for k in res if k[0] == "3")
        self.assertEqual(icons, [("3", str(i), 1033) for i in range(1, 6)])
        self.assertEqual([res[k] for k in icons], ICON_IMAGES)
        self.assertEqual([k for k in res if k[0] in ("14", "16")], [("14", "128", 1033), ("16", "1", 1033)])
        self.assertEqual(res[("5", "100", 1033)], stub["resources"][("5", "100", 1033)])
        self.assertEqual(facts["tables"], {"040904B0": dict(SETTINGS, OriginalFilename="show.exe")})
        self.assertEqual(facts["translations"], ["0x0409 0x04b0"])
        self.assertEqual(facts["fixed"], ("2.5.1.0", "2.5.0.0"))
        self.assertEqual(facts["checksum"], facts["computed_checksum"])

        # wrestool gives back the images we put in, in order; icotool reads them as an icon.
        extracted = self.write("extracted.ico", self.icon_file(self.out))
        self.assertEqual(ico_images(self.read(extracted)), ICON_IMAGES)
        listing = run(["icotool", "-l", extracted]).stdout.decode().splitlines()
        self.assertEqual(len(listing), len(ICON_FACTS))
        for line, (w, h, bits, _) in zip(listing, ICON_FACTS):
            self.assertIn("--width=%d --height=%d --bit-depth=%d" % (w, h, bits), line)
        pngs = os.path.join(self.dir, "pngs")
        os.mkdir(pngs)
        self.assertEqual(run(["icotool", "-x", "-o", pngs, extracted]).returncode, 0)
        extracted_pngs = {self.read(os.path.join(pngs, n)) for n in os.listdir(pngs)}
        self.assertLessEqual({i for i in ICON_IMAGES if i.startswith(b"\x89PNG")}, extracted_pngs)

        # inspect says the same.
        seen = self.inspect(self.out)
        self.assertEqual(seen["icon"], [["%dx%d" % (w, h), str(b), kind, str(len(i))]
                                        for (w, h, b, kind), i in zip(ICON_FACTS, ICON_IMAGES)])
        self.assertEqual(seen["version"], [[k, v] for k, v in SETTINGS[:6] + [("OriginalFilename", "show.exe")] +
                                           SETTINGS[6:]])
        self.assertEqual((seen["file-version"], seen["product-version"]), ("2.5.1.0", "2.5.0.0"))

    def test_fewer_images_leave_nothing_behind_and_the_version_stays_without_the_option(self):
        first = os.path.join(self.dir, "first.exe")
        self.build_ok("--icon", self.write("five.ico", ico(ICON_IMAGES)), "--version-info", "ProductName=First",
                      out=first)
        one = png(64, 64, seed=9)
        r = run([CLI, "build", "--stub", first, "--main", self.files["a.swf"], "-o", self.out,
                 "--icon", self.write("one.png", one)], env=self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        res = pe_facts(self.out)["resources"]
        self.assertEqual(sorted(k for k in res if k[0] == "3"), [("3", "1", 1033)])
        self.assertEqual(self.icon_group(self.out), [one])
        self.assertEqual(res[("16", "1", 1033)], pe_facts(first)["resources"][("16", "1", 1033)])
        # Without --icon the icon stays too.
        self.build_ok()
        self.assertEqual(self.icon_group(self.out), self.icon_group(STUB))

    def test_version_defaults_and_key_spelling(self):
        self.build_ok("--version-info", "productversion=3.1", "--version-info", "CompanyName=First",
                      "--version-info", "COMPANYNAME=Second", "--version-info", "Comments=")
        facts = pe_facts(self.out)
        self.assertEqual(facts["tables"], {"040904B0": {"FileVersion": "3.1", "ProductVersion": "3.1",
                                                        "CompanyName": "Second", "OriginalFilename": "show.exe",
                                                        "Comments": ""}})
        self.assertEqual(facts["fixed"], ("3.1.0.0", "3.1.0.0"))
        self.build_ok("--version-info", "OriginalFilename=Show.exe", "--version-info", "ProductName=Show")
        facts = pe_facts(self.out)
        self.assertEqual(facts["tables"], {"040904B0": {"ProductName": "Show", "OriginalFilename": "Show.exe"}})
        self.assertEqual(facts["fixed"], ("0.0.0.0", "0.0.0.0"))

    def test_bad_icons_are_refused_before_any_work(self):
        good = png(32, 32)
        big = png(16, 16) + b"\0" * (1 << 20)  # a PNG followed by padding: over 1 MiB
        cases = [
            ("text.ico", b"this is not an icon\n", "neither a Windows icon (.ico) nor a PNG image"),
            ("cursor.cur", ico([good])[:2] + b"\x02\x00" + ico([good])[4:], "a cursor, not an icon"),
            ("truncated.ico", ico([good, good])[:6 + 16 + 5], "truncated icon directory"),
            ("past-end.ico", ico([good])[:-10], "image 1 lies past the end of the file"),
            ("empty.ico", b"\0\0\1\0\0\0", "the icon holds no images"),
            ("many.ico", ico([good] * 65), "the icon holds 65 images; at most 64 are allowed"),
            ("large.ico", ico([good, big]), "image 2 has %d bytes; an icon image may have at most 1 MiB" % len(big)),
            ("large.png", big, "an icon image may have at most 1 MiB"),
            ("bad-crc.png", good[:-1] + bytes([good[-1] ^ 1]), "damaged PNG image (the CRC of chunk IEND does not match)"),
            ("cut.ico", ico([dib(32, 32, 32)[:-100]]), "image 1: truncated bitmap"),
            ("huge.png", png(300, 20), "the image is 300 x 20 pixels; an icon image may be at most 256 x 256"),
            ("missing.ico", None, "cannot be opened for reading"),
        ]
        self.write("show.exe", b"the previous package")
        for name, data, message in cases:
            path = self.write(name, data) if data is not None else os.path.join(self.dir, name)
            r = self.build("--main", self.files["a.swf"], "--icon", path, "-o", self.out)
            self.assertEqual(r.returncode, 2, name)
            lines = r.stderr.decode().splitlines()
            self.assertEqual(len(lines), 1, r.stderr)
            self.assertIn("The icon '%s' cannot be used" % path, lines[0])
            self.assertIn(message, lines[0], name)
            self.assertEqual(self.read(self.out), b"the previous package", name)
            self.assert_work_folder_gone()
        os.remove(self.out)
        r = self.build("--main", self.files["a.swf"], "--icon", self.write("text.ico", b"MZ"), "-o", self.out)
        self.assertEqual(r.returncode, 2)
        self.assertFalse(os.path.exists(self.out))

    def test_version_usage_errors(self):
        cases = [("Publisher=Acme", "unknown version key 'Publisher'"), ("CompanyName", "needs KEY=VALUE"),
                 ("FileVersion=1.2.3.4.5", "is not a version"), ("ProductVersion=65536", "is not a version"),
                 ("FileVersion=", "is not a version"), ("FileVersion=v1", "is not a version"),
                 ("Comments=" + "x" * 1025, "at most 1024")]
        for setting, message in cases:
            r = self.build("--main", self.files["a.swf"], "--version-info", setting, "-o", self.out)
            self.assertEqual(r.returncode, 1, setting)
            lines = r.stderr.decode().splitlines()
            self.assertIn(message, lines[0], setting)
            self.assertTrue(lines[1].startswith("usage: vellumix-cli build"), r.stderr)
            self.assertFalse(os.path.exists(self.out))


class Signing(IdentityCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="vx scratch dir.ü signer_")
        cls.signer = Signer(cls.keys)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def assert_signs_and_verifies(self, path):
        self.signer.assert_signs_and_verifies(self, path)

    def test_a_package_signs_and_verifies(self):
        self.build_ok("--icon", self.write("show.ico", ico(ICON_IMAGES[:2])), "--version-info", "ProductName=Show")
        facts = pe_facts(self.out)
        self.assertEqual(facts["certificates"], (0, 0))
        self.assertNotEqual(facts["checksum"], 0)
        self.assertEqual(facts["checksum"], facts["computed_checksum"])
        self.assert_signs_and_verifies(self.out)

    def test_a_signed_stub_gives_an_unsigned_package_with_a_note(self):
        signed_stub = os.path.join(self.dir, "signed-stub.exe")
        self.assertEqual(self.signer.sign(STUB, signed_stub).returncode, 0)
        status, text = self.signer.verify(signed_stub)
        self.assertEqual(status, 0, text)
        certificate = pe_facts(signed_stub)["certificates"]
        signature = self.read(signed_stub)[certificate[0] + 8:certificate[0] + certificate[1]]

        os.mkdir(os.path.join(self.dir, "plain"))
        unsigned_out = os.path.join(self.dir, "plain", "show.exe")  # the same name: the same OriginalFilename
        self.build_ok("--version-info", "ProductName=Show", out=unsigned_out)
        r = run([CLI, "build", "--stub", signed_stub, "--main", self.files["a.swf"], "--version-info",
                 "ProductName=Show", "-o", self.out], env=self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertIn("note:", lines[0])
        self.assertIn("signed-stub.exe' is signed", lines[0])

        facts = pe_facts(self.out)
        self.assertEqual(facts["certificates"], (0, 0))
        self.assertEqual(facts["checksum"], facts["computed_checksum"])
        self.assertNotIn(signature, self.read(self.out))
        self.assertNotEqual(self.signer.verify(self.out)[0], 0)  # no signature at all, not a broken one
        plain = pe_facts(unsigned_out)["resources"]
        self.assertEqual({k: v for k, v in facts["resources"].items() if k[0] != "ZIP"},
                         {k: v for k, v in plain.items() if k[0] != "ZIP"})
        self.assert_signs_and_verifies(self.out)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--stub", required=True)
    opts, rest = parser.parse_known_args()
    CLI = cli_test.CLI = os.path.abspath(opts.cli)
    STUB = cli_test.STUB = os.path.abspath(opts.stub)
    unittest.main(argv=[sys.argv[0]] + rest)
