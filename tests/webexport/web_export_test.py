#!/usr/bin/env python3
"""`vellumix-cli export --web` end to end: packages built by vellumix-cli, exported,
and played by the real Ruffle (the copy the build installed beside vellumix-cli) in
Debian's headless Chromium, driven over the DevTools protocol (testing/browser.py).
Folders are served from 127.0.0.1; the one-file form is opened from disk.

usage: web_export_test.py --cli CLI --stub STUB --package-tool TOOL CASE
CASE: demo, slideshow, quit, sibling, names or bad_input (one CTest test each).

Without Chromium the browser cases fail, saying so: they never pass unseen.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "testing"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import browser  # noqa: E402
import swfgen  # noqa: E402

ARGS = None
PASSWORD = "Rvd%q!KJEb"

# Every change of the body's data-* attributes, in order, with the stage's size and
# colour and the time, recorded from the first moment of every document the tab opens.
# A mutation observer is called once for a whole batch of changes; each record's old
# value is the value the record before it set, so every value is kept, also when the
# page set several in one task (as when Ruffle runs frames back to back to catch up).
TRACE_SCRIPT = """
window.__trace = [];
new MutationObserver(function (records) {
  var s = document.getElementById("stage");
  var extra = {};
  if (s) {
    var r = s.getBoundingClientRect();
    extra = {w: r.width, h: r.height, bg: getComputedStyle(s).backgroundColor};
  }
  var last = {};
  records.forEach(function (m) {
    var name = m.attributeName.substring(5);
    if (name in last) window.__trace[last[name]].v = m.oldValue;
    last[name] = window.__trace.push(Object.assign({a: name, v: null, t: performance.now()}, extra)) - 1;
  });
  for (var name in last) window.__trace[last[name]].v = document.body.getAttribute("data-" + name);
}).observe(document, {subtree: true, attributes: true, attributeOldValue: true,
                      attributeFilter: ["data-state", "data-slide", "data-movie", "data-frame"]});
