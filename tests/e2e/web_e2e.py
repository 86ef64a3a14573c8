#!/usr/bin/python3
"""The browser build of lister, end to end, in Debian's chromium.

The page is served by screen/back_ends/web/serve.py and opened in a
headless chromium of our own, driven over the DevTools protocol (Debian's
python3-websocket; web_driver.py does both): keys are typed as real key events, the picture is read
back from the canvas, and the file lister writes arrives as the browser's
download. What the canvas shows is compared with the Linux build's
headless run of the same keys. A phone is a tab of a phone's size with a
touch screen, typed at as its on-screen keyboard types. A browser or a
server that cannot start fails the test: nothing here passes for want of
a browser.

    LISTER_WEB_DIR=build-web LISTER_LINUX_BINARY=build/lister \\
        /usr/bin/python3 tests/e2e/web_e2e.py [group]

Groups: Page, Offline, Isolation. Screenshots of the page are kept in
LISTER_WEB_SHOTS when it is set.
"""

import hashlib
import json
import os
import re
import sys
import unittest

from harness import (CELL, CHOICE_ROW, CLOSING_ROW, CONVERT, ELEMENTS_ROW, FINISHED, LINUX_LISTER, PROGRESS_ROW,
                     REPORT_ROW, STARTUP_SECONDS, TOTAL_ROW, WIDTH, expectedListing, frameDrawn, keepShot, linuxRun,
                     waitFor)
from web_driver import ALT, CHROMIUM, PHONE, WEB_DIR, Browser, Glyphs, Peak, Server, Tab

SHOTS = os.environ.get("LISTER_WEB_SHOTS", "")

SECONDS_COLUMN = 26  # row 70 from here on holds the run's own seconds
PROMPT_LENGTH = 57  # a question, before its answer
GRID_BYTES = 70 * CELL * WIDTH * 3  # the pixel lines of the grid, in a picture's bytes
WEB_FILE_PATH = " > RUTA: /lister/VSR_7-6.asc"

INTERRUPTED = re.compile(r" > PROCESO INTERRUMPIDO\. GENERADAS:  (\d+) combinaciones\. TIEMPO:  ")
ENDED = "lister ha terminado."

