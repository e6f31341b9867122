#!/usr/bin/env python3
"""End-to-end runs of real player packages under Wine and Xvfb.

Each case builds its packages (with the host vellumix-cli, or, for packages the
builder would not make, a hand-made archive put into a stub copy with the host
player-package-tool), runs them through testing/wine-harness.sh beside
player_probe.exe (which reports the visible windows and the files in the temporary
folder while the package plays) and checks the stand-in control's event log, the
probe's report, the messages the player showed (VX_MESSAGES_TO) and what is left in
the temporary folder afterwards.

    player_e2e.py --build WINDOWS_BUILD --host-bin HOST_BIN --source SOURCE_DIR CASE
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

PASSWORD = "Rvd%q!KJEb"
LOCK = "~orrinet/run.lock"  # in the run folder, as the listing shows it
LOCK_WIN = LOCK.replace("/", "\\")  # as the probe shows it
# The temporary folder of the harness's prefixes (testing/wine-harness.sh).
TEMP = r"C:\\users\\[^\\]+\\Temp\\" + re.escape("scratch dir.ü")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


class Run:
    """What one harness run left behind."""

    def __init__(self, out, exit_code, elapsed, messages_file):
        self.out = out
        self.exit_code = exit_code
        self.elapsed = elapsed
        # The stand-in's logs, the probe's report and the listing are UTF-8.
        self.log = self._lines("standin.log")
        self.log2 = self._lines("standin-2.log")
        self.probe = self._lines("stdout-2.txt")
        self.listing = self._lines("temp-listing.txt")
        self.messages = []
        if os.path.exists(messages_file):
            with open(messages_file, encoding="utf-8", errors="replace") as f:
                self.messages = [line.rstrip("\r\n") for line in f if line.strip()]

    def _lines(self, name):
        path = os.path.join(self.out, name)
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\r\n") for line in f]

    def events(self, kind, log=None):
        return [line for line in (self.log if log is None else log) if line.startswith(kind + " ")]

    def loads(self, log=None):
        return [line.split(" ", 2)[2] for line in self.events("LoadMovie", log)]

    def windows(self):
        return [line for line in self.probe if line.startswith("Window ")]

    def files(self):
        return [line[5:] for line in self.probe if line.startswith("File ")]

    def describe(self):
        return ("exit %s after %.1fs\nlog: %s\nprobe: %s\nmessages: %s\ntemp: %s"
                % (self.exit_code, self.elapsed, self.log, self.probe, self.messages, self.listing))


class Cases:
    def __init__(self, args):
        self.build = os.path.realpath(args.build)
        self.source = os.path.realpath(args.source)
        self.host_bin = os.path.realpath(args.host_bin)
        self.stub = os.path.join(self.build, "bin", "Orrinet.exe")
        self.probe = os.path.join(self.build, "bin", "player_probe.exe")
        self.cli = os.path.join(self.host_bin, "vellumix-cli")
        self.tool = os.path.join(self.host_bin, "player-package-tool")
        for need in (self.stub, self.probe, self.cli, self.tool):
            check(os.path.exists(need), "%s is missing (build the host and Windows presets first)" % need)

    def setup(self, case):
        self.case = case
        self.work = os.path.join(self.build, "player-e2e", case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)

    # ---- making packages ------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.work, name)

    def swf(self, name, width=550, height=400, frames=24, fps=12, bg="336699", extra=()):
        out = self.path(name)
        cmd = [sys.executable, os.path.join(self.source, "scripts", "swfgen.py"), "-o", out,
               "--width", str(width), "--height", str(height), "--frames", str(frames),
               "--fps", str(fps), "--bg", bg] + list(extra)
        subprocess.run(cmd, check=True)
        return out

    def text_file(self, name, text):
        out = self.path(name)
        with open(out, "wb") as f:
            f.write(text.encode("latin-1"))
        return out

    def package(self, name, main=None, files=(), slideshow=False, title="Test Show", fullscreen=False,
                ocx=None):
        out = self.path(name)
        cmd = [self.cli, "build", "--stub", self.stub, "-o", out, "--title", title]
        if slideshow:
            cmd.append("--slideshow")
        if main:
            cmd += ["--main", main]
        if fullscreen:
            cmd.append("--fullscreen")
        if ocx:
            cmd += ["--flash-ocx", ocx]
        subprocess.run(cmd + list(files), check=True, stdout=subprocess.DEVNULL)
        return out

    def zip_with_password(self, name, files, password=PASSWORD, store=False):
        """An archive made by Info-ZIP, entries in the order given, encrypted."""
        out = self.path(name)
        cmd = ["zip", "-q", "-j", "-X"] + (["-0"] if store else []) + ["-P", password, out] + list(files)
        subprocess.run(cmd, check=True)
        return out

    def custom_package(self, name, archive=None, no_archive=False, ocx=None):
        out = self.path(name)
        cmd = [self.tool, self.stub, out]
        if archive:
            cmd += ["--archive", archive]
        if no_archive:
            cmd.append("--no-archive")
        if ocx:
            cmd += ["--ocx", ocx]
        subprocess.run(cmd, check=True)
        return out

    def ini(self, name="package.ini", fullscreen="false", mainmovie="", type_="resource"):
        lines = ["[SETTINGS]", "fullscreen=" + fullscreen, "mainmovie=" + mainmovie]
        if type_ is not None:
            lines.append("type=" + type_)
        return self.text_file(name, "\r\n".join(lines))

    # ---- running --------------------------------------------------------------------

    def run(self, exe, env=(), second=None, probe=True, wait_ms=6000, settle_ms=700, timeout=40,
            escape=None, keys=None, screenshot=None, no_control=False, show_messages=False,
            prefix_folders=(), keep_prefix=False, temp_folder=None, tag=""):
        out = os.path.join(self.build, "wine-harness", "player-" + self.case + tag)
        messages = self.path("messages%s.txt" % tag)
        if os.path.exists(messages):
            os.remove(messages)
        cmd = [os.path.join(self.source, "testing", "wine-harness.sh"), "--timeout", str(timeout), "--out", out]
        if not show_messages:
            cmd += ["--env", "VX_MESSAGES_TO=" + windows_path(messages)]
        for e in env:
            cmd += ["--env", e]
        if keys is not None:
            cmd += ["--keys", keys]
        if escape is not None:
            cmd += ["--escape", str(escape)]
        if screenshot is not None:
            cmd += ["--screenshot", str(screenshot)]
        if no_control:
            cmd.append("--no-control")
        for folder in prefix_folders:
            cmd += ["--prefix-folder", folder]
        if keep_prefix:
            cmd.append("--keep-prefix")
        if temp_folder:
            cmd += ["--temp-folder", temp_folder]
        cmd += [self.build, "player-" + self.case, exe]
        if second:
            cmd += ["++"] + second
        elif probe:
            cmd += ["++", self.probe, str(wait_ms), str(settle_ms)]
        start = time.monotonic()
        proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        elapsed = time.monotonic() - start
        check(proc.returncode != 125, "the harness failed: %s" % proc.stderr)
        code_file = os.path.join(out, "exit-code")
        exit_code = int(open(code_file).read().strip()) if os.path.exists(code_file) else None
        return Run(out, exit_code, elapsed, messages)

    def run_timed(self, exe, **kwargs):
        """Runs like run() and also returns the time (monotonic seconds) at which each
        LoadMovie line appeared in the log, watched while the package plays."""
        out_dir = os.path.join(self.build, "wine-harness", "player-" + self.case + kwargs.get("tag", ""))
        shutil.rmtree(out_dir, ignore_errors=True)  # no stale log for the watcher
        proc = subprocess.Popen([sys.executable, "-c", WATCHER, os.path.join(out_dir, "standin.log")],
                                stdout=subprocess.PIPE, text=True)
        try:
            run = self.run(exe, **kwargs)
        finally:
            proc.terminate()
        times = {}
        for line in proc.communicate()[0].splitlines():
            when, n = line.split()
            times[int(n)] = float(when)
        return run, [times[n] for n in sorted(times)]

    def assert_clean(self, run):
        """Nothing is left in the temporary folder but the shared, empty "VX"."""
        leftovers = [p for p in run.listing if p != "VX/"]
        check(not leftovers, "left in the temporary folder: %r" % leftovers)

    def assert_ended_normally(self, run):
        check(run.exit_code == 0, "the player did not end normally:\n" + run.describe())

    def assert_run_folder(self, path, movie):
        """The package's folder under VX: 16 hex digits, "-<n>" for a second instance."""
        m = re.fullmatch(TEMP + r"\\VX\\([0-9a-f]{16}(?:-\d+)?)\\" + re.escape(movie), path)
        check(m is not None, "loaded %r, not %s in a package folder under VX" % (path, movie))
        return m.group(1)

    # ---- cases ----------------------------------------------------------------------

    def windowed(self, width, height, left, top):
        movie = self.swf("movie.swf", width, height)
        data = self.text_file("data.xml", "<data/>")
        song = self.text_file("song.mp3", "ID3 not really")
        exe = self.package("show.exe", main=movie, files=[data, song], title="Show Title")
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=2500"])
        self.assert_ended_normally(run)
        check(("Window %d %d %d %d" % (left, top, width, height)) in run.log,
              "window not at %d,%d %dx%d:\n%s" % (left, top, width, height, run.describe()))
        check(("Rect 0 0 %d %d" % (width, height)) in run.log, "control rectangle:\n" + run.describe())
        loads = run.loads()
        check(len(loads) == 1, "expected one LoadMovie:\n" + run.describe())
        folder = self.assert_run_folder(loads[0], "movie.swf")
        check(run.events("LoadMovie")[0].startswith("LoadMovie 0 "), "LoadMovie not on layer 0")
        files = sorted(run.files())
        check(files == sorted(folder + "\\" + n for n in ("package.ini", "movie.swf", "data.xml", "song.mp3", LOCK_WIN)),
              "files beside the movie while it plays: %r" % files)
        windows = run.windows()
        check(windows == ["Window %d %d %d %d Show Title" % (left, top, width, height)],
              "visible windows: %r" % windows)
        children = [line.split(" ", 3) for line in run.probe if line.startswith("Child ")]
        check(len(children) == 1 and children[0][1] == "555" and children[0][3:] == ["flash"],
              "the control's window is not child 555 named \"flash\": %r" % children)
        styles = [line.split() for line in run.probe if line.startswith("Style ")]
        check(len(styles) == 1, "window style not reported: %r" % run.probe)
        style, ex_style = int(styles[0][1], 16), int(styles[0][2], 16)
        # WS_POPUP | WS_VISIBLE from the template, WS_SYSMENU added; no caption, no
        # border, no sizing frame (the system adds WS_CLIPSIBLINGS by itself).
        check(style & 0x90080000 == 0x90080000, "window style 0x%08X" % style)
        check(not style & (0x00C00000 | 0x00800000 | 0x00040000), "window style 0x%08X" % style)
        check(ex_style & 0x00040000, "no taskbar button (extended style 0x%08X)" % ex_style)
        self.assert_clean(run)
        return run

    def case_window_550x400(self):
        run = self.windowed(550, 400, 237, 184)

    def case_window_551x401(self):
        self.windowed(551, 401, 236, 183)

    def case_window_larger_than_screen(self):
        self.windowed(1280, 1001, -128, -116)

    def fullscreen_package(self, value):
        movie = self.swf("movie.swf", 550, 400)
        ini = self.ini(fullscreen=value, mainmovie="movie.swf")
        archive = self.zip_with_password("package.zip", [ini, movie])
        return self.custom_package("show.exe", archive=archive)

    def case_fullscreen_true(self):
        run = self.run(self.fullscreen_package("TRUE"), env=["FLASH_STANDIN_QUIT_MS=2000"])
        self.assert_ended_normally(run)
        check("Window 0 0 1024 768" in run.log and "Rect 0 0 1024 768" in run.log,
              "not on the full screen:\n" + run.describe())
        self.assert_run_folder(run.loads()[0], "movie.swf")
        self.assert_clean(run)

    def case_fullscreen_yes(self):
        run = self.run(self.fullscreen_package("yes"), env=["FLASH_STANDIN_QUIT_MS=2000"])
        self.assert_ended_normally(run)
        check("Window 237 184 550 400" in run.log and "Rect 0 0 550 400" in run.log,
              "fullscreen=yes is not windowed:\n" + run.describe())
        check("Window 0 0 1024 768" not in run.log, "fullscreen=yes went full screen")
        self.assert_clean(run)

    def case_slideshow_three(self):
        # Short looping movies: each loops back within a second, which moves the show on.
        specs = [("one.swf", 300, 200, "112233"), ("two.swf", 400, 300, "336699"), ("three.swf", 500, 350, "AA5500")]
        movies = [self.swf(n, w, h, frames=8, fps=20, bg=bg) for n, w, h, bg in specs]
        exe = self.package("show.exe", slideshow=True, files=movies)
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=4500"], probe=False)
        self.assert_ended_normally(run)
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        check(len(names) >= 4 and names[:4] == ["one.swf", "two.swf", "three.swf", "one.swf"],
              "slides loaded %r:\n%s" % (names, run.describe()))
        colours = {n: bg for n, _, _, bg in specs}
        sizes = {n: (w, h) for n, w, h, _ in specs}
        # Before each LoadMovie after the first: the movie's colour, window and control size.
        since = []
        first = True
        for line in run.log:
            if line.startswith("LoadMovie "):
                name = line.rsplit("\\", 1)[-1]
                if not first:
                    bgs = [l for l in since if l.startswith("BackgroundColor ")]
                    check(bgs and bgs[-1] == "BackgroundColor 0x" + colours[name],
                          "colour before %s: %r" % (name, since))
                    w, h = sizes[name]
                    check("Rect 0 0 %d %d" % (w, h) in since, "control not resized for %s: %r" % (name, since))
                    check("Window %d %d %d %d" % ((1024 - w) // 2, (768 - h) // 2, w, h) in since,
                          "window not resized for %s: %r" % (name, since))
                first = False
                since = []
            else:
                since.append(line)
        self.assert_clean(run)

    def case_slideshow_hold(self):
        # The first movie stops on its last frame after 0.1 s; the show leaves it about
        # 5 s later (51 unchanged ticks of 100 ms, then one more).
        held = self.swf("held.swf", 300, 200, frames=3, fps=30, bg="102030")
        after = self.swf("after.swf", 300, 200, frames=3, fps=30, bg="405060")
        exe = self.package("show.exe", slideshow=True, files=[held, after])
        run, times = self.run_timed(exe, env=["FLASH_STANDIN_HOLD=1", "FLASH_STANDIN_QUIT_MS=8500"], probe=False)
        self.assert_ended_normally(run)
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        check(names[:2] == ["held.swf", "after.swf"], "slides loaded %r:\n%s" % (names, run.describe()))
        check(len(times) >= 2, "LoadMovie times not seen: %r" % times)
        gap = times[1] - times[0]
        check(4.6 <= gap <= 7.5, "the held movie was left after %.2f s, not about 5.2 s" % gap)
        self.assert_clean(run)

    def case_slideshow_discipline(self):
        # A full-screen show of three looping movies, the second without a colour tag:
        # each is left only after it looped (never sooner than one pass through it), no
        # advance resizes anything, and the colourless movie gets no colour sent.
        specs = [("one.swf", 8, "112233"), ("two.swf", 6, None), ("three.swf", 10, "AA5500")]
        movies = [self.swf(n, 300 + 50 * i, 200, frames=f, fps=20, bg=bg or "000000",
                           extra=[] if bg else ["--no-bg"]) for i, (n, f, bg) in enumerate(specs)]
        loop = {n: f / 20.0 for n, f, _ in specs}
        exe = self.package("show.exe", slideshow=True, fullscreen=True, files=movies)
        run, times = self.run_timed(exe, env=["FLASH_STANDIN_QUIT_MS=4000"], probe=False)
        self.assert_ended_normally(run)
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        check(names[:4] == ["one.swf", "two.swf", "three.swf", "one.swf"], "slides loaded %r" % names)
        check(len(times) == len(names), "LoadMovie times %r for %r" % (times, names))
        for i in range(1, len(names)):
            # The log is watched every 20 ms: a little slack for that.
            gap = times[i] - times[i - 1]
            check(gap >= loop[names[i - 1]] - 0.05,
                  "%s was left %.2f s after it was loaded, before one pass (%.2f s)" % (names[i - 1], gap, loop[names[i - 1]]))
        first = run.log.index(next(l for l in run.log if l.startswith("LoadMovie ")))
        check("Window 0 0 1024 768" in run.log[:first] and "Rect 0 0 1024 768" in run.log[:first],
              "not on the full screen:\n" + run.describe())
        check(not [l for l in run.log[first:] if l.startswith(("Window ", "Rect "))],
              "an advance resized the window or the control:\n" + run.describe())
        since = []
        for line in run.log[first + 1:]:
            if line.startswith("LoadMovie "):
                if line.endswith("\\two.swf"):
                    check(not [l for l in since if l.startswith("BackgroundColor ")],
                          "a colour was sent before the colourless movie: %r" % since)
                since = []
            else:
                since.append(line)
        self.assert_clean(run)

    def case_slide_box_reentry(self):
        # The second slide is an empty file: each advance to it shows the reader's
        # "Failed to locate" box, a real one here, pressed by the probe after 1.5 s. The
        # slideshow timer keeps ticking inside the box's message loop; no advance may
        # start there. Then the show goes on.
        loop = self.swf("loop.swf", 300, 200, frames=8, fps=20)
        empty = self.text_file("x.swf", "")
        ini = self.ini(fullscreen="true", type_="slideshow")
        exe = self.custom_package("show.exe", archive=self.zip_with_password("package.zip", [ini, loop, empty]))
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=10000"], second=[self.probe, "boxes", "14000", "1500"],
                       show_messages=True, timeout=40)
        self.assert_ended_normally(run)
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        boxes = [l[4:] for l in run.probe if l.startswith("Box ")]
        most = [l for l in run.probe if l.startswith("MostAtOnce ")]
        check(most == ["MostAtOnce 1"], "boxes open at once: %r\n%s" % (most, run.describe()))
        check(boxes and all("Failed to locate" in b for b in boxes), "boxes: %r" % boxes)
        check(len(boxes) == names.count("x.swf"), "%d boxes for %d advances to x.swf" % (len(boxes), names.count("x.swf")))
        check(names[:3] == ["loop.swf", "x.swf", "loop.swf"], "slides loaded %r:\n%s" % (names, run.describe()))
        self.assert_clean(run)

    def case_refused_entries(self):
        # A slideshow whose archive holds a name the reader refuses (com1.swf, a device),
        # ahead of the real slides, and an entry that cannot be written: its name is
        # that of the player's own folder, made before anything is extracted. (Two
        # entries of one name, the first extracted read-only, would do on Windows; under
        # Wine as root a read-only file can still be written.) The refused name is no
        # slide, the unwritable entry is skipped, and the show plays.
        one = self.swf("one.swf", 300, 200, frames=8, fps=20, bg="112233")
        two = self.swf("two.swf", 300, 200, frames=8, fps=20, bg="445566")
        ini = self.ini(type_="slideshow")
        archive = self.path("package.zip")
        with zipfile.ZipFile(archive, "w") as z:
            def add(name, data, attributes=0x20):
                info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
                info.create_system = 0  # MS-DOS: the external attributes are DOS attributes
                info.external_attr = attributes
                z.writestr(info, data)
            add("package.ini", open(ini, "rb").read())
            add("com1.swf", open(one, "rb").read())
            add("one.swf", open(one, "rb").read())
            add("data.txt", b"read-only", attributes=0x01)
            # The player's own folder's name: no file may take its place. The name
            # earlier players gave their lock is an ordinary file now.
            add("~orrinet", b"not the player's folder")
            add("~orrinet.lock", b"an ordinary file")
            add("two.swf", open(two, "rb").read())
        exe = self.custom_package("show.exe", archive=archive)
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=3000"])
        self.assert_ended_normally(run)
        check(not run.messages, "messages:\n" + run.describe())
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        check(names[:3] == ["one.swf", "two.swf", "one.swf"] and "com1.swf" not in names,
              "slides loaded %r:\n%s" % (names, run.describe()))
        folder = self.assert_run_folder(run.loads()[0], "one.swf")
        files = set(run.files())
        check({folder + "\\data.txt", folder + "\\" + LOCK_WIN, folder + "\\~orrinet.lock"} <= files,
              "files: %r" % run.files())
        check(folder + "\\~orrinet" not in files, "a file took the player's own folder: %r" % run.files())
        self.assert_clean(run)

    def case_slideshow_one(self):
        only = self.swf("only.swf", 300, 200, frames=4, fps=20)
        exe = self.package("show.exe", slideshow=True, files=[only])
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=3500"], probe=False)
        self.assert_ended_normally(run)
        names = [p.rsplit("\\", 1)[-1] for p in run.loads()]
        # The movie loops every 0.2 s; after the first advance reloads it the timer stops.
        check(names == ["only.swf", "only.swf"], "loads %r:\n%s" % (names, run.describe()))
        self.assert_clean(run)

    def case_escape(self):
        movie = self.swf("movie.swf", 400, 300)
        exe = self.package("show.exe", main=movie)
        run = self.run(exe, escape=1.5, probe=False, timeout=20)
        check(run.exit_code == 0, "Esc did not close the player:\n" + run.describe())
        check(len(run.loads()) == 1, "movie not loaded:\n" + run.describe())
        self.assert_clean(run)

    def case_keys(self):
        # A movie that takes the keyboard gets Return, Tab, Space and an arrow key. None
        # of them closes the window or moves the focus away (either would keep the keys
        # after it from arriving), and Esc still closes it.
        movie = self.swf("movie.swf", 400, 300)
        exe = self.package("show.exe", main=movie)
        run = self.run(exe, keys="1.5 Return Tab space Right", escape=4, probe=False, timeout=25)
        check(run.exit_code == 0, "Esc did not close the player:\n" + run.describe())
        check(run.events("Key") == ["Key 0x0D", "Key 0x09", "Key 0x20", "Key 0x27"],
              "keys the movie got:\n" + run.describe())
        self.assert_clean(run)

    def case_folder_stable(self):
        # Run twice, then rebuilt with another file, renamed and moved: the main movie is
        # loaded from the same path every time (the control keys saved data by it).
        movie = self.swf("movie.swf", 400, 300)
        data = self.text_file("data.xml", "<data/>")
        exe = self.package("show.exe", main=movie, files=[data], title="Saved Game")
        runs = [self.run(exe, env=["FLASH_STANDIN_QUIT_MS=1500"], probe=False, tag=tag) for tag in ("", "-again")]
        os.makedirs(self.path("moved"))
        more = self.text_file("more.txt", "new in this build")
        rebuilt = self.package(os.path.join("moved", "renamed.exe"), main=movie, files=[data, more],
                               title="Saved Game")
        runs.append(self.run(rebuilt, env=["FLASH_STANDIN_QUIT_MS=1500"], probe=False, tag="-rebuilt"))
        paths = []
        for run in runs:
            self.assert_ended_normally(run)
            check(len(run.loads()) == 1, "movie not played:\n" + run.describe())
            paths.append(run.loads()[0])
            self.assert_clean(run)
        check(len(set(paths)) == 1, "the movie moved: %r" % paths)
        check("-" not in self.assert_run_folder(paths[0], "movie.swf"), "not the first instance's folder")

    def case_same_package_at_once(self):
        # Two instances of one package: the second gets a folder of its own, and neither
        # start takes the other's files away (every advance of the show reads its slide
        # from disk again).
        one = self.swf("one.swf", 300, 200, frames=8, fps=20, bg="112233")
        two = self.swf("two.swf", 320, 240, frames=8, fps=20, bg="445566")
        exe = self.package("show.exe", slideshow=True, files=[one, two])
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=3000"], second=[exe], timeout=30)
        check(run.exit_code == 0 and open(os.path.join(run.out, "exit-code-2")).read().strip() == "0",
              "the two instances did not both end normally:\n" + run.describe())
        folders = set()
        for log in (run.log, run.log2):
            loads = run.loads(log)
            names = [p.rsplit("\\", 1)[-1] for p in loads]
            check(names[:4] == ["one.swf", "two.swf", "one.swf", "two.swf"], "slides loaded %r" % names)
            found = {self.assert_run_folder(p, n) for p, n in zip(loads, names)}
            check(len(found) == 1, "one instance used several folders: %r" % found)
            folders |= found
        base = min(folders, key=len)
        check(folders == {base, base + "-2"}, "folders %r" % folders)
        self.assert_clean(run)

    def case_killed_run_swept(self):
        # A run ended by force leaves its folder (and its lock, unheld now); the next
        # start of another package in the same prefix removes it before it plays.
        movie = self.swf("movie.swf", 300, 200)
        run = self.run(self.package("first.exe", main=movie), probe=False, timeout=4)
        check(run.exit_code in (124, 137), "the first package was not killed:\n" + run.describe())
        folder = self.assert_run_folder(run.loads()[0], "movie.swf")
        check({"VX/%s/" % folder, "VX/%s/movie.swf" % folder, "VX/%s/%s" % (folder, LOCK)} <= set(run.listing),
              "the killed run left no folder: %r" % run.listing)
        marker = os.path.join(run.out, "prefix", "drive_c", "kept.txt")
        open(marker, "w").close()
        other = self.swf("other.swf", 320, 240)
        run = self.run(self.package("second.exe", main=other, title="Another"), env=["FLASH_STANDIN_QUIT_MS=2500"],
                       keep_prefix=True)
        check(os.path.exists(marker), "the second package did not run in the first one's prefix")
        self.assert_ended_normally(run)
        second = self.assert_run_folder(run.loads()[0], "other.swf")
        check(second != folder, "both packages used %s" % folder)
        check(all(f.startswith(second + "\\") for f in run.files()),
              "the left-over folder was still there while the next package played: %r" % run.files())
        self.assert_clean(run)

    def case_names_beyond_the_code_page(self):
        # An English code page, and a temporary folder, a movie, a file and a title
        # with characters it lacks: the package plays from its folder there, its files
        # keep their names, the window shows the title, and nothing is left.
        temp = "C:\\临时 dir.ü"
        movie = self.swf("游戏.swf", 400, 300)
        data = self.text_file("数据.xml", "<data/>")
        exe = self.package("show.exe", main=movie, files=[data], title="中文标题 Show")
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=2500"], temp_folder=temp)
        self.assert_ended_normally(run)
        check(not run.messages, "messages:\n" + run.describe())
        loads = run.loads()
        m = re.fullmatch(re.escape(temp) + r"\\VX\\([0-9a-f]{16})\\游戏\.swf", loads[0] if loads else "")
        check(len(loads) == 1 and m, "loaded %r:\n%s" % (loads, run.describe()))
        files = sorted(run.files())
        check(files == sorted(m.group(1) + "\\" + n for n in ("package.ini", "游戏.swf", "数据.xml", LOCK_WIN)),
              "files while it plays: %r" % files)
        check(run.windows() == ["Window 312 234 400 300 中文标题 Show"], "windows: %r" % run.windows())
        self.assert_clean(run)
        # Another title the code page lacks just as much: a folder of its own.
        other = self.package("other.exe", main=movie, files=[data], title="日本語 Show")
        run = self.run(other, env=["FLASH_STANDIN_QUIT_MS=1500"], temp_folder=temp, probe=False, tag="-other")
        self.assert_ended_normally(run)
        check(len(run.loads()) == 1 and m.group(1) not in run.loads()[0],
              "both titles share a folder: %r" % run.loads())

    def case_link_at_the_run_folder(self):
        # The package's folder under VX replaced by a link to a folder holding two
        # files: the next run plays from the next instance's folder and leaves the
        # linked folder as it was.
        movie = self.swf("movie.swf", 300, 200)
        exe = self.package("show.exe", main=movie)
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=1500"], probe=False)
        self.assert_ended_normally(run)
        folder = self.assert_run_folder(run.loads()[0], "movie.swf")
        drive_c = os.path.join(run.out, "prefix", "drive_c")
        # The shared VX folder the movie played from: C:\users\<user>\Temp\scratch dir.ü\VX.
        shared = os.path.join(drive_c, *run.loads()[0].split("\\")[1:-2])
        kept = os.path.join(drive_c, "kept")
        os.makedirs(kept)
        for name in ("one.txt", "two.txt"):
            with open(os.path.join(kept, name), "w") as f:
                f.write(name)
        os.symlink(kept, os.path.join(shared, folder))
        run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=1500"], probe=False, keep_prefix=True)
        self.assert_ended_normally(run)
        check(self.assert_run_folder(run.loads()[0], "movie.swf") == folder + "-2",
              "played from %r:\n%s" % (run.loads(), run.describe()))
        check(sorted(os.listdir(kept)) == ["one.txt", "two.txt"], "the linked folder holds %r" % os.listdir(kept))

    def case_fscommand(self):
        # "fullscreen" at frame 3 must do nothing; "QUIT" at frame 12 closes.
        movie = self.swf("movie.swf", 400, 300, frames=30, fps=12,
                         extra=["--fscommand", "3", "fullscreen", "true", "--fscommand", "12", "QUIT", ""])
        exe = self.package("show.exe", main=movie)
        run = self.run(exe, probe=False, timeout=20)
        self.assert_ended_normally(run)
        commands = run.events("FSCommand")
        check(commands[:1] == ["FSCommand fullscreen true"], "first command: %r" % commands)
        check(any(c.startswith("FSCommand QUIT") for c in commands),
              "the player closed before QUIT (on another command?): %r" % commands)
        self.assert_clean(run)

    def case_stub_alone(self):
        run = self.run(self.stub, env=["FLASH_STANDIN_QUIT_MS=2000"])
        self.assert_ended_normally(run)
        loads = run.loads()
        check(len(loads) == 1, "stub alone:\n" + run.describe())
        self.assert_run_folder(loads[0], "logo.swf")
        check(run.windows() == ["Window 312 234 400 300 Vellumix"], "stub window: %r" % run.windows())
        self.assert_clean(run)

    def case_ini_only(self):
        ini = self.ini(mainmovie="", type_="slideshow")
        exe = self.custom_package("show.exe", archive=self.zip_with_password("package.zip", [ini]))
        run = self.run(exe, wait_ms=3000)
        self.assert_ended_normally(run)
        check(run.probe[:1] == ["NoWindow"], "a window appeared: %r" % run.probe)
        check(not run.log and not run.messages, "ini alone:\n" + run.describe())
        self.assert_clean(run)

    def control_probe(self, version, carried=True):
        """A package (carrying the stand-in as its control, or not) run where the installed
        control reports `version`; regsvr32_recorder.exe sits beside it as regsvr32.exe
        and records what the player starts regsvr32 with."""
        dll = os.path.join(self.build, "bin", "flash-standin.dll")
        movie = self.swf("movie.swf", 400, 300)
        exe = self.package("show.exe", main=movie, ocx=dll if carried else None)
        shutil.copy(os.path.join(self.build, "bin", "regsvr32_recorder.exe"), self.path("regsvr32.exe"))
        record = self.path("regsvr32.txt")
        run = self.run(exe, env=["FLASH_STANDIN_VERSION=%X" % version, "FLASH_STANDIN_QUIT_MS=2000",
                                 "VX_REGSVR32_LOG=" + windows_path(record)], probe=False)
        self.assert_ended_normally(run)
        check(len(run.loads()) == 1, "movie not played:\n" + run.describe())
        installed = os.path.join(run.out, "prefix", "drive_c", "windows", "system32", "flash8.ocx")
        with open(os.path.join(run.out, "prefix", "system.reg"), encoding="utf-8", errors="replace") as f:
            registry = f.read()
        started = open(record).read().splitlines() if os.path.exists(record) else []
        self.assert_clean(run)
        return installed, dll, registry, started

    def case_control_probe_9(self):
        installed, dll, registry, started = self.control_probe(0x00090000)
        check(os.path.exists(installed), "flash8.ocx not written for version 9")
        with open(installed, "rb") as a, open(dll, "rb") as b:
            check(a.read() == b.read(), "flash8.ocx differs from the carried control file")
        # Silently: without /s regsvr32 would show its result in a box nobody closes. The
        # path goes bare, as it always did; only one with a blank in it would be quoted.
        check(started == ['C:\\windows\\system32\\flash8.ocx /s'], "regsvr32 started with %r" % started)
        check(re.search(r"\{D27CDB6E-AE6D-11CF-96B8-444553540000\}\\\\InprocServer32\][^\[]*flash8\.ocx",
                        registry, re.IGNORECASE),
              "regsvr32 did not register flash8.ocx")

    def case_control_probe_8(self):
        installed, _, registry, started = self.control_probe(0x00080000)
        check(not os.path.exists(installed), "flash8.ocx written although version 8 is installed")
        check(not started and "flash8.ocx" not in registry.lower(),
              "flash8.ocx registered although version 8 is installed: %r" % started)

    def case_control_probe_7(self):
        # Version 7 calls for an install, but the package carries no control: nothing.
        installed, _, registry, started = self.control_probe(0x00070000, carried=False)
        check(not os.path.exists(installed), "flash8.ocx written without a carried control")
        check(not started and "flash8.ocx" not in registry.lower(), "regsvr32 started: %r" % started)

    def case_carried_control(self):
        # No control registered; the package carries the stand-in. First with a system
        # folder the player may write (the install is started, but not waited for),
        # then with <system32>\flash8.ocx a folder, so that neither the install nor its
        # registration can work: the package plays from its run folder both times.
        dll = os.path.join(self.build, "bin", "flash-standin.dll")
        movie = self.swf("movie.swf", 400, 300)
        exe = self.package("show.exe", main=movie, ocx=dll)
        for tag, folders in (("", ()), ("-blocked", ("windows/system32/flash8.ocx",))):
            run = self.run(exe, env=["FLASH_STANDIN_QUIT_MS=2500"], no_control=True, prefix_folders=folders,
                           tag=tag)
            self.assert_ended_normally(run)
            check(not run.messages, "messages:\n" + run.describe())
            loads = run.loads()
            check(len(loads) == 1, "the package did not play on its first run:\n" + run.describe())
            folder = self.assert_run_folder(loads[0], "movie.swf")
            if folders:
                # The control came from the player's own folder in the run folder: nothing
                # else could give one.
                check(folder + "\\~orrinet\\flash8.ocx" in run.files(), "no control in the run folder: %r" % run.files())
                system32 = os.path.join(run.out, "prefix", "drive_c", "windows", "system32")
                check(os.path.isdir(os.path.join(system32, "flash8.ocx")), "the blocking folder is gone")
                with open(os.path.join(run.out, "prefix", "system.reg"), encoding="utf-8", errors="replace") as f:
                    check("D27CDB6E-AE6D-11CF-96B8-444553540000" not in f.read().upper(),
                          "a Flash control got registered")
            self.assert_clean(run)

    def case_two_at_once(self):
        # Two packages started together each play their own movie to its end (an
        # fscommand quit in the last frame) while the other one runs and ends.
        first = self.swf("first.swf", 300, 200, frames=24, fps=12, bg="AA0000", extra=["--quit-at", "24"])
        second = self.swf("second.swf", 320, 240, frames=36, fps=12, bg="00AA00", extra=["--quit-at", "36"])
        shared = self.text_file("shared.txt", "same name in both")
        exe1 = self.package("first.exe", main=first, files=[shared])
        exe2 = self.package("second.exe", main=second, files=[shared])
        run = self.run(exe1, second=[exe2], timeout=30)
        check(run.exit_code == 0 and open(os.path.join(run.out, "exit-code-2")).read().strip() == "0",
              "the two players did not both end normally:\n" + run.describe())
        l1, l2 = run.loads(), run.loads(run.log2)
        check(len(l1) == 1 and len(l2) == 1, "loads %r %r" % (l1, l2))
        f1 = self.assert_run_folder(l1[0], "first.swf")
        f2 = self.assert_run_folder(l2[0], "second.swf")
        check(f1 != f2, "both runs used the folder %s" % f1)
        check(any(l.startswith("FSCommand quit") for l in run.log), "first movie did not play to its end")
        check(any(l.startswith("FSCommand quit") for l in run.log2), "second movie did not play to its end")
        self.assert_clean(run)

    def rejected(self, archive, expect_fragment=None):
        exe = self.custom_package("show.exe", archive=archive)
        run = self.run(exe, wait_ms=3000)
        check(run.exit_code is not None and run.exit_code not in (124, 137), "the player hung:\n" + run.describe())
        check(run.probe[:1] == ["NoWindow"], "a player window appeared: %r" % run.probe)
        check(len(run.messages) == 1, "expected one message:\n" + run.describe())
        # The same text the host tool reports for the same archive.
        unpack = subprocess.run([self.cli, "unpack", exe, self.path("unpacked")], capture_output=True, text=True)
        check(unpack.returncode == 2, "the host reader accepted the archive")
        check(run.messages[0] in unpack.stderr, "message %r is not the reader's %r" % (run.messages[0], unpack.stderr))
        if expect_fragment:
            check(expect_fragment.lower() in run.messages[0].lower(), "message %r" % run.messages[0])
        check(not run.log, "a movie was loaded:\n" + run.describe())
        self.assert_clean(run)

    def case_damaged_archive(self):
        movie = self.swf("movie.swf", 400, 300)
        archive = self.zip_with_password("package.zip", [self.ini(mainmovie="movie.swf"), movie])
        data = bytearray(open(archive, "rb").read())
        # Cut the archive in the middle of its central directory.
        cd = data.rfind(b"PK\x01\x02")
        damaged = self.path("damaged.zip")
        with open(damaged, "wb") as f:
            f.write(data[:cd + 20])
        self.rejected(damaged)

    def case_crc_mismatch(self):
        big = self.text_file("big.txt", "x" * 4000)
        archive = self.zip_with_password("package.zip", [self.ini(mainmovie="movie.swf"), big], store=True)
        data = bytearray(open(archive, "rb").read())
        # A byte in the middle of big.txt's stored (encrypted) data.
        local = data.find(b"PK\x03\x04", 10)
        data[local + 30 + len("big.txt") + 12 + 2000] ^= 0x55
        damaged = self.path("crc.zip")
        with open(damaged, "wb") as f:
            f.write(data)
        self.rejected(damaged)

    def case_wrong_password(self):
        movie = self.swf("movie.swf", 400, 300)
        archive = self.zip_with_password("package.zip", [self.ini(mainmovie="movie.swf"), movie],
                                         password="not the one")
        self.rejected(archive)

    def case_no_control(self):
        movie = self.swf("movie.swf", 400, 300)
        exe = self.package("show.exe", main=movie)
        run = self.run(exe, no_control=True, wait_ms=3000)
        check(run.exit_code is not None and run.exit_code not in (124, 137), "the player hung:\n" + run.describe())
        check(len(run.messages) == 1 and "Shockwave Flash" in run.messages[0] and "not installed" in run.messages[0],
              "no clear message about the missing control:\n" + run.describe())
        check(run.probe[:1] == ["NoWindow"], "an empty window appeared: %r" % run.probe)
        self.assert_clean(run)

    def case_main_movie_missing(self):
        data = self.text_file("data.xml", "<data/>")
        ini = self.ini(mainmovie="absent.swf")
        exe = self.custom_package("show.exe", archive=self.zip_with_password("package.zip", [ini, data]))
        run = self.run(exe, wait_ms=3000)
        check(run.exit_code not in (None, 124, 137), "the player hung:\n" + run.describe())
        check(len(run.messages) == 1 and "absent.swf" in run.messages[0] and "cannot be opened" in run.messages[0],
              "no clear message:\n" + run.describe())
        check(run.probe[:1] == ["NoWindow"] and not run.log, "a window or movie:\n" + run.describe())
        self.assert_clean(run)

    def case_slideshow_without_swf(self):
        data = self.text_file("data.xml", "<data/>")
        ini = self.ini(mainmovie="", type_="slideshow")
        exe = self.custom_package("show.exe", archive=self.zip_with_password("package.zip", [ini, data]))
        run = self.run(exe, wait_ms=3000)
        check(run.exit_code not in (None, 124, 137), "the player hung:\n" + run.describe())
        check(len(run.messages) == 1 and "no SWF movie" in run.messages[0], "no clear message:\n" + run.describe())
        check(run.probe[:1] == ["NoWindow"] and not run.log, "a window or movie:\n" + run.describe())
        self.assert_clean(run)

    def case_no_archive_resource(self):
        exe = self.custom_package("show.exe", no_archive=True)
        run = self.run(exe, wait_ms=3000)
        check(run.exit_code not in (None, 124, 137), "the player hung:\n" + run.describe())
        # The system's text for the missing resource.
        check(len(run.messages) == 1 and "resource" in run.messages[0].lower(), "message:\n" + run.describe())
        check(run.probe[:1] == ["NoWindow"] and not run.log, "a window or movie:\n" + run.describe())
        self.assert_clean(run)


# Prints "<monotonic time> <n>" when the n-th LoadMovie line appears in a log.
WATCHER = r"""
import os, sys, time
path = sys.argv[1]
seen = 0
end = time.monotonic() + 60
while time.monotonic() < end:
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            n = sum(1 for line in f if line.startswith("LoadMovie "))
    except OSError:
        n = 0
    now = time.monotonic()
    while seen < n:
        seen += 1
        print("%.3f %d" % (now, seen), flush=True)
    time.sleep(0.02)
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--host-bin", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("case")
    args = parser.parse_args()
    cases = Cases(args)
    method = getattr(cases, "case_" + args.case, None)
    if method is None:
        sys.exit("unknown case " + args.case)
    cases.setup(args.case)
    try:
        method()
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e))
        sys.exit(1)
    print("ok %s" % args.case)


if __name__ == "__main__":
    main()
