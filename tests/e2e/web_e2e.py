#!/usr/bin/python3
"""The browser build of lister, end to end, in Debian's chromium.

The page is served by screen/back_ends/web/serve.py and opened in a
headless chromium of our own, driven over the DevTools protocol (Debian's
python3-websocket; web_driver.py does both): keys are typed as real key events, the picture is read
back from the canvas, and the file lister writes arrives as the browser's
download. What the canvas shows is compared with the Linux build's
headless run of the same keys. A browser or a server that cannot start
fails the test: nothing here passes for want of a browser.

    LISTER_WEB_DIR=build-web LISTER_LINUX_BINARY=build/lister \\
        /usr/bin/python3 tests/e2e/web_e2e.py [group]

Groups: Page, Isolation. Screenshots of the page are kept in
LISTER_WEB_SHOTS when it is set.
"""

import hashlib
import os
import re
import sys
import unittest

from harness import (CELL, CHOICE_ROW, CLOSING_ROW, CONVERT, ELEMENTS_ROW, FINISHED, LINUX_LISTER, PROGRESS_ROW,
                     REPORT_ROW, STARTUP_SECONDS, WIDTH, expectedListing, frameDrawn, keepShot, linuxRun, waitFor)
from web_driver import ALT, CHROMIUM, WEB_DIR, Browser, Glyphs, Server, Tab

SHOTS = os.environ.get("LISTER_WEB_SHOTS", "")

SECONDS_COLUMN = 26  # row 70 from here on holds the run's own seconds
GRID_BYTES = 70 * CELL * WIDTH * 3  # the pixel lines of the grid, in a picture's bytes
WEB_FILE_PATH = " > RUTA: /lister/VSR_7-6.asc"

INTERRUPTED = re.compile(r" > PROCESO INTERRUMPIDO\. GENERADAS:  (\d+) combinaciones\. TIEMPO:  ")
ENDED = "lister ha terminado."

LISTING_SECONDS = 300

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
        keepShot(path, "web.png", SHOTS)

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
