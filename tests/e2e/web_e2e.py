#!/usr/bin/python3
"""The browser build of lister, end to end, in Debian's chromium.

The page is served by screen/back_ends/web/serve.py and opened in a
headless chromium of our own, driven over the DevTools protocol (Debian's
python3-websocket): keys are typed as real key events, the picture is read
back from the canvas, and the file lister writes arrives as the browser's
download. What the canvas shows is compared with the Linux build's
headless run of the same keys. A browser or a server that cannot start
fails the test: nothing here passes for want of a browser.

    LISTER_WEB_DIR=build-web LISTER_LINUX_BINARY=build/lister \\
        /usr/bin/python3 tests/e2e/web_e2e.py [group]

Groups: Page, Isolation. Screenshots of the page are kept in
LISTER_WEB_SHOTS when it is set.
"""

import base64
import hashlib
import itertools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import websocket

from waiting import STEP_SECONDS, waitFor

WEB_DIR = os.path.abspath(os.environ.get("LISTER_WEB_DIR", "") or "/nonexistent")
LINUX_LISTER = os.path.abspath(os.environ.get("LISTER_LINUX_BINARY", "") or "/nonexistent")
SHOTS = os.environ.get("LISTER_WEB_SHOTS", "")

# Debian's own programs: others of these names may come first on PATH.
CHROMIUM = "/usr/bin/chromium"
PYTHON = "/usr/bin/python3"
CONVERT = "/usr/bin/convert"
SERVE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "screen", "back_ends", "web", "serve.py")

WIDTH, HEIGHT = 800, 600
WINDOW_SIZE = (840, 800)  # the whole page: the canvas and the lines below it
CELL = 8
BACKGROUND = (0x00, 0x00, 0x44)
BAR = (0x00, 0x88, 0x00)
FRAME_TEXT = (0xAA, 0xEE, 0xAA)
BAR_ROWS = (3, 7, 67)
ELEMENTS_ROW, CHOICE_ROW = 4, 5
PROGRESS_ROW, CLOSING_ROW, REPORT_ROW = 68, 69, 70
SECONDS_COLUMN = 26  # row 70 from here on holds the run's own seconds
GRID_BYTES = 70 * CELL * WIDTH * 3  # the pixel lines of the grid, in a picture's bytes
WEB_FILE_PATH = " > RUTA: /lister/VSR_7-6.asc"

FINISHED = " > OK. TIEMPO INVERTIDO:  "
INTERRUPTED = re.compile(r" > PROCESO INTERRUMPIDO\. GENERADAS:  (\d+) combinaciones\. TIEMPO:  ")
ENDED = "lister ha terminado."

STARTUP_SECONDS = 30
LISTING_SECONDS = 300

# The keys by the names the browser gives them: their code and Windows
# virtual key code, which chromium wants with every key event.
NAMED_KEYS = {
    "Enter": ("Enter", 13), "Escape": ("Escape", 27), "Backspace": ("Backspace", 8), "Tab": ("Tab", 9),
    "ArrowLeft": ("ArrowLeft", 37), "Home": ("Home", 36), "End": ("End", 35), "Delete": ("Delete", 46),
}
ALT = 1  # the DevTools protocol's modifier bit

# Counts the tones the page plays, as the page's own oscillators start them.
TONE_SPY = """
window.listerTones = [];
const startTone = OscillatorNode.prototype.start, stopTone = OscillatorNode.prototype.stop;
OscillatorNode.prototype.start = function (when) { this.startedAt = when; return startTone.apply(this, arguments); };
OscillatorNode.prototype.stop = function (when) {
  window.listerTones.push([this.frequency.value, when - this.startedAt]);
  return stopTone.apply(this, arguments);
};
"""