LISTING_SECONDS = 300
MEMORY_TARGET = 100 * 2**20  # the n = 49 file listing, above the first question
QUOTA = 2 * 2**20  # far less than the n = 30 file's 8,312,850 bytes
# A disk that fails past `limit` bytes of the file, in an engine that
# refuses shared memory to write from or not.
FAILING_DISK = """
const refused = %s, limit = %d, diskWrite = FileSystemSyncAccessHandle.prototype.write;
FileSystemSyncAccessHandle.prototype.write = function (buffer, options) {
  if (refused && buffer.buffer instanceof SharedArrayBuffer) throw new TypeError('shared memory');
  if (options.at + buffer.byteLength > limit) throw new DOMException('failed', 'InvalidStateError');
  return diskWrite.call(this, buffer, options);
};"""
WRITE_FAILED = " > ERROR AL ESCRIBIR EL ARCHIVO: /lister/VSR_30-6.asc  ERR= 3"
COUNTED = re.compile(r" > GENERADAS:  (\d+) / ")
DROPPED = re.compile(r"Se han descartado ([\d.]+) teclas")
FOLD_MARK = (0xA0, 0xA0, 0xA0)  # the dots of a column folded away
# What the pages of the origin hold in its private file system: folder/file.
PRIVATE_FILES = """(async () => {
  const paths = [];
  for await (const [name, folder] of (await navigator.storage.getDirectory()).entries())
    for await (const file of folder.keys()) paths.push(name + '/' + file);
  return paths;
})()"""
# A browser whose file worker has no private file system to write into.
NO_PRIVATE_FILES = "delete FileSystemFileHandle.prototype.createSyncAccessHandle;"

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

    def start(self, script="", **options):
        tab = Tab(self.browser, self.server.address, script, **options)
        self.addCleanup(tab.close)
        tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
        return tab

    def text(self, picture, row):
        return self.glyphs.text(picture, row)

    def said(self, text):
        """A row's text as a screen reader is told it: without the ">" that
        starts it, blanks run together."""
        return " ".join(text.split()).removeprefix("> ")

    def saidInRowOrder(self, tab, lines):
        """The live region says these lines once each, in this order (other
        lines may come between them), and says no line twice."""
        said = waitFor("the last line said", lambda: lines[-1] in tab.spoken() and tab.spoken())
        self.assertEqual(len(said), len(set(said)), said)
        self.assertEqual([line for line in said if line in lines], lines, said)

    def waitEnded(self, tab):
        waitFor("the page to say lister has ended", lambda: tab.status() == ENDED)
        self.assertTrue(tab.evaluate("!document.getElementById('again').hidden"))

    def showsTheLinuxPicture(self, tab):
        """Every cell as the Linux build drew it after 10 P, but for the
        seconds, and the lines below the grid."""
        def differences(picture):
            return picture.differingCells(self.linuxPicture, range(1, 71),
                                          lambda row, column: row == REPORT_ROW and column >= SECONDS_COLUMN) + \
                ([] if picture.rgb[GRID_BYTES:] == self.linuxPicture.rgb[GRID_BYTES:] else ["below the grid"])
        try:
            tab.showing("the Linux build's last picture", lambda p: not differences(p))
        except AssertionError:
            self.assertEqual(differences(tab.picture()), [])
            raise

    def test_a_screen_listing_shows_the_picture_of_the_linux_build(self):
        tab = self.start()
        self.assertEqual(tab.evaluate("document.title"), "lister")
        tab.keys("10", "Enter")
        shown = tab.showing("the second question", lambda p: self.text(p, CHOICE_ROW).strip())
        first, second = (self.said(self.text(shown, row)[:PROMPT_LENGTH]) for row in (ELEMENTS_ROW, CHOICE_ROW))
        waitFor("the field named after it", lambda: ("textbox", second) in tab.accessible())
        tab.keys("P", "Enter")
        tab.showing("the end of the listing", lambda p: self.text(p, REPORT_ROW).startswith(FINISHED))
        self.showsTheLinuxPicture(tab)
        # Said once each, as the rows show them: the questions, the answers
        # as given, the total, then the final count, the hint and the report.
        shown = tab.picture()
        lines = [self.said(self.text(shown, row)) for row in (TOTAL_ROW, PROGRESS_ROW, CLOSING_ROW, REPORT_ROW)]
        self.saidInRowOrder(tab, [first, "10", second, "P"] + lines)
        self.assertIn(("textbox", second), tab.accessible())  # named while lister runs
        path = os.path.join(self.browser.profile, "web.png")
        tab.screenshot(path)
        keepShot(path, "web.png", SHOTS)

        # The last key ends lister; the page says so and runs it again.
        tab.keys("x")
        self.waitEnded(tab)
        tab.keys("Enter")  # on the button
        tab.showing("the frame of the dialogue again", lambda p: frameDrawn(p) and
                    not self.text(p, REPORT_ROW).strip(), STARTUP_SECONDS)
        self.assertEqual(tab.status(), "")

    def test_a_file_listing_is_downloaded_from_memory_and_read_out(self):
        # Without a private file system the file worker holds the file.
        tab = self.start(TONE_SPY, fileWorkerScript=NO_PRIVATE_FILES)
        # The question names the field that takes the keys; the canvas is
        # not there for a screen reader.
        question = ("textbox", "NUMERO DE ELEMENTOS A COMBINAR EN GRUPOS DE 6 (7-49):")
        waitFor("the question in the accessibility tree", lambda: question in tab.accessible())
        self.assertNotIn("canvas", [role for role, name in tab.accessible()])
        # Alt+Enter switches the canvas to full screen and back.
        tab.keys("Enter", modifiers=ALT)
        waitFor("full screen", lambda: tab.evaluate("document.fullscreenElement?.id === 'picture'"))
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
        self.assertFalse([path for path in tab.evaluate(PRIVATE_FILES) if path.endswith("/VSR_7-6.asc")])
        # Said as it was read, in row order: the total and the file's name,
        # then the final count, which the closing lines cover, the closing
        # lines and the report; every row on the button's demand.
        lines = [self.said(self.text(shown, row)) for row in (TOTAL_ROW, PROGRESS_ROW, CLOSING_ROW, REPORT_ROW)]
        self.saidInRowOrder(tab, [question[1], "7", lines[0], "GENERADAS: 7 / 7"] + lines[1:])
        # Tab leaves the field for the link, and on to the button.
        tab.keys("Tab")
        self.assertEqual(tab.evaluate("document.activeElement.download"), "VSR_7-6.asc")
        tab.keys("Tab", "Enter")
        waitFor("the rows as text", lambda: tab.evaluate("document.getElementById('rows').textContent"))
        rows = tab.evaluate("document.getElementById('rows').textContent").split("\n")
        self.assertEqual(rows[CLOSING_ROW - 1], WEB_FILE_PATH)
        self.assertEqual(len(rows), 70)
        tab.call("Runtime.evaluate", {"expression": "document.getElementById('keys').focus()"})
        tab.keys(" ")
        self.waitEnded(tab)

    def test_a_phone_lists_what_its_keyboard_types_as_the_linux_build_does(self):
        tab = self.start(phone=True)
        # Upright, the phone has no room for the whole picture at its own
        # size: the view shows part of the grid at it, 8 CSS px a cell,
        # across the screen's width; the key bar's keys a finger's size.
        left, width = tab.evaluate("(r => [r.left, r.width])(document.getElementById('view').getBoundingClientRect())")
        self.assertTrue(0 <= left and left + width <= PHONE["width"], (left, width))
        self.assertGreaterEqual(width, tab.evaluate("document.getElementById('view').width"))
        self.assertGreaterEqual(tab.evaluate("Math.min(...[...document.querySelectorAll('#keyBar button')]"
                                             ".map(b => Math.min(b.offsetWidth, b.offsetHeight)))"), 44)
        # The first question's answer, where the input mark stands, is in view.
        first, columns, _, _, *rows = map(int, tab.evaluate("viewShown").split(","))
        self.assertTrue(ELEMENTS_ROW in rows and first <= PROMPT_LENGTH + 1 < first + columns, (first, columns, rows))
        tab.call("Runtime.evaluate", {"expression": "document.activeElement.blur()"})
        tab.tap("#picture")
        self.assertEqual(tab.evaluate("document.activeElement.id"), "keys")
        tab.insertText("10")
        tab.tap("[data-key=Enter]")
        tab.insertText("P")
        tab.tap("[data-key=Enter]")
        tab.showing("the end of the listing", lambda p: self.text(p, REPORT_ROW).startswith(FINISHED))
        self.showsTheLinuxPicture(tab)
        # The view's cells are the Linux build's where it lays them out, with
        # the dialogue's and the outcome's rows; a folded edge is dotted.
        first, columns, left, right, *rows = map(int, tab.evaluate("viewShown").split(","))
        self.assertTrue({ELEMENTS_ROW, CHOICE_ROW, TOTAL_ROW, PROGRESS_ROW, CLOSING_ROW, REPORT_ROW} <= set(rows))
        view = tab.picture(canvas="view")
        for at, row in enumerate(rows, 1):
            for column in range(first, first + columns):
                if row and (row != REPORT_ROW or column < SECONDS_COLUMN):
                    self.assertEqual(view.cell(at, left + column - first + 1), self.linuxPicture.cell(row, column))
        self.assertIn(FOLD_MARK, view.cell(1, left + columns + 1) if right else view.cell(1, 1))
        # The keys of the bar never took the on-screen keyboard away.
        self.assertEqual(tab.evaluate("document.activeElement.id"), "keys")
        path = os.path.join(self.browser.profile, "web-phone.png")
        tab.screenshot(path, (0, 0, PHONE["width"], tab.evaluate("document.getElementById('keyBar')"
                                                                  ".getBoundingClientRect().bottom + 8")))
        keepShot(path, "web-phone.png", SHOTS)

    def test_a_paste_reaches_lister_whole_and_in_order(self):
        tab = self.start()
        # 1,000 characters pasted as the first answer: echoed from its
        # column on, row after row.
        paste = "0123456789" * 100
        tab.insertText(paste)
        tab.showing("the whole paste echoed", lambda p: "".join(
            self.text(p, row) for row in range(ELEMENTS_ROW, ELEMENTS_ROW + 11))[PROMPT_LENGTH:][:len(paste)] == paste)
        # Past the 65,536 keys lister holds, the page says how many it dropped.
        tab.insertText("7" * (65536 + 4464))
        dropped = waitFor("the page to say keys were dropped", lambda: DROPPED.match(tab.status()))
        self.assertEqual(int(dropped.group(1).replace(".", "")), 4464)

    def test_the_key_bars_escape_stops_a_listing_at_a_multiple_of_1024(self):
        tab = self.start(phone=True)
        tab.tap("#picture")
        tab.insertText("49")
        tab.tap("[data-key=Enter]")
        tab.insertText("P")
        # Tapped right after the answers: the listing cannot end before it.
        tab.tap("[data-key=Enter]")
        tab.tap("[data-key=Escape]")
        shown = tab.showing("the report of the interrupted listing",
                            lambda p: INTERRUPTED.match(self.text(p, REPORT_ROW)), LISTING_SECONDS)
        count = int(INTERRUPTED.match(self.text(shown, REPORT_ROW)).group(1))
        self.assertEqual(count % 1024, 0, count)
        self.assertTrue(0 < count < 13983816, count)
        tab.tap("[data-key=Enter]")
        self.waitEnded(tab)

    def test_keys_typed_ahead_edit_the_answers_and_stop_the_listing_at_1024(self):
        tab = self.start()
        # A refused answer, then 19 made 49 with Home and Delete, an 8 typed
        # and taken back with Backspace, a 5 with Left and Delete; ESC, the
        # 16th key, one past what the key queue holds, waits for the listing.
        # Pressed in one task of the page, as one burst of a keyboard's
        # events may be: on a busy machine, events sent one by one can reach
        # the page after the listing has begun.
        tab.evaluate("%s.forEach(key => press(key))" % json.dumps(
            ["5", "Enter", "1", "9", "Home", "Delete", "8", "Backspace", "4", "5", "ArrowLeft", "Delete", "Enter",
             "P", "Enter", "Escape"]))
        shown = tab.showing("the report of the interrupted listing",
                            lambda p: INTERRUPTED.match(self.text(p, REPORT_ROW)), LISTING_SECONDS)
        self.assertTrue(self.text(shown, ELEMENTS_ROW).rstrip().endswith("(7-49): 49"))
        self.assertTrue(self.text(shown, CHOICE_ROW).rstrip().endswith(": P"))
        self.assertEqual(INTERRUPTED.match(self.text(shown, REPORT_ROW)).group(1), "1024")
        tab.keys("Enter")
        self.waitEnded(tab)

    def test_the_whole_n49_file_is_downloaded_byte_exact_in_little_memory(self):
        tab = self.start()
        before = self.browser.memory()
        peak = Peak(self.browser.memory)
        try:
            tab.keys("49", "Enter", "G", "Enter")
            path = self.browser.download("VSR_49-6.asc", LISTING_SECONDS)
        finally:
            most = peak.stop() - before
        self.assertLess(most, MEMORY_TARGET)
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
        self.assertLess(self.browser.memory() - before, MEMORY_TARGET)
        tab.keys("Enter")
        self.waitEnded(tab)

    def test_a_full_quota_or_a_failing_disk_ends_the_file_listing_in_whole_lines(self):
        # The quota fails the piece that does not fit. A file that has its
        # room but not its disk fails in pieces gathered, found out a few
        # pieces later or, past 8,000,000 bytes, at the close.
        origin = self.server.address.rstrip("/")
        rows = ((QUOTA, ""), (QUOTA, FAILING_DISK % ("true", QUOTA)), (8000000, FAILING_DISK % ("false", 8000000)))
        for row, (limit, workerScript) in enumerate(rows):
            with self.subTest(row=row):
                tab = self.start(fileWorkerScript=workerScript)
                if not workerScript:
                    tab.call("Storage.overrideQuotaForOrigin", {"origin": origin, "quotaSize": QUOTA})
                    self.addCleanup(tab.call, "Storage.overrideQuotaForOrigin", {"origin": origin})
                tab.keys("30", "Enter", "G", "Enter")
                path = self.browser.download("VSR_30-6.asc")
                with open(path, "rb") as f:
                    written = f.read()
                os.remove(path)
                # Said, as it is shown.
                waitFor("the write error", lambda: self.said(WRITE_FAILED) in tab.spoken())
                count = int(COUNTED.match(self.text(tab.picture(), PROGRESS_ROW)).group(1))
                self.assertTrue(0 < count * 14 < limit, count)
                self.assertEqual(written, b"".join(expectedListing(30))[:count * 14])
                tab.keys("Enter")
                self.waitEnded(tab)
                if not workerScript:
                    tab.call("Storage.overrideQuotaForOrigin", {"origin": origin})


class Offline(unittest.TestCase):
    """The page installed, then loaded again with its server gone."""

    def test_the_page_is_installable_and_lists_into_a_file_offline(self):
        server = Server()
        self.addCleanup(server.stop)
        browser = Browser()
        self.addCleanup(browser.stop)
        tab = Tab(browser, server.address)
        tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
        waitFor("the service worker to keep the page",
                lambda: tab.evaluate("navigator.serviceWorker.controller !== null"), STARTUP_SECONDS)
        self.assertEqual(tab.call("Page.getInstallabilityErrors")["installabilityErrors"], [])
        for online in (True, False):
            tab.keys("7", "Enter", "G", "Enter")
            with open(browser.download("VSR_7-6.asc"), "rb") as f:
                self.assertEqual(f.read(), b"".join(expectedListing(7)))
            # The file of the page before is gone, this one's is there.
            self.assertEqual(len(tab.evaluate(PRIVATE_FILES)), 1, tab.evaluate(PRIVATE_FILES))
            if online:
                server.stop()
                tab.call("Page.reload")
                waitFor("the page again", lambda: tab.evaluate("document.getElementById('file')?.textContent") == "")
                tab.showing("the frame of the dialogue offline", frameDrawn, STARTUP_SECONDS)


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
