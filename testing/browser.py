#!/usr/bin/env python3
"""A small driver for Debian's headless Chromium over the DevTools protocol, on Python's
standard library alone (the websocket is spoken by hand), and a static file server
bound to 127.0.0.1. Test equipment for the web export, and the demo's screenshot.

    with Browser(profile_dir) as browser:
        page = browser.page
        page.navigate("http://127.0.0.1:8000/")
        page.wait_for("document.body.dataset.state === 'playing'", 60)
        png = page.screenshot()

Command line (the demo's screenshot):

    browser.py screenshot URL_OR_FILE OUT.png [--wait-js EXPR] [--timeout S]
               [--width W --height H] [--serve FOLDER]

With --serve FOLDER the folder is served from 127.0.0.1 and URL_OR_FILE is a path
inside it; otherwise a file path is opened as a file:// URL.
"""

import argparse
import base64
import functools
import http.server
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import zlib

CHROMIUM_FLAGS = [
    "--headless=new",
    "--no-sandbox",  # we run as root in CI; Chromium refuses to start sandboxed as root
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--no-first-run",
    "--disable-quic",
    "--disable-default-apps",
    "--disable-extensions",
    "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader",
    "--autoplay-policy=no-user-gesture-required",
    "--mute-audio",
    "--remote-debugging-port=0",
    "--remote-allow-origins=*",
]


class BrowserMissing(RuntimeError):
    pass


def find_chromium():
    """Debian's Chromium, or the program VX_CHROMIUM names; BrowserMissing when absent."""
    candidates = [os.environ.get("VX_CHROMIUM"), "/usr/bin/chromium", shutil.which("chromium")]
    for c in candidates:
        if c and os.path.isfile(c) and os.access(c, os.X_OK):
            return c
    raise BrowserMissing("chromium is not installed (Debian's package 'chromium'; "
                         "scripts/bootstrap.sh installs it)")


# ---- websocket (RFC 6455), client side, just what the DevTools protocol needs ----------