# A band of the canvas as base64 RGBA; null while the page loads.
CANVAS_BAND = """(() => {
  const canvas = document.getElementById('screen');
  if (!canvas) return null;
  const bytes = canvas.getContext('2d').getImageData(0, %d, canvas.width, %d).data;
  let text = '';
  for (let at = 0; at < bytes.length; at += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
  return btoa(text);
})()"""


def stopProcess(process, group=False):
    if process and process.poll() is None:
        if group:
            os.killpg(process.pid, signal.SIGKILL)
        else:
            process.kill()
        process.wait(timeout=10)


def keepShot(path, name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        shutil.copy(path, os.path.join(SHOTS, name))


def expectedListing(n):
    """Every 6 of 1..n in lexicographic order, 12 digits and CR LF each,
    in pieces: all lines with the same first five numbers at a time."""
    labels = [b"%02d" % i for i in range(n + 1)]
    for first in itertools.combinations(range(1, n + 1), 5):
        prefix = b"".join(labels[e] for e in first)
        yield b"".join(prefix + labels[last] + b"\r\n" for last in range(first[-1] + 1, n + 1))


class Picture:
    """A band of pixel rows, as (red, green, blue), from the top line `top`."""

    def __init__(self, rgb, top=0, width=WIDTH):
        self.rgb, self.top, self.width = rgb, top, width

    @staticmethod
    def ofFile(path):
        rgb = subprocess.run([CONVERT, path, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                             timeout=STEP_SECONDS).stdout
        return Picture(rgb)

    def at(self, x, y):
        i = ((y - self.top) * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def cell(self, row, column):
        x0, y0 = (column - 1) * CELL, (row - 1) * CELL
        return tuple(self.at(x0 + dx, y0 + dy) for dy in range(CELL) for dx in range(CELL))

    def rowHas(self, row, colour):
        return any(pixel == colour for column in range(1, 101) for pixel in self.cell(row, column))

    def differingCells(self, other, rows, skip=lambda row, column: False):
        return [(row, column) for row in rows for column in range(1, 101)
                if not skip(row, column) and self.cell(row, column) != other.cell(row, column)]


def inkOf(cell):
    """Which pixels of a cell differ from its most common colour."""
    ground = max(set(cell), key=cell.count)
    return tuple(pixel != ground for pixel in cell)


class Glyphs:
    """Reads text off a picture, by the shapes the Linux build drew for the
    bytes its cells file names."""

    def __init__(self, picture, cells):
        self.shapes = {}
        for row in range(1, 71):
            for column in range(1, 101):
                self.shapes.setdefault(inkOf(picture.cell(row, column)), chr(cells[row][column - 1]))

    def text(self, picture, row):
        return "".join(self.shapes.get(inkOf(picture.cell(row, column)), "?") for column in range(1, 101))


def frameDrawn(picture):
    """The frame of the dialogue: blue ground, three green bars, the title."""
    bars = all(picture.at(x, (row - 1) * CELL + 4) == BAR for row in BAR_ROWS for x in (0, 400, 799))
    return bars and picture.at(400, 300) == BACKGROUND and picture.rowHas(1, FRAME_TEXT)


def linuxRun(keys):
    """The Linux build's headless run of the same keys: its last picture and
    its cells, rows 1-70 (index 0 empty)."""
    folder = tempfile.mkdtemp(prefix="lister-web-linux-")
    try:
        shot, cellsPath = os.path.join(folder, "final.png"), os.path.join(folder, "cells.txt")
        env = {k: v for k, v in os.environ.items() if not k.startswith("LISTER_")}
        env.update(LISTER_SCREEN="headless", LISTER_SCREENSHOT=shot, LISTER_CELLS=cellsPath)
        subprocess.run([LINUX_LISTER], input=keys, env=env, check=True, capture_output=True, timeout=STEP_SECONDS,
                       cwd=folder)
        with open(cellsPath, "rb") as f:
            data = f.read()
        return Picture.ofFile(shot), [b""] + [data[at:at + 100] for at in range(0, len(data), 101)]
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class Server:
    """serve.py on a free port of its own."""

    def __init__(self, plain=False):
        command = [PYTHON, SERVE, WEB_DIR, "--port", "0"] + (["--plain"] if plain else [])
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.process.stdout.readline().decode()
        if not line.startswith("lister: http://127.0.0.1:"):
            stopProcess(self.process)
            raise AssertionError("serve.py did not start: %s%s" % (line, self.process.stderr.read().decode()))
        self.address = line.split()[-1]

    def stop(self):
        stopProcess(self.process)
        self.process.stdout.close()
        self.process.stderr.close()


class Browser:
    """A headless chromium with a fresh profile, and its DevTools connection."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="lister-chromium-")
        self.downloads = os.path.join(self.profile, "downloads")
        self.log = open(os.path.join(self.profile, "chromium.log"), "wb")
        self.events = []
        self.lastId = 0
        self.socket = None
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + self.profile, "--window-size=%d,%d" % WINDOW_SIZE,
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, start_new_session=True)
        try:
            port, path = waitFor("chromium's DevTools port", self._devToolsPort, STARTUP_SECONDS)
            self.socket = websocket.create_connection("ws://127.0.0.1:%s%s" % (port, path), suppress_origin=True,
                                                      timeout=STEP_SECONDS)
            self.call("Browser.setDownloadBehavior",
                      {"behavior": "allow", "downloadPath": self.downloads, "eventsEnabled": True})
        except BaseException:
            self.stop()
            raise

    def _devToolsPort(self):
        if self.process.poll() is not None:
            raise AssertionError("chromium ended at once: " + self.chromiumLog())
        try:
            with open(os.path.join(self.profile, "DevToolsActivePort")) as f:
                lines = f.read().split()
        except FileNotFoundError:
            return None
        return lines if len(lines) == 2 else None

    def chromiumLog(self):
        with open(os.path.join(self.profile, "chromium.log"), "rb") as f:
            return f.read().decode(errors="replace")[-4000:]

    def send(self, method, params=None, session=None):
        self.lastId += 1
        message = {"id": self.lastId, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.socket.send(json.dumps(message))
        return self.lastId

    def receive(self, seconds):
        """The next message, or None when none comes within the time."""
        self.socket.settimeout(max(seconds, 0.001))
        try:
            return json.loads(self.socket.recv())
        except websocket.WebSocketTimeoutException:
            return None

    def reply(self, messageId):
        deadline = time.monotonic() + STEP_SECONDS
        while time.monotonic() < deadline:
            message = self.receive(deadline - time.monotonic())
            if message is None:
                break
            if message.get("id") == messageId:
                if "error" in message:
                    raise AssertionError("DevTools: %s" % message["error"])
                return message.get("result", {})
            self.events.append(message)
        raise AssertionError("chromium did not answer message %d" % messageId)

    def call(self, method, params=None, session=None):
        return self.reply(self.send(method, params, session))

    def event(self, what, test, seconds=STEP_SECONDS):
        """Waits for an event that passes the test, and takes it."""
        deadline = time.monotonic() + seconds
        while True:
            for event in self.events:
                if test(event):
                    self.events.remove(event)
                    return event
            message = self.receive(deadline - time.monotonic())
            if message is None:
                raise AssertionError("timed out after %s s waiting for %s" % (seconds, what))
            self.events.append(message)

    def download(self, name, seconds=STEP_SECONDS):
        """The path of the download of that name, once it has completed."""
        begun = self.event("the download of " + name, lambda e: e.get("method") == "Browser.downloadWillBegin" and
                           e["params"]["suggestedFilename"] == name, seconds)
        guid = begun["params"]["guid"]
        done = self.event("the download of %s to end" % name,
                          lambda e: e.get("method") == "Browser.downloadProgress" and e["params"]["guid"] == guid
                          and e["params"]["state"] != "inProgress", seconds)
        if done["params"]["state"] != "completed":
            raise AssertionError("the download of %s was %s" % (name, done["params"]["state"]))
        return os.path.join(self.downloads, name)

    def stop(self):
        if self.socket:
            self.socket.close()
        stopProcess(self.process, group=True)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)


class Tab:
    """One page of the browser, showing lister."""

    def __init__(self, browser, url, script=""):
        """Opens the url; the script runs in every document the tab loads."""
        self.browser = browser
        self.target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = browser.call("Target.attachToTarget", {"targetId": self.target, "flatten": True})["sessionId"]
        self.call("Runtime.enable")
        self.call("Page.enable")
        if script:
            self.call("Page.addScriptToEvaluateOnNewDocument", {"source": script})
        self.call("Page.navigate", {"url": url})

    def call(self, method, params=None):
        return self.browser.call(method, params, self.session)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise AssertionError("the page failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def errors(self):
        """What the page reported on its console."""
        lines = []
        for event in self.browser.events:
            if event.get("sessionId") == self.session and event.get("method") == "Runtime.exceptionThrown":
                lines.append(json.dumps(event["params"]["exceptionDetails"])[:500])
            elif event.get("sessionId") == self.session and event.get("method") == "Runtime.consoleAPICalled":
                lines.append(" ".join(str(a.get("value", a.get("description", ""))) for a in event["params"]["args"]))
        return "\n".join(lines)

    def status(self):
        return self.evaluate("document.getElementById('status')?.textContent")

    def picture(self, firstRow=1, lastRow=75):
        top, height = (firstRow - 1) * CELL, min((lastRow - firstRow + 1) * CELL, HEIGHT - (firstRow - 1) * CELL)
        band = self.evaluate(CANVAS_BAND % (top, height))
        if band is None:
            return None
        rgba = base64.b64decode(band)
        rgb = bytearray(len(rgba) // 4 * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
        return Picture(bytes(rgb), top)

    def showing(self, what, test, seconds=STEP_SECONDS, firstRow=1, lastRow=75):
        """Waits until the canvas passes the test; returns that picture."""
        def check():
            picture = self.picture(firstRow, lastRow)
            return picture if picture and test(picture) else None
        try:
            return waitFor(what, check, seconds)
        except AssertionError as failure:
            raise AssertionError("%s; the page says %r\n%s" % (failure, self.status(), self.errors()))

    def keys(self, *keys, modifiers=0, together=False):
        """Types the keys: names of NAMED_KEYS, or texts typed a character at
        a time. Together, they reach the page in one burst of events."""
        events = []
        for key in keys:
            for name in ([key] if key in NAMED_KEYS else list(key)):
                events += keyEvents(name, modifiers)
        if together:
            sent = [self.browser.send("Input.dispatchKeyEvent", event, self.session) for event in events]
            for messageId in sent:
                self.browser.reply(messageId)
        else:
            for event in events:
                self.call("Input.dispatchKeyEvent", event)

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", {"format": "png"})["data"]))

    def close(self):
        self.browser.call("Target.closeTarget", {"targetId": self.target})


def keyEvents(name, modifiers):
    """A key's press and release as chromium's Input.dispatchKeyEvent takes them."""
    if name in NAMED_KEYS:
        code, virtualKey = NAMED_KEYS[name]
        text = "\r" if name == "Enter" and not modifiers else ""
    else:
        code = ("Key" + name.upper()) if name.isalpha() else ("Digit" + name) if name.isdigit() else ""
        virtualKey, text = ord(name.upper()), name
    press = {"type": "keyDown" if text else "rawKeyDown", "key": name, "code": code,
             "windowsVirtualKeyCode": virtualKey, "modifiers": modifiers}
    if text:
        press.update(text=text, unmodifiedText=text)
    release = {"type": "keyUp", "key": name, "code": code, "windowsVirtualKeyCode": virtualKey, "modifiers": modifiers}
    return [press, release]


class Page(unittest.TestCase):
    """lister on a page served with the isolation headers."""

    @classmethod
    def setUpClass(cls):
        # The Linux build's run first: nothing is left running when it fails.
        cls.linuxPicture, cls.linuxCells = linuxRun(b"10\rP\r")
        cls.glyphs = Glyphs(cls.linuxPicture, cls.linuxCells)
        cls.server = Server()
        try:
            cls.browser = Browser()
        except BaseException:
            cls.server.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.browser.stop()
        cls.server.stop()

    def start(self, script=""):
        tab = Tab(self.browser, self.server.address, script)
        self.addCleanup(tab.close)
        tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
        return tab

    def text(self, picture, row):
        return self.glyphs.text(picture, row)

    def waitEnded(self, tab):
        waitFor("the page to say lister has ended", lambda: tab.status() == ENDED)
        self.assertTrue(tab.evaluate("!document.getElementById('again').hidden"))

    def test_a_screen_listing_shows_the_picture_of_the_linux_build(self):
        tab = self.start()
        self.assertEqual(tab.evaluate("document.title"), "lister")
        tab.keys("10", "Enter", "P", "Enter")
        tab.showing("the end of the listing", lambda p: self.text(p, REPORT_ROW).startswith(FINISHED))

        # Every cell as the Linux build drew it, but for the seconds, and the
        # lines below the grid.
        def differences(picture):
            return picture.differingCells(self.linuxPicture, range(1, 71),
                                          lambda row, column: row == REPORT_ROW and column >= SECONDS_COLUMN) + \
                ([] if picture.rgb[GRID_BYTES:] == self.linuxPicture.rgb[GRID_BYTES:] else ["below the grid"])
        try:
            tab.showing("the Linux build's last picture", lambda p: not differences(p))
        except AssertionError:
            self.assertEqual(differences(tab.picture()), [])
            raise
        path = os.path.join(self.browser.profile, "web.png")
        tab.screenshot(path)
        keepShot(path, "web.png")

        # The last key ends lister; the page says so and runs it again.
        tab.keys("x")
        self.waitEnded(tab)
        tab.keys("Enter")  # on the button
        tab.showing("the frame of the dialogue again", lambda p: frameDrawn(p) and
                    not self.text(p, REPORT_ROW).strip(), STARTUP_SECONDS)
        self.assertEqual(tab.status(), "")

    def test_a_file_listing_is_downloaded(self):
        tab = self.start(TONE_SPY)
        # Alt+Enter switches the canvas to full screen and back.
        tab.keys("Enter", modifiers=ALT)
        waitFor("full screen", lambda: tab.evaluate("document.fullscreenElement === document.getElementById('screen')"))
        tab.keys("Enter", modifiers=ALT)
        waitFor("the page again", lambda: tab.evaluate("document.fullscreenElement === null"))
        # Delete on an empty answer beeps: 1000 Hz for 250 ms.
        tab.keys("Delete")
        waitFor("a tone", lambda: tab.evaluate("window.listerTones.length") == 1)
        hertz, seconds = tab.evaluate("window.listerTones[0]")
        self.assertEqual((hertz, round(seconds, 6)), (1000, 0.25))

        tab.keys("7", "Enter", "G", "Enter")
        with open(self.browser.download("VSR_7-6.asc"), "rb") as f:
            self.assertEqual(f.read(), b"".join(expectedListing(7)))
        # The path shown is the file's path in the page's file system.
        shown = tab.showing("the closing lines", lambda p: self.text(p, CLOSING_ROW).rstrip() == WEB_FILE_PATH)
        self.assertEqual(self.text(shown, PROGRESS_ROW).rstrip(), " > ARCHIVO GENERADO: VSR_7-6.asc")
        self.assertTrue(self.text(shown, REPORT_ROW).startswith(FINISHED))
        self.assertEqual(tab.evaluate("document.querySelector('#file a').download"), "VSR_7-6.asc")
        tab.keys(" ")
        self.waitEnded(tab)

    def test_escape_stops_a_listing_at_a_multiple_of_1024(self):
        tab = self.start()
        tab.keys("49", "Enter", "P", "Enter")
        tab.showing("the listing under way", lambda p: re.match(r" > GENERADAS:  [1-9]", self.text(p, PROGRESS_ROW)),
                    firstRow=PROGRESS_ROW, lastRow=PROGRESS_ROW)
        tab.keys("Escape")
        shown = tab.showing("the report of the interrupted listing",
                            lambda p: INTERRUPTED.match(self.text(p, REPORT_ROW)), LISTING_SECONDS)
        count = int(INTERRUPTED.match(self.text(shown, REPORT_ROW)).group(1))
        self.assertEqual(count % 1024, 0, count)
        self.assertTrue(0 < count < 13983816, count)
        tab.keys("Enter")
        self.waitEnded(tab)

    def test_keys_typed_ahead_edit_the_answers_and_stop_the_listing_at_1024(self):
        tab = self.start()
        # A refused answer, then 19 made 49 with Home and Delete, an 8 typed
        # and taken back with Backspace, a 5 with Left and Delete; ESC, the
        # 16th key, one past what the key queue holds, waits for the listing.
        tab.keys("5", "Enter", "19", "Home", "Delete", "8", "Backspace", "4", "5", "ArrowLeft", "Delete", "Enter",
                 "P", "Enter", "Escape", together=True)
        shown = tab.showing("the report of the interrupted listing",
                            lambda p: INTERRUPTED.match(self.text(p, REPORT_ROW)), LISTING_SECONDS)
        self.assertTrue(self.text(shown, ELEMENTS_ROW).rstrip().endswith("(7-49): 49"), self.text(shown, ELEMENTS_ROW))
        self.assertTrue(self.text(shown, CHOICE_ROW).rstrip().endswith(": P"), self.text(shown, CHOICE_ROW))
        self.assertEqual(INTERRUPTED.match(self.text(shown, REPORT_ROW)).group(1), "1024")
        tab.keys("Enter")
        self.waitEnded(tab)

    def test_the_whole_n49_file_is_downloaded_byte_exact(self):
        tab = self.start()
        tab.keys("49", "Enter", "G", "Enter")
        path = self.browser.download("VSR_49-6.asc", LISTING_SECONDS)
        expected = hashlib.sha256()
        for piece in expectedListing(49):
            expected.update(piece)
        got = hashlib.sha256()
        with open(path, "rb") as f:
            for piece in iter(lambda: f.read(1 << 20), b""):
                got.update(piece)
        self.assertEqual(os.path.getsize(path), 195773424)
        self.assertEqual(got.hexdigest(), expected.hexdigest())
        os.remove(path)
        tab.keys("Enter")
        self.waitEnded(tab)


class Isolation(unittest.TestCase):
    """A host that sends no isolation headers: the page's service worker
    adds them, and lister runs after one reload."""

    def test_the_service_worker_makes_the_page_isolated(self):
        server = Server(plain=True)
        self.addCleanup(server.stop)
        browser = Browser()
        self.addCleanup(browser.stop)
        tab = Tab(browser, server.address)
        tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
        self.assertTrue(tab.evaluate("crossOriginIsolated && navigator.serviceWorker.controller !== null"))


if __name__ == "__main__":
    for name, path in (("LISTER_WEB_DIR", os.path.join(WEB_DIR, "lister.js")), ("LISTER_LINUX_BINARY", LINUX_LISTER)):
        if not os.path.isfile(path):
            sys.exit("%s must name the built page and program; %s is missing" % (name, path))
    for path, package in ((CHROMIUM, "chromium"), (CONVERT, "imagemagick")):
        if not os.access(path, os.X_OK):
            sys.exit("%s is missing; install the Debian package %s" % (path, package))
    unittest.main(verbosity=2)
