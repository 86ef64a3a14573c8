#!/usr/bin/python3
"""lister in the browser, measured in headless chromium on this machine:

- how soon the page shows the first question after it starts loading
  from 127.0.0.1;
- the n = 49 screen listing's and file listing's own seconds, as their
  reports on row 70 give them, beside the Linux build's headless runs of
  the same keys; the screen listing again on a phone held upright, whose
  page draws the view of part of the grid at every frame;
- how long the page takes to hand over a paste of 65,536 characters;
- the memory the browser's processes take for the n = 49 file listing and
  its 195,773,424-byte download, above what they took at the first
  question: at most, and once the download has been written.

Each figure is given as min-max over the runs (3 unless told).

    LISTER_WEB_DIR=build-web LISTER_LINUX_BINARY=build/lister /usr/bin/python3 bench/web_listing.py [runs]
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import (FINISHED, LINUX_LISTER, REPORT_ROW, STARTUP_SECONDS, Folder, cellRows,  # noqa: E402
                     environmentWithout, frameDrawn, linuxRun, waitFor)
from web_driver import Browser, Glyphs, Peak, Server, Tab  # noqa: E402

LISTING_SECONDS = 600
SETTLE_SECONDS = 2

# Notes when the first question shows: the canvas's row 4 holds its text.
QUESTION_WATCH = """
window.questionShownAt = null;
(function watch() {
  const canvas = document.getElementById('screen');
  if (canvas && canvas.width === 800) {
    const row = canvas.getContext('2d').getImageData(0, 24, 800, 8).data;
    for (let at = 0; at < row.length; at += 4)
      if (row[at] === 255 && row[at + 1] === 255 && row[at + 2] === 255) { window.questionShownAt = performance.now(); return; }
  }
  requestAnimationFrame(watch);
})();
"""


# The page's own time for a paste of 65,536 characters, a key each, in ms.
PASTE = "(t => { typeText('1'.repeat(65536)); return performance.now() - t; })(performance.now())"


def span(values, unit, digits=2):
    return "%.*f-%.*f %s" % (digits, min(values), digits, max(values), unit)


REPORT = re.compile(re.escape(FINISHED) + r"([0-9.e+-]+) segundos\.")


def reportedSeconds(text):
    match = REPORT.match(text)
    if not match:
        raise AssertionError("no time in the report: %r" % text)
    return float(match.group(1))


def linuxFileListing():
    """The Linux build's n = 49 file listing in a folder of its own: its seconds."""
    folder = Folder(LINUX_LISTER, "lister")
    try:
        cells = folder.file("cells.txt")
        subprocess.run([folder.executable], input=b"49\rG\r", check=True, capture_output=True, timeout=LISTING_SECONDS,
                       env=dict(environmentWithout(), LISTER_SCREEN="headless", LISTER_CELLS=cells))
        return reportedSeconds(cellRows(cells)[REPORT_ROW].decode())
    finally:
        folder.remove()


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    picture, cells = linuxRun(b"10\rP\r")
    glyphs = Glyphs(picture, cells)
    server = Server()
    browser = Browser()
    shown, screen, linuxScreen, files, linuxFiles, memory, settled = [], [], [], [], [], [], []
    phone, paste = [], []
    try:
        for run in range(runs):
            # A fresh load, its first question, then the whole screen listing.
            tab = Tab(browser, server.address, QUESTION_WATCH)
            shown.append(waitFor("the first question", lambda: tab.evaluate("window.questionShownAt"),
                                 STARTUP_SECONDS) / 1000)
            tab.keys("49", "Enter", "P", "Enter")
            end = tab.showing("the end of the listing", lambda p: REPORT.match(glyphs.text(p, REPORT_ROW)),
                              LISTING_SECONDS, firstRow=REPORT_ROW, lastRow=REPORT_ROW)
            screen.append(reportedSeconds(glyphs.text(end, REPORT_ROW)))
            tab.close()
            for onPhone in (False, True):
                tab = Tab(browser, server.address, phone=onPhone)
                tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
                if not onPhone:
                    paste.append(tab.evaluate(PASTE))
                    tab.close()
            tab.keys("49", "Enter", "P", "Enter")
            end = tab.showing("the end of the listing", lambda p: REPORT.match(glyphs.text(p, REPORT_ROW)),
                              LISTING_SECONDS, firstRow=REPORT_ROW, lastRow=REPORT_ROW)
            phone.append(reportedSeconds(glyphs.text(end, REPORT_ROW)))
            tab.close()
            linuxScreen.append(reportedSeconds(linuxRun(b"49\rP\r")[1][REPORT_ROW].decode()))

            # The file listing and its download, in a page of its own.
            tab = Tab(browser, server.address)
            tab.showing("the frame of the dialogue", frameDrawn, STARTUP_SECONDS)
            before = browser.memory()
            peak = Peak(browser.memory)
            tab.keys("49", "Enter", "G", "Enter")
            path = browser.download("VSR_49-6.asc", LISTING_SECONDS)
            end = tab.showing("the end of the listing", lambda p: REPORT.match(glyphs.text(p, REPORT_ROW)),
                              firstRow=REPORT_ROW, lastRow=REPORT_ROW)
            files.append(reportedSeconds(glyphs.text(end, REPORT_ROW)))
            time.sleep(SETTLE_SECONDS)
            memory.append((peak.stop() - before) / 2**20)
            settled.append((browser.memory() - before) / 2**20)
            os.remove(path)
            tab.close()
            linuxFiles.append(linuxFileListing())
            print("run %d: question shown %.3f s, screen listing %.3f s (Linux %.3f s, phone %.3f s), file listing "
                  "%.3f s (Linux %.3f s), +%.0f MiB at most, +%.0f MiB after, paste %.0f ms" %
                  (run + 1, shown[-1], screen[-1], linuxScreen[-1], phone[-1], files[-1], linuxFiles[-1], memory[-1],
                   settled[-1], paste[-1]), file=sys.stderr)
    finally:
        browser.stop()
        server.stop()
    print("first question shown after loading: %s" % span(shown, "s", 3))
    for what, web, linux in (("screen", screen, linuxScreen), ("file", files, linuxFiles)):
        print("n = 49 %s listing, in the browser: %s; Linux headless: %s; browser / Linux: %s" %
              (what, span(web, "s"), span(linux, "s"), span([w / l for w, l in zip(web, linux)], "x")))
    print("n = 49 screen listing on a phone upright: %s; phone / page: %s" %
          (span(phone, "s"), span([p / w for p, w in zip(phone, screen)], "x")))
    print("a paste of 65,536 characters handed over by the page: %s" % span(paste, "ms", 0))
    print("n = 49 file listing and download, browser memory above the first question: %s at most, %s after" %
          (span(memory, "MiB", 0), span(settled, "MiB", 0)))


if __name__ == "__main__":
    if not os.path.isfile(LINUX_LISTER):
        sys.exit("LISTER_WEB_DIR and LISTER_LINUX_BINARY must name the built page and program")
    main()
