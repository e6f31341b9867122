#!/usr/bin/env python3
"""vellumix-cli build and inspect, end to end, with the packages checked by peers:
wrestool (icoutils) for the resources, Python's zipfile and Info-ZIP unzip for the
archive inside them.

    cli_test.py --cli PATH/vellumix-cli --stub PATH/stub.exe [--windows-build DIR]...
                [unittest options]
"""
import argparse
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

CLI = None
STUB = None
WINDOWS_BUILDS = []  # Windows build folders whose vellumix-cli.exe is compared, when given
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PASSWORD = b"Rvd%q!KJEb"


def run(args, env=None):
    return subprocess.run(args, capture_output=True, env=env)


def size_text(size):
    """The packager's size text, worked out independently of the tool."""
    value, units, unit = float(size & 0xFFFFFFFF), ["B", "KB", "MB", "GB", "TB"], 0
    while value > 1024 and unit < 4:
        value /= 1024
        unit += 1
    return ("%.0f %s" if unit <= 1 else "%.2f %s") % (value, units[unit])


def wrestool_list(path):
    out = run(["wrestool", "-l", path])
    assert out.returncode == 0, out.stderr
    rows = []
    for line in out.stdout.decode().splitlines():
        fields = dict(f.split("=", 1) for f in line.replace("[", "").replace("]", "").split() if "=" in f)
        rows.append((fields["--type"].strip("'"), fields["--name"].strip("'"), fields["--language"],
                     int(fields["size"])))
    return rows


def wrestool_extract(path, rtype, name):
    out = run(["wrestool", "-x", "-R", "--type=" + rtype, "--name=" + name, path])
    assert out.returncode == 0, out.stderr
    return out.stdout


def zip_name_records(path):
    """(flags, name bytes) of every local header and central record, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    records, at = [], 0
    while True:
        local, central = data.find(b"PK\x03\x04", at), data.find(b"PK\x01\x02", at)
        at = min(x for x in (local, central) if x >= 0) if max(local, central) >= 0 else -1
        if at < 0:
            return records
        if at == local:
            flags, n = struct.unpack_from("<H", data, at + 6)[0], struct.unpack_from("<H", data, at + 26)[0]
            records.append((flags, data[at + 30:at + 30 + n]))
        else:
            flags, n = struct.unpack_from("<H", data, at + 8)[0], struct.unpack_from("<H", data, at + 28)[0]
            records.append((flags, data[at + 46:at + 46 + n]))
        at += 4


def title_block(title):
    units = title.encode("utf-16-le")
    return struct.pack("<HH", 0, len(units) // 2) + units


def pe_sections(image):
    """The PE header's offset, the section table's offset and, for each section,
    (name, virtual size, virtual address, raw size, raw pointer)."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    count, optional = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    table = pe + 24 + optional
    sections = [(image[table + 40 * i:table + 40 * i + 8].rstrip(b"\0"),) +
                struct.unpack_from("<IIII", image, table + 40 * i + 8) for i in range(count)]
    return pe, table, sections


def parse_inspect(text):
    facts = {"resource": [], "description": [], "entry": [], "icon": [], "version": []}
    for line in text.splitlines():
        key, _, rest = line.partition("\t")
        if key in facts:
            facts[key].append(rest.split("\t") if key != "description" else rest)
        else:
            facts[key] = rest
    return facts


class CliCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vx scratch dir.ü cli_test_")
        self.tmp = os.path.join(self.dir, "tmp")  # the tool's TMPDIR: its work folder goes here
        os.mkdir(self.tmp)
        self.env = dict(os.environ, TMPDIR=self.tmp)
        self.files = {}
        for rel, data in [("movies/intro.swf", b"FWS\x08" + os.urandom(5000)),
                          ("data.xml", b"<show><slide/></show>\n"),
                          ("song.mp3", os.urandom(30000)),
                          ("other/data.xml", b"<other/>"),
                          ("a.swf", b"FWS\x08" + os.urandom(100)),
                          ("b.swf", b"FWS\x08" + os.urandom(200))]:
            path = os.path.join(self.dir, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            self.files[rel] = path
        self.out = os.path.join(self.dir, "show.exe")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, *args, stub=True):
        cmd = [CLI, "build"] + (["--stub", STUB] if stub else []) + list(args)
        return run(cmd, env=self.env)

    def inspect(self, path):
        out = run([CLI, "inspect", path], env=self.env)
        self.assertEqual(out.returncode, 0, out.stderr)
        return parse_inspect(out.stdout.decode("utf-8"))

    def archive(self, path):
        data = wrestool_extract(path, "ZIP", "129")
        zpath = os.path.join(self.dir, "extracted.zip")
        with open(zpath, "wb") as f:
            f.write(data)
        return zpath

    def assert_work_folder_gone(self):
        self.assertEqual(os.listdir(self.tmp), [], "the private work folder was left behind")


