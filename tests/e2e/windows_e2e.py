#!/usr/bin/python3
"""The Windows build, lister.exe, end to end under Wine.

Headless runs take their keys from standard input and must write the same
files and the same screens as the Linux build; the window runs on an X
server of its own (harness.py's Xvfb, as for the window's tests) and is
typed at and clicked with xdotool. A Wine or an X server that cannot start
fails the test: nothing here passes for want of a platform. The Wine
prefix and paths are windows_driver.py's.

    LISTER_WINDOWS_BINARY=build-windows/lister.exe LISTER_LINUX_BINARY=build/lister \\
        /usr/bin/python3 tests/e2e/windows_e2e.py
"""

import filecmp
import math
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from harness import (BACKGROUND, BLACK, CELL, CHOICE_ROW, CLOSING_ROW, HEIGHT, LINUX_LISTER, REPORT_ROW,
                     STEP_SECONDS, TOTAL_ROW, WHITE, WIDTH, XDOTOOL, Folder, Picture, XServer, cellRows, shownPath,
                     expectedListing, frameDrawn, stopProcess, waitFor)
from windows_driver import (WINE, WINEBOOT, WINESERVER, cleanEnvironment, makePrefix, removePrefix,
                            wineEnvironment, windowsPath)

WINDOWS_LISTER = os.environ.get("LISTER_WINDOWS_BINARY", "")

TITLE = "lister"
RUN_SECONDS = 120
INPUT_ENDED = "lister: input ended while waiting for an answer"


def setUpModule():
    for path, package in ((WINE, "wine"), (WINEBOOT, "wine"), (XDOTOOL, "xdotool")):
        if not os.access(path, os.X_OK):
            raise AssertionError("%s is missing; install the Debian package %s" % (path, package))
    for name, path in (("LISTER_WINDOWS_BINARY", WINDOWS_LISTER), ("LISTER_LINUX_BINARY", LINUX_LISTER)):
        if not os.path.isfile(path):
            raise AssertionError("%s must name the built program, not %r" % (name, path))
    makePrefix()


def tearDownModule():
    removePrefix()


def withoutNumbers(row):
    """A row with its numbers blanked: the run's elapsed seconds differ."""
    return re.sub(rb"-?[0-9][0-9.e+-]*", b"#", row).rstrip()