// The FSCommand calls the page passes on to the console, in the same order.
var info = console.info;
console.info = function () {
  window.__trace.push({a: "console", v: Array.prototype.join.call(arguments, " "), t: performance.now()});
  return info.apply(console, arguments);
};
"""

PLAYER = "document.getElementById('stage').firstElementChild"


def header_facts(path):
    """Width, height, frame rate, frame count and background of a movie, read here."""
    with open(path, "rb") as f:
        data = f.read()
    body = zlib.decompress(data[8:]) if data[:3] == b"CWS" else data[8:]
    bits = "".join(format(b, "08b") for b in body[:32])
    n = int(bits[:5], 2)
    field = [int(bits[5 + i * n:5 + (i + 1) * n], 2) for i in range(4)]
    pos = (5 + 4 * n + 7) // 8
    rate, count = struct.unpack_from("<HH", body, pos)
    code_len = struct.unpack_from("<H", body, pos + 4)[0]
    bg = None
    if code_len >> 6 == 9:
        bg = tuple(body[pos + 6:pos + 9])
    return dict(width=(field[1] - field[0]) // 20, height=(field[3] - field[2]) // 20, rate=rate / 256.0,
                frames=count, background=bg)


class WebExport(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vx web scratch dir.\u00fc ")
        self.browser = None
        self.server = None

    def tearDown(self):
        if self.browser:
            self.browser.close()
        if self.server:
            self.server.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    # ---- making and exporting packages ----------------------------------------------------

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def movie(self, name, **kwargs):
        swfgen.write_swf(self.path(name), **kwargs)
        return self.path(name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return self.path(name)

    def run_cli(self, *args):
        return subprocess.run([ARGS.cli] + list(args), capture_output=True, text=True, timeout=300)

    def build(self, name, *args, title="Web show"):
        r = self.run_cli("build", "--stub", ARGS.stub, "--title", title, "-o", self.path(name), *args)
        self.assertEqual(r.returncode, 0, r.stderr)
        return self.path(name)

    def export(self, package, *outputs):
        r = self.run_cli("export", "--web", package, *outputs)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r

    # ---- the browser ------------------------------------------------------------------------

    def open_browser(self):
        try:
            self.browser = browser.Browser(self.dir)
        except browser.BrowserMissing as e:
            self.fail("this test needs Chromium and cannot run: %s" % e)
        self.browser.page.send("Page.addScriptToEvaluateOnNewDocument", {"source": TRACE_SCRIPT})
        return self.browser.page

    def serve(self, folder):
        page = self.open_browser()
        self.server = browser.StaticServer(folder)
        page.navigate(self.server.url)
        return page

    def playing(self, page, timeout=120):
        page.wait_for("document.body && document.body.dataset.state === 'playing'", timeout, "the show to play")

    def trace(self, page):
        return json.loads(page.evaluate("JSON.stringify(window.__trace)"))

    def stage(self, page):
        return page.evaluate("(function(){var r=document.getElementById('stage').getBoundingClientRect();"
                             "return [r.left, r.top, r.width, r.height, innerWidth, innerHeight];})()")

    # ---- the cases ----------------------------------------------------------------------------

    def test_demo(self):
        """The demo package plays: metadata as in the header, the frame grows, the stage
        is centred at the movie's size, shows the movie's colour and more than it."""
        examples = os.path.join(ROOT, "examples")
        intro = os.path.join(examples, "intro.swf")
        package = self.build("show.exe", "--main", intro, os.path.join(examples, "data.xml"),
                             os.path.join(examples, "song.mp3"), title="Vellumix demo")
        self.export(package, "-o", self.path("web"))
        facts = header_facts(intro)
        page = self.serve(self.path("web"))
        self.playing(page)
        self.assertEqual(page.evaluate("document.title"), "Vellumix demo")
        meta = page.evaluate(PLAYER + ".ruffle().metadata")
        self.assertEqual((meta["width"], meta["height"], meta["frameRate"], meta["numFrames"]),
                         (facts["width"], facts["height"], facts["rate"], facts["frames"]))
        self.assertEqual(meta["backgroundColor"].lower(), "#%02x%02x%02x" % facts["background"])
        self.assertFalse(meta["isActionScript3"])

        first = int(page.wait_for("Number(document.body.dataset.frame) >= 2 && document.body.dataset.frame",
                                  60, "a frame number"))
        later = int(page.wait_for("Number(document.body.dataset.frame) > %d && document.body.dataset.frame"
                                  % (first + 5), 60, "the frame to grow"))
        self.assertGreater(later, first)

        left, top, width, height, inner_w, inner_h = self.stage(page)
        self.assertEqual((width, height), (facts["width"], facts["height"]))
        self.assertEqual((left, top), (int((inner_w - width) / 2), int((inner_h - height) / 2)))
        w, h, rows = browser.decode_png(page.screenshot((left, top, width, height)))
        counts = {}
        for row in rows:
            for pixel in row:
                counts[pixel] = counts.get(pixel, 0) + 1
        self.assertGreater(len(counts), 1, "the stage shows one colour only")
        commonest = max(counts, key=counts.get)
        self.assertTrue(all(abs(a - b) <= 2 for a, b in zip(commonest, facts["background"])),
                        (commonest, facts["background"]))

    def test_slideshow(self):
        """Four slides of known lengths: each advances when its frame goes back, or when
        it stands still, or (ActionScript 3) when the estimate says so; the stage takes
        each one's size and colour; the first comes back. The first slide loads the
        third into level 1: that one plays there, and its frame marks do not count."""
        slides = [  # name, width, height, colour, frames, rule
            ("one.swf", 320, 240, 0x336699, 24, "loop"), ("two.swf", 400, 300, 0x993333, 9, "loop"),
            ("three.swf", 200, 150, 0x339933, 5, "stop"), ("four.swf", 250, 200, 0x666666, 3, "estimate")]
        extra = {
            "loop": lambda frames: {},
            "stop": lambda frames: dict(actions=[(3, swfgen.stop_action())], fscommands=[(2, "level", "three")]),
            "estimate": lambda frames: dict(as3=True, version=10, fps=2),
        }
        paths = []
        for name, w, h, bg, frames, rule in slides:
            kwargs = dict(xmax=20 * w, ymax=20 * h, fps=12, frames=frames, background=bg,
                          boxes=[(0xFFFFFF, 0, 10, 20, 20, 8, 0)])
            kwargs.update(extra[rule](frames))
            if name == "one.swf":
                kwargs["actions"] = [(1, swfgen.load_movie_action("three.swf", 1))]
            paths.append(self.movie(name, **kwargs))
        package = self.build("slides.exe", "--slideshow", *paths)
        self.export(package, "-o", self.path("web"))
        page = self.serve(self.path("web"))
        self.playing(page)
        page.wait_for("(window.__trace || []).some(function (d) { return d.a === 'slide' && d.v === '4'; })"
                      " && document.body.dataset.slide === '1'", 150, "the show to come back to the first slide")

        # Visits in order, each with the frames its movie reported and its messages.
        visits = []
        for e in self.trace(page):
            if e["a"] == "slide" and e["v"]:
                visits.append(dict(slide=e["v"], movie=None, frames=[], console=[], start=e["t"]))
            if not visits:
                continue
            v = visits[-1]
            if e["a"] == "console":
                v["console"].append(e["v"])
                continue
            v.update(size=(e.get("w"), e.get("h")), bg=e.get("bg"))
            if e["a"] == "movie":
                v["movie"] = e["v"]
            elif e["a"] == "frame" and e["v"]:
                v["frames"].append((int(e["v"]), e["t"]))
        self.assertEqual([v["slide"] for v in visits[:5]], ["1", "2", "3", "4", "1"])
        for i, (name, w, h, bg, frames, rule) in enumerate(slides):
            v = visits[i]
            with self.subTest(slide=name):
                self.assertEqual(v["movie"], name)
                self.assertEqual(v["size"], (w, h))
                seen = [f for f, _ in v["frames"]]
                if rule == "loop":
                    # It played to its last frame, looped, and went on after that.
                    back = next(i for i in range(1, len(seen)) if seen[i] < seen[i - 1])
                    self.assertEqual(seen[:back], list(range(1, frames + 1)))
                    self.assertLess(seen[-1], frames, seen)
                elif rule == "stop":
                    # It stopped and stood still: the show waited more than 50 ticks.
                    self.assertEqual(seen, [1, 2, 3])
                    self.assertGreater((visits[i + 1]["start"] - v["frames"][-1][1]) / 1000, 4.5)
                else:
                    # No frame is known; one pass of its timeline is 3 frames at 2 a second.
                    self.assertEqual(seen, [])
                    self.assertGreater((visits[i + 1]["start"] - v["start"]) / 1000, 1.4)
        self.assertIn("FSCommand level three", visits[0]["console"])
        # The player sets the colour of each slide it advances to, when the slide's first
        # tag is SetBackgroundColor; the ActionScript 3 slide starts with FileAttributes,
        # so the colour before it stays.
        bg = None
        for v, slide in zip(visits[1:5], slides[1:] + slides[:1]):
            bg = bg if slide[5] == "estimate" else slide[3]
            self.assertEqual(v["bg"], "rgb(%d, %d, %d)" % (bg >> 16, (bg >> 8) & 255, bg & 255))
        self.assertEqual(visits[4]["movie"], "one.swf")
        self.assertEqual(visits[4]["size"], (320, 240))

    def test_quit(self):
        """FSCommand "quit" in any case, Esc, and leaving full screen end the show with a
        "Play again" button, which starts it again."""
        quitting = self.movie("quitting.swf", xmax=6400, ymax=4800, fps=12, frames=12,
                              fscommands=[(12, "QuIt", "")], boxes=[(0xFFFFFF, 0, 0, 20, 20, 5, 0)])
        endless = self.movie("endless.swf", xmax=6400, ymax=4800, fps=12, frames=24)
        self.export(self.build("quit.exe", "--main", quitting), "-o", self.path("quit"))
        self.export(self.build("esc.exe", "--main", endless), "-o", self.path("esc"))
        self.export(self.build("full.exe", "--fullscreen", "--main", endless), "-o", self.path("full"))
        ended = "document.body.dataset.state === 'ended'"
        button = ("(function(){var b=document.getElementById('notice-button');"
                  "var r = b.getBoundingClientRect();"
                  "return !b.hidden && b.textContent === 'Play again' && [r.x, r.y, r.width, r.height];})()")

        page = self.serve(self.path("quit"))
        self.playing(page)
        page.wait_for(ended, 60, "the movie's quit")
        self.assertFalse(page.evaluate(PLAYER))
        x, y, w, h = page.wait_for(button, 10, "the Play again button")
        page.click(x + w / 2, y + h / 2)
        self.playing(page, 60)
        page.wait_for(ended, 60, "the movie's quit, played again")

        self.server.close()
        self.server = browser.StaticServer(self.path("esc"))
        page.navigate(self.server.url)
        page.wait_for("document.body && document.body.dataset.state === 'playing' &&"
                      " Number(document.body.dataset.frame) > 1", 120, "the endless movie")
        page.key("Escape", key_code=27)
        page.wait_for(ended, 10, "Esc to end the show")
        page.wait_for(button, 10, "the Play again button")

        self.server.close()
        self.server = browser.StaticServer(self.path("full"))
        page.navigate(self.server.url)
        self.playing(page)
        left, top, width, height, inner_w, inner_h = self.stage(page)
        self.assertEqual((left, top, width, height), (0, 0, inner_w, inner_h))
        page.click(inner_w / 2, inner_h / 2)
        page.wait_for("!!document.fullscreenElement", 10, "full screen after a click")
        # What Esc does in a browser in full screen: it leaves it, and the page never
        # sees the key.
        page.evaluate("document.exitFullscreen()")
        page.wait_for(ended, 10, "leaving full screen to end the show")

    def test_sibling(self):
        """A movie's loadVariables of a sibling text file gets its content: the folder
        form over HTTP, the one-file form from disk. The folder form from disk says how
        to serve it."""
        text = "Grüße from the text file"
        loader = self.movie("loader.swf", xmax=6400, ymax=2000, fps=12, frames=12,
                            texts=[(10, 10, 300, 30, None, "msg")],
                            actions=[(1, swfgen.load_variables_action("data.txt"))] +
                                    [(f, swfgen.report_variable_action("msg")) for f in range(2, 13)] +
                                    [(12, swfgen.goto_and_play_action(2))])
        data = self.write("data.txt", "msg=%s&done=1" % text)
        package = self.build("loader.exe", "--main", loader, data)
        self.export(package, "-o", self.path("web"), "--single-file", self.path("show one.html"))
        expected = "FSCommand msg " + text

        page = self.serve(self.path("web"))
        self.playing(page)
        self.wait_console(page, expected)

        self.server.close()
        page.console.clear()
        page.navigate(browser.file_url(self.path("show one.html")))
        self.playing(page, 180)
        self.wait_console(page, expected)

        page.navigate(browser.file_url(self.path("web", "index.html")))
        page.wait_for("document.body && document.body.dataset.state === 'ended'", 30, "the notice")
        notice = page.evaluate("document.getElementById('notice-text').textContent")
        self.assertIn("served over HTTP", notice)
        self.assertIn("python3 -m http.server", notice)

    def wait_console(self, page, text, timeout=60):
        deadline = time.monotonic() + timeout
        while text not in page.console:
            if time.monotonic() > deadline:
                self.fail("no %r in the console:\n%s" % (text, "\n".join(page.console)))
            page.evaluate("1")  # lets the events in
            time.sleep(0.2)

    def test_names(self):
        """Non-ASCII names for the movie and for the file it loads; names the player
        refuses are skipped, folder parts dropped, as the player does."""
        movie_name = "Ωmega ü.swf"
        text_name = "数据 ü.txt"
        os.mkdir(self.path("files"))
        movie = swfgen.make_swf(xmax=6400, ymax=2000, fps=12, frames=12, actions=[
            (1, swfgen.load_variables_action(text_name))] + [(f, swfgen.report_variable_action("msg"))
                                                              for f in range(2, 13)])
        with open(self.path("files", movie_name), "wb") as f:
            f.write(movie)
        self.write(os.path.join("files", text_name), "msg=Zhōngwén ü&done=1")
        package = self.build("names.exe", "--main", self.path("files", movie_name),
                             self.path("files", text_name))
        self.export(package, "-o", self.path("web"))
        self.assertTrue(os.path.isfile(self.path("web", movie_name)))
        self.assertTrue(os.path.isfile(self.path("web", text_name)))
        page = self.serve(self.path("web"))
        self.playing(page)
        self.assertEqual(page.evaluate("document.body.dataset.movie"), movie_name)
        self.wait_console(page, "FSCommand msg Zhōngwén ü")

        # An archive the builder would not make, plain (the player's reader takes
        # entries without encryption too): a folder part, names Windows reserves, and
        # the description in UTF-16 after its byte-order mark, the form in which the
        # player's private-profile functions read a movie's name beyond ASCII.
        ini = "\ufeff[SETTINGS]\r\nfullscreen=false\r\nmainmovie=%s\r\ntype=resource" % movie_name
        with zipfile.ZipFile(self.path("odd.zip"), "w") as z:
            z.writestr("package.ini", ini.encode("utf-16-le"))
            z.writestr("movies/deep/" + movie_name, movie)
            z.writestr("NUL", b"x")
            z.writestr("a:b.txt", b"x")
        r = subprocess.run([ARGS.package_tool, ARGS.stub, self.path("odd.exe"), "--archive", self.path("odd.zip")],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        r = self.export(self.path("odd.exe"), "-o", self.path("odd"))
        self.assertEqual(sorted(os.listdir(self.path("odd"))),
                         sorted([movie_name, "package.ini", "index.html", "vellumix-show.js", "ruffle"]))
        self.assertEqual(r.stderr.count("skipped: "), 2, r.stderr)
        with open(self.path("odd", "index.html"), encoding="utf-8") as f:
            self.assertIn('"main":0', f.read())

    def test_bad_input(self):
        """Each bad input: one line "error: ...", exit 2, nothing at the output and no
        work files beside it."""
        movie = self.movie("m.swf", frames=2)
        good = self.build("good.exe", "--main", movie)
        ini = self.write("package.ini", "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=m.swf\r\ntype=resource")

        def package_with(name, archive):
            args = [ARGS.package_tool, ARGS.stub, self.path(name)]
            args += ["--archive", archive] if archive else ["--no-archive"]
            subprocess.run(args, check=True, capture_output=True)
            return self.path(name)

        r = self.run_cli("pack", "--password", "not the one", self.path("other.zip"), ini, movie)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("other.zip"), "rb") as f:
            data = bytearray(f.read())
        data[-22:-18] = b"XXXX"  # the end record's signature: the archive has no end
        self.write("damaged.zip", bytes(data))
        no_ruffle = self.path("cli alone", os.path.basename(ARGS.cli))
        os.mkdir(self.path("cli alone"))
        shutil.copy(ARGS.cli, no_ruffle)
        os.mkdir(self.path("full"))
        self.write(os.path.join("full", "keep.txt"), "mine")

        cases = [
            ("a text file", [ARGS.cli, self.write("notes.txt", "hello")], "not a package"),
            ("a program without archive", [ARGS.cli, package_with("bare.exe", None)], "not a package"),
            ("a damaged archive", [ARGS.cli, package_with("damaged.exe", self.path("damaged.zip"))], ""),
            ("a wrong password", [ARGS.cli, package_with("wrong.exe", self.path("other.zip"))], "password"),
            ("Ruffle missing", [no_ruffle, good], "Ruffle's files are missing"),
        ]
        for what, (cli, package), words in cases:
            for outputs in (["-o", "out"], ["--single-file", "out.html"]):
                with self.subTest(what=what, form=outputs[0]):
                    target = self.path(outputs[1])
                    r = subprocess.run([cli, "export", "--web", package, outputs[0], target],
                                       capture_output=True, text=True)
                    self.assertEqual(r.returncode, 2, r.stderr)
                    lines = r.stderr.splitlines()
                    self.assertEqual(len(lines), 1, r.stderr)
                    self.assertTrue(lines[0].startswith("error: "), r.stderr)
                    self.assertIn(words, lines[0])
                    self.assertFalse(os.path.exists(target))
                    self.assertEqual([n for n in os.listdir(self.dir) if ".vx-" in n], [])

        # A folder that is not empty is kept as it is, unless --force replaces it.
        r = self.run_cli("export", "--web", good, "-o", self.path("full"))
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("exists and is not empty", r.stderr)
        self.assertEqual(os.listdir(self.path("full")), ["keep.txt"])
        self.write("taken.html", "mine")
        r = self.run_cli("export", "--web", good, "--single-file", self.path("taken.html"))
        self.assertEqual(r.returncode, 2, r.stderr)
        with open(self.path("taken.html")) as f:
            self.assertEqual(f.read(), "mine")
        # Not even --force replaces a folder that holds the package itself.
        r = self.run_cli("export", "--web", good, "-o", self.dir, "--force")
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("holds the package itself", r.stderr)
        self.assertTrue(os.path.isfile(good))
        self.export(good, "-o", self.path("full"), "--force")
        self.assertIn("m.swf", os.listdir(self.path("full")))
        self.assertNotIn("keep.txt", os.listdir(self.path("full")))
        self.assertEqual([n for n in os.listdir(self.dir) if ".vx-" in n], [])


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--cli", required=True)
    p.add_argument("--stub", required=True)
    p.add_argument("--package-tool", required=True)
    p.add_argument("case")
    ARGS = p.parse_args()
    suite = unittest.TestSuite([WebExport("test_" + ARGS.case)])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