class BuildAndInspect(CliCase):
    def test_resource_package_checked_by_peers(self):
        f = self.files
        r = self.build("--main", f["movies/intro.swf"], "--title", "Road show", "-o", self.out,
                       f["data.xml"], f["song.mp3"])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.decode(), "%s\t%s\n" % (self.out, size_text(os.path.getsize(self.out))))
        self.assert_work_folder_gone()

        # Resources, by wrestool.
        rows = wrestool_list(self.out)
        kinds = [(t, n, lang) for t, n, lang, _ in rows]
        self.assertEqual(kinds.count(("ZIP", "129", "1033")), 1)
        self.assertEqual(kinds.count(("6", "1", "1033")), 1)
        self.assertNotIn("OCX", [t for t, _, _, _ in rows])
        for kept in [("3", "1", "1033"), ("14", "128", "1033"), ("5", "100", "1033"), ("16", "1", "1033")]:
            self.assertIn(kept, kinds)
            self.assertEqual(wrestool_extract(self.out, kept[0], kept[1]),
                             wrestool_extract(STUB, kept[0], kept[1]), kept)
        self.assertEqual(wrestool_extract(self.out, "6", "1"), title_block("Road show"))

        # The archive inside, by Python's zipfile and by unzip.
        zpath = self.archive(self.out)
        with zipfile.ZipFile(zpath) as z:
            z.setpassword(PASSWORD)
            self.assertEqual(z.namelist(), ["package.ini", "intro.swf", "data.xml", "song.mp3"])
            self.assertIsNone(z.testzip())
            self.assertTrue(all(i.flag_bits & 1 for i in z.infolist()))
            self.assertEqual(z.read("package.ini"),
                             b"[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource")
            for name, rel in [("intro.swf", "movies/intro.swf"), ("data.xml", "data.xml"), ("song.mp3", "song.mp3")]:
                with open(f[rel], "rb") as src:
                    self.assertEqual(z.read(name), src.read(), name)
        listing = run(["unzip", "-Z1", zpath])
        self.assertEqual(listing.stdout.decode().split(), ["package.ini", "intro.swf", "data.xml", "song.mp3"])
        test = run(["unzip", "-t", "-P", PASSWORD.decode(), zpath])
        self.assertEqual(test.returncode, 0, test.stdout)

        # inspect tells the same story.
        facts = self.inspect(self.out)
        self.assertEqual(facts["title"], "Road show")
        self.assertEqual(facts["flash-control"], "no")
        self.assertEqual(facts["size"], size_text(os.path.getsize(self.out)))
        self.assertEqual(facts["description"],
                         ["[SETTINGS]", "fullscreen=false", "mainmovie=intro.swf", "type=resource"])
        with zipfile.ZipFile(zpath) as z:
            expected = [[i.filename, "deflate" if i.compress_type == 8 else "stored", str(i.compress_size),
                         str(i.file_size), "%08X" % i.CRC, "encrypted", "ok"] for i in z.infolist()]
        self.assertEqual(facts["entry"], expected)
        res = sorted((t, n, lang, int(s)) for t, n, lang, s in facts["resource"])
        self.assertEqual(res, sorted(rows))

    def test_slideshow_never_packages_the_main_movie(self):
        f = self.files
        r = self.build("--slideshow", "--fullscreen", "--main", f["movies/intro.swf"], "-o", self.out,
                       f["b.swf"], f["a.swf"])
        self.assertEqual(r.returncode, 0, r.stderr)
        facts = self.inspect(self.out)
        self.assertEqual([e[0] for e in facts["entry"]], ["package.ini", "b.swf", "a.swf"])
        self.assertEqual(facts["description"], ["[SETTINGS]", "fullscreen=true", "mainmovie=", "type=slideshow"])
        self.assertEqual(facts["title"], "Vellumix")  # the default title

    def test_list_rules_skip_repeated_paths_and_refuse_repeated_names(self):
        f = self.files
        same_again = os.path.join(self.dir, ".", "movies", "..", "data.xml")
        r = self.build("--main", f["movies/intro.swf"], "-o", self.out, f["data.xml"], same_again,
                       f["movies/intro.swf"])
        self.assertEqual(r.returncode, 0, r.stderr)
        entries = self.inspect(self.out)["entry"]
        self.assertEqual([e[0] for e in entries], ["package.ini", "intro.swf", "data.xml"])

        # Two files of one name, whatever the letter case, and a file named package.ini:
        # refused with the file named, exit 2, nothing written.
        os.remove(self.out)
        upper = os.path.join(self.dir, "other", "DATA.XML")
        os.rename(f["other/data.xml"], upper)
        ini = os.path.join(self.dir, "other", "Package.ini")
        with open(ini, "wb") as fo:
            fo.write(b"[SETTINGS]\r\nmainmovie=other.swf")
        for files, named in (([f["data.xml"], upper], upper), ([ini], ini)):
            r = self.build("--main", f["movies/intro.swf"], "-o", self.out, *files)
            self.assertEqual(r.returncode, 2, r.stderr)
            lines = r.stderr.decode().splitlines()
            self.assertEqual(len(lines), 1, r.stderr)
            self.assertIn("'%s' has the same name as" % named, lines[0])
            self.assertFalse(os.path.exists(self.out))
            self.assert_work_folder_gone()

    def test_flash_control_only_when_asked(self):
        ocx = os.path.join(self.dir, "Flash8.ocx")
        with open(ocx, "wb") as fo:
            fo.write(b"MZ" + os.urandom(40000))
        r = self.build("--main", self.files["a.swf"], "--flash-ocx", ocx, "-o", self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(("OCX", "1091", "1033", 40002), wrestool_list(self.out))
        with open(ocx, "rb") as fo:
            self.assertEqual(wrestool_extract(self.out, "OCX", "1091"), fo.read())
        self.assertEqual(self.inspect(self.out)["flash-control"], "yes")

    def test_title_limits(self):
        a = self.files["a.swf"]
        fifty = "T" * 49 + "\u00e9"  # 50 characters, 51 bytes of UTF-8
        r = self.build("--main", a, "--title", fifty, "-o", self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        block = wrestool_extract(self.out, "6", "1")
        self.assertEqual(len(block), 104)
        self.assertEqual(block, title_block(fifty))
        self.assertEqual(self.inspect(self.out)["title"], fifty)

        r = self.build("--main", a, "--title", "", "-o", self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(wrestool_extract(self.out, "6", "1"), bytes(4))

        os.remove(self.out)
        r = self.build("--main", a, "--title", "x" * 51, "-o", self.out)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"50", r.stderr)
        self.assertFalse(os.path.exists(self.out))


class Examples(CliCase):
    ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

    def test_demo_packages_the_examples(self):
        # scripts/demo.sh with this build's tool and the stand-in stub as Orrinet.exe.
        win32 = os.path.join(self.dir, "win32")
        os.makedirs(os.path.join(win32, "bin"))
        shutil.copy2(STUB, os.path.join(win32, "bin", "Orrinet.exe"))
        out = os.path.join(self.dir, "out")
        env = dict(self.env, VX_HOST_BUILD=os.path.dirname(os.path.dirname(CLI)), VX_WIN32_BUILD=win32,
                   VX_DEMO_OUT=out)
        r = run(["bash", os.path.join(self.ROOT, "scripts", "demo.sh")], env=env)
        self.assertEqual(r.returncode, 0, r.stderr)
        inspect = r.stdout.decode().split("== vellumix-cli inspect")[1].split("\n", 1)[1].split("\n\n")[0]
        facts = parse_inspect(inspect)
        self.assertEqual(facts["title"], "Vellumix demo")
        self.assertEqual([e[0] for e in facts["entry"]], ["package.ini", "intro.swf", "data.xml", "song.mp3"])
        self.assertTrue(all(e[6] == "ok" for e in facts["entry"]))
        # The page for browsers, both forms (tests/webexport plays them).
        self.assertTrue(os.path.isfile(os.path.join(out, "web", "index.html")))
        self.assertTrue(os.path.isfile(os.path.join(out, "show.html")))

        os.remove(os.path.join(win32, "bin", "Orrinet.exe"))
        r = run(["bash", os.path.join(self.ROOT, "scripts", "demo.sh")], env=env)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"Orrinet.exe", r.stderr)

    def test_example_files_are_what_they_claim(self):
        ex = os.path.join(self.ROOT, "examples")
        with open(os.path.join(ex, "intro.swf"), "rb") as fi:
            head = fi.read(8)
        self.assertEqual(head[:3], b"CWS")
        self.assertEqual(struct.unpack("<I", head[4:8])[0] > 8, True)
        with open(os.path.join(ex, "song.mp3"), "rb") as fm:
            mp3 = fm.read()
        # Back-to-back 104-byte MPEG-1 Layer III frames, each with a valid header.
        self.assertEqual(len(mp3) % 104, 0)
        for pos in range(0, len(mp3), 104):
            self.assertEqual(mp3[pos:pos + 4], b"\xff\xfb\x10\xc4", pos)
        import xml.dom.minidom
        xml.dom.minidom.parse(os.path.join(ex, "data.xml"))


class Failures(CliCase):
    def test_inspect_reports_a_damaged_archive(self):
        r = self.build("--main", self.files["song.mp3"], "-o", self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        archive = wrestool_extract(self.out, "ZIP", "129")
        with open(self.out, "rb") as fo:
            offset = fo.read().find(archive)
        self.assertGreater(offset, 0)
        with open(self.out, "r+b") as fo:  # a byte in the middle of song.mp3's data
            fo.seek(offset + 5000)
            b = fo.read(1)
            fo.seek(offset + 5000)
            fo.write(bytes([b[0] ^ 0x55]))
        r = run([CLI, "inspect", self.out])
        self.assertEqual(r.returncode, 2)
        entries = parse_inspect(r.stdout.decode())["entry"]
        self.assertEqual([(e[0], e[6]) for e in entries], [("package.ini", "ok"), ("song.mp3", "damaged")])
        self.assertEqual(len(r.stderr.splitlines()), 1, r.stderr)

    def test_resource_mode_needs_a_main_movie(self):
        r = self.build("-o", self.out, self.files["a.swf"])
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr, b"Please choose the main movie to continue!\n")
        self.assertFalse(os.path.exists(self.out))

    def test_missing_file_leaves_the_existing_output_alone(self):
        with open(self.out, "wb") as fo:
            fo.write(b"previous package")
        missing = os.path.join(self.dir, "missing.png")
        r = self.build("--main", self.files["a.swf"], "-o", self.out, missing)
        self.assertEqual(r.returncode, 2)
        lines = r.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, r.stderr)
        self.assertIn(missing, lines[0])
        with open(self.out, "rb") as fo:
            self.assertEqual(fo.read(), b"previous package")
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(["tmp", "movies", "other", "data.xml", "song.mp3",
                                                               "a.swf", "b.swf", "show.exe"]))
        self.assert_work_folder_gone()

    def test_stub_that_is_no_executable(self):
        bad = os.path.join(self.dir, "bad.exe")
        with open(bad, "wb") as fo:
            fo.write(b"MZ" + bytes(100))
        r = run([CLI, "build", "--stub", bad, "--main", self.files["a.swf"], "-o", self.out], env=self.env)
        self.assertNotEqual(r.returncode, 0)
        self.assertEqual(len(r.stderr.splitlines()), 1, r.stderr)
        self.assertIn(b"Failed to UpdateResource", r.stderr)
        self.assertFalse(os.path.exists(self.out))
        self.assert_work_folder_gone()

    def test_default_stub_is_found_beside_the_tool(self):
        tools = os.path.join(self.dir, "tools")
        os.mkdir(tools)
        cli = os.path.join(tools, "vellumix-cli")
        shutil.copy2(CLI, cli)
        r = run([cli, "build", "--main", self.files["a.swf"], "-o", self.out], env=self.env)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"--stub", r.stderr)
        shutil.copy2(STUB, os.path.join(tools, "Orrinet.exe"))
        r = run([cli, "build", "--main", self.files["a.swf"], "-o", self.out], env=self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(wrestool_extract(self.out, "5", "100"), wrestool_extract(STUB, "5", "100"))

    def test_usage_errors(self):
        for args in (["--main"], ["--main", "a.swf"], ["--bogus", "-o", self.out]):
            r = run([CLI, "build"] + args, env=self.env)
            self.assertEqual(r.returncode, 1, args)
            lines = r.stderr.decode().splitlines()
            self.assertGreaterEqual(len(lines), 2, r.stderr)
            self.assertTrue(lines[1].startswith("usage: vellumix-cli build"), r.stderr)

    def test_an_exception_ends_the_tool_with_exit_2(self):
        # A package whose title block claims about 3.7 GB (the file made that long,
        # sparsely): inspect cannot hold it within 1 GB of address space, and the
        # allocation's failure must end the tool like any other failure.
        r = self.build("--main", self.files["a.swf"], "-o", self.out)
        self.assertEqual(r.returncode, 0, r.stderr)
        huge = 0xF0000000
        with open(self.out, "r+b") as fo:
            image = bytearray(fo.read())
            pe, table, sections = pe_sections(image)
            magic = struct.unpack_from("<H", image, pe + 24)[0]
            rsrc_rva = struct.unpack_from("<I", image, pe + 24 + (112 if magic == 0x20B else 96) + 2 * 8)[0]
            rsrc = [i for i, s in enumerate(sections) if s[2] == rsrc_rva][0]
            _, vsize, va, raw_size, raw_ptr = sections[rsrc]

            def entry(directory, wanted):  # the target of the entry with id `wanted`
                at = raw_ptr + directory
                named, ids = struct.unpack_from("<HH", image, at + 12)
                for k in range(named + ids):
                    ident, target = struct.unpack_from("<II", image, at + 16 + 8 * k)
                    if wanted is None or ident == wanted:
                        return target & 0x7FFFFFFF
                self.fail("no resource %r" % wanted)
            data = raw_ptr + entry(entry(entry(0, 6), 1), None)  # string table, block 1, first language
            block_rva = struct.unpack_from("<I", image, data)[0]
            struct.pack_into("<I", image, data + 4, huge)
            struct.pack_into("<I", image, table + 40 * rsrc + 16, block_rva - va + huge)
            fo.seek(0)
            fo.write(image)
            fo.truncate(raw_ptr + block_rva - va + huge)

        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        r = subprocess.run([CLI, "inspect", self.out], capture_output=True, preexec_fn=limit)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertEqual(r.stderr, b"vellumix-cli inspect: not enough memory\n")

    def test_threads_option(self):
        # A whole number from 1 to 16, else a usage error before any work.
        for value in ("0", "17", "x", ""):
            r = self.build("--threads", value, "--main", self.files["a.swf"], "-o", self.out)
            self.assertEqual(r.returncode, 1, value)
            self.assertIn(b"--threads takes a whole number from 1 to 16", r.stderr)
        self.assertFalse(os.path.exists(self.out))
        contents = []
        for value in ("1", "3"):
            r = self.build("--threads", value, "--main", self.files["movies/intro.swf"], "-o", self.out,
                           self.files["song.mp3"])
            self.assertEqual(r.returncode, 0, r.stderr)
            with zipfile.ZipFile(self.archive(self.out)) as z:
                z.setpassword(PASSWORD)
                contents.append([(i.filename, z.read(i)) for i in z.infolist()])
        self.assertEqual(contents[0], contents[1])
        self.assertEqual([name for name, _ in contents[0]], ["package.ini", "intro.swf", "song.mp3"])

    def test_inspect_of_something_else(self):
        r = run([CLI, "inspect", self.files["data.xml"]])
        self.assertNotEqual(r.returncode, 0)
        self.assertEqual(len(r.stderr.splitlines()), 1, r.stderr)
        r = run([CLI, "inspect", STUB])  # the stub's default archive is unencrypted
        self.assertEqual(r.returncode, 0, r.stderr)
        facts = parse_inspect(r.stdout.decode())
        self.assertEqual([e[0] for e in facts["entry"]], ["package.ini", "logo.swf"])
        self.assertTrue(all(e[5] == "plain" for e in facts["entry"]))
        self.assertEqual(facts["description"], ["[SETTINGS]", "fullscreen=false", "mainmovie=logo.swf"])


def windows_build():
    """The first of the --windows-build folders whose programs run under Wine here (the
    win32 build where 32-bit programs run, else the win64 one), or None."""
    runs = os.path.join(SOURCE_DIR, "testing", "wine-runs.sh")
    for build in WINDOWS_BUILDS:
        if (os.path.exists(os.path.join(build, "bin", "vellumix-cli.exe"))
                and subprocess.run([runs, build], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL).returncode == 0):
            return build
    return None


class SamePackageOnBothPlatforms(CliCase):
    """The host's own resource rewriter and the Windows update functions (vellumix-cli.exe
    of a Windows build, under Wine) make the same package from the same inputs."""

    def setUp(self):
        build = windows_build()
        if not build:
            self.skipTest("no Windows build that runs here among %r" % WINDOWS_BUILDS)
        self.windows_cli = os.path.join(build, "bin", "vellumix-cli.exe")
        self.wine_run = os.path.join(build, "wine-run")
        super().setUp()

    def test_resource_trees_match_entry_for_entry(self):
        self.compare_builds(STUB)

    def test_the_real_stub_keeps_its_resources_last_and_builds_alike(self):
        orrinet = os.path.join(os.path.dirname(self.windows_cli), "Orrinet.exe")
        if not os.path.exists(orrinet):
            self.skipTest("the Windows build has no Orrinet.exe")
        with open(orrinet, "rb") as fo:
            image = fo.read()
        _, _, sections = pe_sections(image)
        self.assertEqual(max(sections, key=lambda s: s[4])[0], b".rsrc", sections)
        self.compare_builds(orrinet)

    def test_names_beyond_ascii_are_the_same_from_a_chinese_windows(self):
        # The Windows tool under a Chinese code page (936) and the Linux tool write the
        # same names, flags, description and title for files named beyond ASCII.
        movie, data = os.path.join(self.dir, "游戏.swf"), os.path.join(self.dir, "数据 ü.xml")
        shutil.copy(self.files["movies/intro.swf"], movie)
        shutil.copy(self.files["data.xml"], data)
        args = ["build", "--stub", STUB, "--main", movie, "--title", "中文标题", data]
        host_out, wine_out = os.path.join(self.dir, "host.exe"), os.path.join(self.dir, "维.exe")
        r = run([CLI] + args + ["-o", host_out], env=self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        chinese = dict(os.environ, LANG="zh_CN.UTF-8", LC_ALL="zh_CN.UTF-8")
        r = run([self.wine_run, self.windows_cli] + args + ["-o", wine_out], env=chinese)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.path.exists(wine_out))
        records = [zip_name_records(self.archive(out)) for out in (host_out, wine_out)]
        self.assertEqual(records[0], records[1])
        entries = [(0x0009, b"package.ini"), (0x0809, "游戏.swf".encode()), (0x0809, "数据 ü.xml".encode())]
        self.assertEqual(records[0], entries * 2)  # the local headers, then the central records
        self.assertEqual(wrestool_extract(host_out, "6", "1"), wrestool_extract(wine_out, "6", "1"))
        self.assertEqual(wrestool_extract(host_out, "6", "1"), title_block("中文标题"))
        descriptions = []
        for out in (host_out, wine_out):
            with zipfile.ZipFile(self.archive(out)) as z:
                z.setpassword(PASSWORD)
                descriptions.append(z.read("package.ini"))
        self.assertEqual(descriptions[0], descriptions[1])
        self.assertEqual(descriptions[0], "\ufeff[SETTINGS]\r\nfullscreen=false\r\nmainmovie=游戏.swf\r\n"
                         "type=resource".encode("utf-16-le"))
        facts = self.inspect(wine_out)
        self.assertEqual(facts["title"], "中文标题")
        self.assertEqual(facts["description"], ["[SETTINGS]", "fullscreen=false", "mainmovie=游戏.swf", "type=resource"])
        self.assertEqual([e[0] for e in facts["entry"]], ["package.ini", "游戏.swf", "数据 ü.xml"])

    def test_any_name_and_long_paths_on_an_english_windows(self):
        # English code page (1252): arguments beyond it reach vellumix-cli.exe whole, and
        # paths longer than the classic limit of 260 characters work for the package and
        # for the files unpacked from it.
        english = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        deep = os.path.join(self.dir, "深" * 40, "x" * 150)
        os.makedirs(deep)
        movie = os.path.join(self.dir, "游戏.swf")
        shutil.copy(self.files["movies/intro.swf"], movie)
        long_name = os.path.join(self.dir, "数" * 20 + "y" * 100 + ".xml")
        shutil.copy(self.files["data.xml"], long_name)
        out = os.path.join(deep, "z" * 60 + ".exe")
        self.assertGreater(len(("Z:" + out).replace("/", "\\")), 260)
        r = run([self.wine_run, self.windows_cli, "build", "--stub", STUB, "--main", movie, "-o", out, long_name],
                env=english)
        self.assertEqual(r.returncode, 0, r.stderr)
        target = os.path.join(deep, "拆")
        r = run([self.wine_run, self.windows_cli, "unpack", out, target], env=english)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(target)), sorted(["package.ini", "游戏.swf", os.path.basename(long_name)]))
        with open(os.path.join(target, os.path.basename(long_name)), "rb") as f:
            self.assertEqual(f.read(), b"<show><slide/></show>\n")

    def compare_builds(self, stub):
        f = self.files
        ocx = os.path.join(self.dir, "Flash8.ocx")
        with open(ocx, "wb") as fo:
            fo.write(b"MZ" + os.urandom(20000))
        args = ["build", "--stub", stub, "--main", f["movies/intro.swf"], "--title", "Both ways",
                "--flash-ocx", ocx, "--fullscreen"]
        files = [f["data.xml"], f["song.mp3"]]
        host_out = os.path.join(self.dir, "host.exe")
        wine_out = os.path.join(self.dir, "wine.exe")
        r = run([CLI] + args + ["-o", host_out] + files, env=self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        r = run([self.wine_run, self.windows_cli] + args + ["-o", wine_out] + files)
        self.assertEqual(r.returncode, 0, r.stderr)

        host_rows, wine_rows = wrestool_list(host_out), wrestool_list(wine_out)
        self.assertEqual(sorted(host_rows), sorted(wine_rows))
        for rtype, name, _, _ in host_rows:
            if (rtype, name) == ("ZIP", "129"):
                continue  # encrypted with random headers: compared by content below
            self.assertEqual(wrestool_extract(host_out, rtype, name), wrestool_extract(wine_out, rtype, name),
                             (rtype, name))
            if (rtype, name) not in (("6", "1"), ("OCX", "1091")):  # the stub's own, unchanged
                self.assertEqual(wrestool_extract(host_out, rtype, name), wrestool_extract(stub, rtype, name))
        contents = []
        for out in (host_out, wine_out):
            with zipfile.ZipFile(self.archive(out)) as z:
                z.setpassword(PASSWORD)
                contents.append([(i.filename, i.compress_type, i.CRC, z.read(i)) for i in z.infolist()])
        self.assertEqual(contents[0], contents[1])
        self.assertEqual([c[0] for c in contents[0]], ["package.ini", "intro.swf", "data.xml", "song.mp3"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--windows-build", action="append", default=[])
    opts, rest = parser.parse_known_args()
    CLI, STUB = os.path.abspath(opts.cli), os.path.abspath(opts.stub)
    WINDOWS_BUILDS = [os.path.abspath(b) for b in opts.windows_build]
    unittest.main(argv=[sys.argv[0]] + rest)