class Headless(unittest.TestCase):
    """Key scripts on standard input, on Windows as on Linux."""

    def runBoth(self, script, viaFile=False):
        """Runs lister.exe under Wine and the Linux build on the same script."""
        windows = Folder(WINDOWS_LISTER, "lister.exe")
        linux = Folder(LINUX_LISTER, "lister")
        self.addCleanup(windows.remove)
        self.addCleanup(linux.remove)
        runs = []
        for folder, command in ((windows, [WINE, windows.executable]), (linux, [linux.executable])):
            env = dict(cleanEnvironment(), **wineEnvironment, LISTER_SCREEN="headless",
                       LISTER_CELLS=folder.file("cells.txt"), LISTER_SCREENSHOT=folder.file("final.png"))
            with open(folder.file("script"), "wb") as f:
                f.write(script)
            with open(folder.file("script"), "rb") as f:
                keys = {"stdin": f} if viaFile else {"input": script}
                runs.append(subprocess.run(command, env=env, capture_output=True, timeout=RUN_SECONDS,
                                           cwd=tempfile.gettempdir(), **keys))
        return windows, linux, runs[0], runs[1]

    def test_files_and_screens_match_the_linux_build(self):
        cases = [
            # name, script, n, into a file, script through a file rather than a pipe
            ("n = 7 into a file", b"7\rG\r", 7, True, False),
            ("n = 16 into a file", b"16\rg\r", 16, True, False),
            ("n = 7 into a file, the script from a file", b"7\rG\r", 7, True, True),
            ("extended keys edit the answer", b"17\0G\0S\rG\r", 7, True, False),
            ("n = 8 on the screen", b"8\rP\r", 8, False, False),
        ]
        for name, script, n, intoFile, viaFile in cases:
            with self.subTest(name):
                windows, linux, onWindows, onLinux = self.runBoth(script, viaFile)
                self.assertEqual(onWindows.returncode, 0, onWindows.stderr.decode(errors="replace"))
                self.assertEqual(onLinux.returncode, 0, onLinux.stderr)
                fileName = "VSR_%d-6.asc" % n
                if intoFile:
                    with open(windows.file(fileName), "rb") as f:
                        written = f.read()
                    self.assertEqual(len(written), math.comb(n, 6) * 14)
                    self.assertTrue(written == b"".join(expectedListing(n)),
                                    "the listing differs from every 6 of %d" % n)
                else:
                    self.assertFalse(os.path.exists(windows.file(fileName)))

                onScreen, expected = cellRows(windows.file("cells.txt")), cellRows(linux.file("cells.txt"))
                if intoFile:
                    # The path of the file, as each system writes it.
                    self.assertEqual(onScreen[CLOSING_ROW].rstrip(),
                                     b" > RUTA: " + windowsPath(windows.file(fileName)).encode())
                    self.assertEqual(expected[CLOSING_ROW].rstrip(), b" > RUTA: " + linux.file(fileName).encode())
                for row in range(1, 70):
                    if not (intoFile and row == CLOSING_ROW):
                        self.assertEqual(onScreen[row], expected[row], "row %d" % row)
                self.assertEqual(withoutNumbers(onScreen[REPORT_ROW]), withoutNumbers(expected[REPORT_ROW]))

                # The picture too, but for the seconds on row 70 and the path on row 69.
                shot, linuxShot = Picture.ofFile(windows.file("final.png")), Picture.ofFile(linux.file("final.png"))
                self.assertEqual((shot.width, shot.height), (WIDTH, HEIGHT))
                lastSame = (CLOSING_ROW - 1 if intoFile else REPORT_ROW - 1) * CELL
                rowBytes = WIDTH * 3
                self.assertTrue(shot.rgb[:lastSame * rowBytes] == linuxShot.rgb[:lastSame * rowBytes],
                                "the screenshots differ above row %d" % (lastSame // CELL + 1))

    def test_a_script_that_runs_out_ends_with_status_3(self):
        for name, script in (("nothing at all", b""), ("no choice", b"7\r"), ("an unfinished answer", b"7")):
            with self.subTest(name):
                windows, _, onWindows, onLinux = self.runBoth(script)
                self.assertEqual(onWindows.returncode, 3)
                self.assertEqual(onLinux.returncode, 3)
                self.assertIn(INPUT_ENDED, onWindows.stderr.decode(errors="replace"))
                self.assertFalse(any(name.startswith("VSR_") for name in os.listdir(windows.path)))

    def test_the_file_lands_next_to_the_executable_in_any_folder(self):
        """Any folder's path, through the wide functions: in code page 437, fitted to its row, as on Linux."""
        cases = [  # name, folders, whether the file can be made there
            ("past 260 characters deep", ["d" * 120, "e" * 120, "f" * 60], True),
            ("past 260 characters deep, the file's name taken by a folder", ["d" * 120, "e" * 140], False),
            ("Spanish, Cyrillic, CJK and accents outside the ANSI code page",
             ["Documentos", "Lotería", "Кириллица", "漢字 ő ř ą"], True),
        ]
        for name, folders, writable in cases:
            with self.subTest(name):
                folder = Folder(WINDOWS_LISTER, "lister.exe")
                self.addCleanup(folder.remove)
                deep = os.path.join(folder.path, *folders)
                os.makedirs(os.path.join(deep, "" if writable else "VSR_7-6.asc"))
                executable = os.path.join(deep, "lister.exe")
                shutil.move(folder.executable, executable)
                # Wine reads the names and the environment in this locale's encoding.
                env = dict(cleanEnvironment(), **wineEnvironment, LISTER_SCREEN="headless", LC_ALL="C.UTF-8",
                           LISTER_CELLS="\\".join([windowsPath(folder.path)] + folders + ["cells.txt"]))
                run = subprocess.run([WINE, executable], input=b"7\rG\r", env=env, capture_output=True,
                                     timeout=RUN_SECONDS)
                self.assertEqual(run.returncode, 0, run.stderr)
                path = "\\".join([windowsPath(folder.path)] + folders + ["VSR_7-6.asc"])
                rows = cellRows(os.path.join(deep, "cells.txt"))
                self.assertTrue(rows[1].startswith(b"     VARIACIONES SIN REPETICION"), rows[1])  # nothing scrolled
                if writable:
                    with open(os.path.join(deep, "VSR_7-6.asc"), "rb") as f:
                        self.assertEqual(f.read(), b"".join(expectedListing(7)))
                    self.assertEqual(rows[CLOSING_ROW].rstrip(), b" > RUTA: " + shownPath(path, 91))
                    self.assertTrue(rows[REPORT_ROW].startswith(b" > OK. TIEMPO INVERTIDO: "), rows[REPORT_ROW])
                else:
                    self.assertEqual(rows[REPORT_ROW].rstrip(),
                                     b" > ERROR AL CREAR EL ARCHIVO: " + shownPath(path, 62) + b"  ERR= 2")

    def test_without_any_standard_input_a_question_ends_with_status_3(self):
        folder = Folder(WINDOWS_LISTER, "lister.exe")
        self.addCleanup(folder.remove)
        env = dict(cleanEnvironment(), **wineEnvironment, LISTER_SCREEN="headless")
        # Standard input closed, not merely empty.
        run = subprocess.run(["/bin/sh", "-c", 'exec "$0" "$1" <&-', WINE, folder.executable], env=env,
                             capture_output=True, timeout=RUN_SECONDS)
        self.assertEqual(run.returncode, 3, run.stderr)
        self.assertIn(INPUT_ENDED, run.stderr.decode(errors="replace"))

    def test_a_second_lister_on_the_file_being_written_is_refused(self):
        """The file is shared for reading only while lister.exe writes it: a
        second one says ERR= 2 and leaves it alone, and the first one's file
        comes out whole, as the Linux build writes it."""
        windows = Folder(WINDOWS_LISTER, "lister.exe")
        linux = Folder(LINUX_LISTER, "lister")
        self.addCleanup(windows.remove)
        self.addCleanup(linux.remove)
        env = dict(cleanEnvironment(), **wineEnvironment, LISTER_SCREEN="headless")
        output = windows.file("VSR_49-6.asc")
        # Stopped while it writes, the first one holds the file for as long
        # as the second one runs; tried again should it end before the stop.
        second = None
        for _ in range(3):
            if os.path.exists(output):
                os.remove(output)
            first = subprocess.Popen([WINE, windows.executable], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=env)
            self.addCleanup(stopProcess, first)
            first.stdin.write(b"49\rG\r")
            first.stdin.close()
            deadline = time.monotonic() + RUN_SECONDS
            while first.poll() is None and not (os.path.exists(output) and os.path.getsize(output) > 0):
                self.assertLess(time.monotonic(), deadline, "the first lister.exe never wrote")
                time.sleep(0.001)
            os.kill(first.pid, signal.SIGSTOP)
            try:
                if first.poll() is None and os.path.getsize(output) < math.comb(49, 6) * 14:
                    second = subprocess.run([WINE, windows.executable], input=b"49\rG\r", capture_output=True,
                                            env=dict(env, LISTER_CELLS=windowsPath(windows.file("cells.txt"))),
                                            timeout=RUN_SECONDS)
            finally:
                os.kill(first.pid, signal.SIGCONT)
            self.assertEqual(first.wait(timeout=RUN_SECONDS), 0)
            if second:
                break
        self.assertIsNotNone(second, "the first lister.exe always ended before the second one started")
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertEqual(cellRows(windows.file("cells.txt"))[REPORT_ROW].rstrip(),
                         b" > ERROR AL CREAR EL ARCHIVO: " + windowsPath(output).encode() + b"  ERR= 2")
        subprocess.run([linux.executable], input=b"49\rG\r", env=dict(cleanEnvironment(), LISTER_SCREEN="headless"),
                       capture_output=True, check=True, timeout=RUN_SECONDS)
        self.assertTrue(filecmp.cmp(output, linux.file("VSR_49-6.asc"), shallow=False),
                        "the first lister.exe's file differs from the Linux build's")

    def test_a_screen_that_cannot_be_had_gives_way_to_the_headless_one(self):
        # No display here: the window cannot open, and the script still runs.
        cases = [("terminal", "the terminal screen is not built in; choosing by itself"),
                 ("window", "the window screen cannot open (cannot create the window")]
        for chosen, message in cases:
            with self.subTest(chosen):
                windows = Folder(WINDOWS_LISTER, "lister.exe")
                self.addCleanup(windows.remove)
                env = dict(cleanEnvironment(), **wineEnvironment, LISTER_SCREEN=chosen)
                run = subprocess.run([WINE, windows.executable], input=b"7\rG\r", env=env, capture_output=True,
                                     timeout=RUN_SECONDS)
                self.assertIn(message, run.stderr.decode(errors="replace"))
                self.assertEqual(run.returncode, 0)
                with open(windows.file("VSR_7-6.asc"), "rb") as f:
                    self.assertEqual(f.read(), b"".join(expectedListing(7)))


class Window(unittest.TestCase):
    """lister.exe in its window under Wine, on an X server of its own.

    Wine draws the window's frame itself here ("Managed" off), as Windows
    does: a window manager would drop the maximise button of a window that
    has no sizing border, and the button is part of what is tested."""

    # Room for the picture twice over, with black bars left and right.
    screenWidth, screenHeight = 1700, 1200

    @classmethod
    def setUpClass(cls):
        env = dict(cleanEnvironment(), **wineEnvironment)
        subprocess.run([WINE, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
                       env=env, check=True, timeout=STEP_SECONDS, stdout=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env, check=True, timeout=STEP_SECONDS)
        cls.server = XServer(cls.screenWidth, cls.screenHeight)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def start(self):
        self.folder = Folder(WINDOWS_LISTER, "lister.exe")
        self.addCleanup(self.folder.remove)
        env = dict(self.server.environment(), **wineEnvironment,
                   LISTER_CELLS=windowsPath(self.folder.file("cells.txt")),
                   LISTER_SCREENSHOT=windowsPath(self.folder.file("final.png")))
        self.errorsPath = self.folder.file("errors.txt")
        with open(self.errorsPath, "wb") as errors:
            self.process = subprocess.Popen([WINE, self.folder.executable], env=env, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=errors)
        self.addCleanup(stopProcess, self.process)
        self.window = self.server.display.create_resource_object(
            "window", waitFor("a window titled " + TITLE, self.findWindow, RUN_SECONDS))

    def errors(self):
        with open(self.errorsPath, "rb") as f:
            return f.read().decode(errors="replace")

    def findWindow(self):
        if self.process.poll() is not None:
            raise AssertionError("lister.exe ended before its window showed: " + self.errors())
        found = subprocess.run([XDOTOOL, "search", "--onlyvisible", "--name", "^%s$" % TITLE],
                               env=self.server.environment(), capture_output=True, timeout=STEP_SECONDS)
        ids = found.stdout.split()
        return int(ids[0]) if ids else None

    def alive(self):
        return self.process.poll() is None

    def geometry(self):
        g = self.window.get_geometry()
        at = self.server.display.screen().root.translate_coords(self.window, 0, 0)
        return at.x, at.y, g.width, g.height

    def frameSizes(self):
        """The side border and the caption's height around the 800 x 600 client area."""
        _, _, width, height = self.geometry()
        border = (width - WIDTH) // 2
        return border, height - HEIGHT - 2 * border

    def clientPicture(self):
        """The client area: what the window shows of the frame."""
        x, y, width, height = self.geometry()
        border, caption = self.frameSizes()
        shot = self.server.picture()
        left, top = x + border, y + border + caption
        rgb = b"".join(shot.rgb[((top + row) * self.screenWidth + left) * 3:
                                ((top + row) * self.screenWidth + left + WIDTH) * 3] for row in range(HEIGHT))
        return Picture(WIDTH, HEIGHT, rgb)

    def showing(self, what, test):
        def check():
            if not self.alive():
                raise AssertionError("lister.exe ended while waiting for %s: %s" % (what, self.errors()))
            picture = self.clientPicture()
            return picture if test(picture) else None
        return waitFor(what, check)

    def keys(self, *names):
        self.server.xdotool("key", "--delay", "40", *names)

    def clickCaption(self, fromRight, double=False):
        """A click on the caption, `fromRight` pixels left of the window's right edge."""
        x, y, width, _ = self.geometry()
        border, caption = self.frameSizes()
        self.server.xdotool("mousemove", "--sync", str(x + width - fromRight), str(y + border + caption // 2))
        self.server.xdotool("click", *(["--repeat", "2", "--delay", "80"] if double else []), "1")

    def pressCloseButton(self):
        border, caption = self.frameSizes()
        self.clickCaption(border + caption // 2)

    def waitFullScreen(self, windowed, what):
        waitFor(what, lambda: self.geometry() == (0, 0, self.screenWidth, self.screenHeight))
        # Scaled by 2, centred, black bars beside.
        left = (self.screenWidth - 2 * WIDTH) // 2

        def scaled():
            shot = self.server.picture()
            if [shot.at(5, 5), shot.at(left - 1, 600), shot.at(self.screenWidth - left, 600)] != [BLACK] * 3:
                return False
            return all(shot.at(left + 2 * x + dx, 2 * y + dy) == windowed.at(x, y)
                       for y in range(0, HEIGHT, 7) for x in range(0, WIDTH, 5) for dx in (0, 1) for dy in (0, 1))
        waitFor(what + ", the picture scaled by 2", scaled)

    def waitWindowed(self, windowed, what):
        waitFor(what, lambda: self.geometry()[2:] != (self.screenWidth, self.screenHeight) and
                self.frameSizes()[1] > 0)
        self.showing(what + ", the same picture", lambda p: p.rgb == windowed.rgb)

    def test_a_file_run_typed_into_the_window(self):
        self.start()
        x, y, width, height = self.geometry()
        border, caption = self.frameSizes()
        self.assertEqual(width, WIDTH + 2 * border)
        self.assertGreater(caption, 0)
        # Centred on the screen.
        self.assertLessEqual(abs(x + width // 2 - self.screenWidth // 2), 2)
        self.assertLessEqual(abs(y + height // 2 - self.screenHeight // 2), 2)
        windowed = self.showing("the frame of the dialogue", frameDrawn)
        self.server.xdotool("windowfocus", "--sync", str(self.window.id))

        # Alt+Enter and the maximise button (here a double click on the
        # caption, which is the same command) switch to full screen, and
        # Alt+Enter back.
        self.keys("alt+Return")
        self.waitFullScreen(windowed, "full screen after Alt+Enter")
        self.keys("alt+Return")
        self.waitWindowed(windowed, "the window back after Alt+Enter")
        self.clickCaption(width // 2, double=True)
        self.waitFullScreen(windowed, "full screen after maximise")
        self.keys("alt+Return")
        self.waitWindowed(windowed, "the window back after maximise")

        # 17, Home, Delete leaves 7; Alt+F4 and the close button change nothing.
        self.keys("1", "7", "Home", "Delete", "alt+F4")
        self.pressCloseButton()
        self.server.xdotool("windowfocus", "--sync", str(self.window.id))
        self.keys("Return")
        self.showing("the second question", lambda p: p.rowHas(CHOICE_ROW, WHITE))
        self.keys("G", "Return")
        listed = self.showing("the end of the listing", lambda p: p.rowHas(REPORT_ROW, WHITE))
        output = self.folder.file("VSR_7-6.asc")  # its bytes are the headless runs' to check
        waitFor("the file", lambda: os.path.exists(output) and os.path.getsize(output) == 98)

        # At the final wait the close button ends the run like any key.
        self.pressCloseButton()
        try:
            status = self.process.wait(timeout=STEP_SECONDS)
        except subprocess.TimeoutExpired:
            raise AssertionError("lister.exe did not end: " + self.errors())
        self.assertEqual(status, 0, self.errors())
        cells = cellRows(self.folder.file("cells.txt"))
        self.assertIn(b"TOTAL COMBINACIONES:  7 > ARCHIVO: VSR_7-6.asc", cells[TOTAL_ROW])
        self.assertEqual(Picture.ofFile(self.folder.file("final.png")).differences(listed), 0)
        self.assertEqual(listed.at(4, 596), BACKGROUND)


if __name__ == "__main__":
    unittest.main(verbosity=2)