class WebSocket:
    def __init__(self, url, timeout=30):
        parts = urllib.parse.urlsplit(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        path = parts.path + ("?" + parts.query if parts.query else "")
        request = ("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                   % (path, parts.hostname, parts.port, key))
        self.sock.sendall(request.encode())
        response = b""
        while b"\r\n\r\n" not in response:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("the websocket handshake was cut off")
            response += chunk
        head, self.buffer = response.split(b"\r\n\r\n", 1)
        if not head.startswith(b"HTTP/1.1 101"):
            raise ConnectionError("websocket handshake refused: %r" % head[:200])

    def _exact(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(max(65536, n - len(self.buffer)))
            if not chunk:
                raise ConnectionError("the browser closed the connection")
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def send(self, text):
        payload = text.encode()
        header = bytearray([0x81])  # FIN, text
        n = len(payload)
        if n < 126:
            header.append(0x80 | n)
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(bytes(header) + mask + masked)

    def _control(self, opcode, payload):
        mask = os.urandom(4)
        self.sock.sendall(bytes([0x80 | opcode, 0x80 | len(payload)]) + mask +
                          bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def receive(self):
        """The next whole text message (fragments joined; pings answered)."""
        message = b""
        while True:
            b0, b1 = self._exact(2)
            opcode, n = b0 & 0x0F, b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._exact(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._exact(8))[0]
            mask = self._exact(4) if b1 & 0x80 else None
            payload = self._exact(n)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            if opcode == 0x9:
                self._control(0xA, payload)
                continue
            if opcode == 0x8:
                raise ConnectionError("the browser closed the websocket")
            if opcode in (0x0, 0x1, 0x2):
                message += payload
                if b0 & 0x80:
                    return message.decode()

    def settimeout(self, seconds):
        self.sock.settimeout(seconds)

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


# ---- the page ----------------------------------------------------------------------------

class PageError(RuntimeError):
    pass


class Page:
    """One tab. Events are kept in self.events (method, params); console messages of the
    page also go to self.console as text."""

    def __init__(self, ws_url):
        self.ws = WebSocket(ws_url)
        self.next_id = 0
        self.events = []
        self.console = []
        self.send("Runtime.enable")
        self.send("Page.enable")

    def send(self, method, params=None, timeout=60):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params or {}}))
        deadline = time.monotonic() + timeout
        while True:
            self.ws.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                message = json.loads(self.ws.receive())
            except socket.timeout:
                raise PageError("no answer to %s within %s s" % (method, timeout))
            if message.get("id") == my_id:
                if "error" in message:
                    raise PageError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            if "method" in message:
                self._event(message["method"], message.get("params", {}))

    def _event(self, method, params):
        self.events.append((method, params))
        if method == "Runtime.consoleAPICalled":
            texts = []
            for a in params.get("args", []):
                texts.append(str(a.get("value", a.get("description", ""))))
            self.console.append(" ".join(texts))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.console.append("exception: " + str(details.get("exception", {}).get("description",
                                                                                        details.get("text"))))

    def evaluate(self, expression, timeout=60):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, timeout=timeout)
        if "exceptionDetails" in result:
            raise PageError("%s: %s" % (expression, result["exceptionDetails"].get("text")))
        return result.get("result", {}).get("value")

    def navigate(self, url):
        self.send("Page.navigate", {"url": url})

    def wait_for(self, expression, timeout, what=None, poll=0.1):
        """Polls until the expression is truthy; returns its value. PageError on time-out,
        with the page's state and console in the message."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                value = self.evaluate(expression)
            except PageError:  # the page is still loading, or navigating
                value = None
            if value:
                return value
            if time.monotonic() > deadline:
                raise PageError("waited %s s for %s; state %s; console:\n  %s" % (
                    timeout, what or expression, self.state(), "\n  ".join(self.console[-20:])))
            time.sleep(poll)

    def state(self):
        try:
            return self.evaluate("JSON.stringify(Object.assign({}, document.body ? document.body.dataset : {}))")
        except PageError as e:
            return str(e)

    def screenshot(self, clip=None):
        params = {"format": "png"}
        if clip:
            x, y, w, h = clip
            params["clip"] = {"x": x, "y": y, "width": w, "height": h, "scale": 1}
        return base64.b64decode(self.send("Page.captureScreenshot", params, timeout=120)["data"])

    def key(self, key, code=None, key_code=0):
        for kind in ("keyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": code or key,
                                                 "windowsVirtualKeyCode": key_code,
                                                 "nativeVirtualKeyCode": key_code})

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                   "clickCount": 1})

    def close(self):
        self.ws.close()


class Browser:
    """Chromium with a profile folder of its own (made inside `scratch`), one page."""

    def __init__(self, scratch, width=1024, height=768):
        self.program = find_chromium()
        self.profile = tempfile.mkdtemp(prefix="chromium profile.", dir=scratch)
        self.log = open(os.path.join(self.profile, "..", os.path.basename(self.profile) + ".log"), "wb")
        self.process = subprocess.Popen(
            [self.program] + CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile,
                                               "--window-size=%d,%d" % (width, height), "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            port = self._port(60)
            targets = []
            deadline = time.monotonic() + 30
            while not targets:
                with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=10) as r:
                    targets = [t for t in json.load(r) if t.get("type") == "page"]
                if not targets and time.monotonic() > deadline:
                    raise PageError("Chromium shows no page")
                time.sleep(0.1)
            self.page = Page(targets[0]["webSocketDebuggerUrl"])
        except BaseException:
            self.close()
            raise

    def _port(self, timeout):
        marker = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise PageError("Chromium ended at start with status %s" % self.process.returncode)
            try:
                with open(marker) as f:
                    first = f.readline().strip()
                if first:
                    return int(first)
            except (OSError, ValueError):
                pass
            time.sleep(0.1)
        raise PageError("Chromium did not open its DevTools port within %s s" % timeout)

    def close(self):
        page = getattr(self, "page", None)
        if page:
            page.close()
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, 15)
            except OSError:
                pass
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, 9)
                self.process.wait()
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# ---- serving a folder ----------------------------------------------------------------------

class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript", ".swf":
                             "application/x-shockwave-flash"})

    def log_message(self, *args):
        pass


class StaticServer:
    """Serves `folder` on 127.0.0.1 at a free port, on a thread, until closed."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def file_url(path):
    return "file://" + urllib.parse.quote(os.path.abspath(path))


# ---- PNG, read back for pixel checks ----------------------------------------------------------

def decode_png(data):
    """(width, height, rows): rows of (r, g, b) tuples. 8-bit RGB or RGBA, not interlaced:
    what Chromium's screenshots are."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("unsupported PNG layout")
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + n
    raw = zlib.decompress(idat)
    bpp = 4 if colour == 6 else 3
    stride = width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        kind, line = raw[base], bytearray(raw[base + 1:base + 1 + stride])
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = previous[i]
                c = previous[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        previous = line
    return width, height, rows


# ---- command line --------------------------------------------------------------------------------

def main(argv=None):
    p = argparse.ArgumentParser(prog="browser.py")
    sub = p.add_subparsers(dest="command", required=True)
    s = sub.add_parser("screenshot", help="open a page, wait, save a PNG of it")
    s.add_argument("target")
    s.add_argument("output")
    s.add_argument("--serve", metavar="FOLDER")
    s.add_argument("--wait-js", default="document.readyState === 'complete'")
    s.add_argument("--timeout", type=float, default=90)
    s.add_argument("--width", type=int, default=1024)
    s.add_argument("--height", type=int, default=768)
    a = p.parse_args(argv)

    scratch = tempfile.mkdtemp(prefix="vx browser.")
    server = None
    try:
        if a.serve:
            server = StaticServer(a.serve)
            url = server.url + urllib.parse.quote(a.target)
        else:
            url = file_url(a.target)
        with Browser(scratch, a.width, a.height) as browser:
            browser.page.navigate(url)
            browser.page.wait_for(a.wait_js, a.timeout)
            png = browser.page.screenshot()
        with open(a.output, "wb") as f:
            f.write(png)
    except (BrowserMissing, PageError, OSError) as e:
        print("browser.py: %s" % e, file=sys.stderr)
        return 2
    finally:
        if server:
            server.close()
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
