#!/usr/bin/python3
"""The built lister in its window, end to end, on an X server of its own.

Each group starts what it needs itself (Xvfb, openbox) and fails when it
cannot: a missing X server must never pass for a working window. Keys are
typed through the X server with xdotool, the window is read back through
the X protocol and with ImageMagick's import (window_driver.py runs it).

    LISTER_BINARY=build/lister /usr/bin/python3 tests/e2e/window_e2e.py [group]

Groups: PlainServer, UnderOpenbox, Soak, LostDisplay, WithoutDisplay. Screenshots are kept in
LISTER_WINDOW_SHOTS when it is set.
"""

import os
import random
import signal
import subprocess
import sys
import threading
import time
import unittest

from Xlib import X, Xatom

from harness import (BLACK, CHOICE_ROW, CLOSING_ROW, ELEMENTS_ROW, GREEN, HEIGHT, PROGRESS_ROW, REPORT_ROW,
                     STEP_SECONDS, TOTAL_ROW, WHITE, WIDTH, Folder, Picture, XServer, environmentWithout, frameDrawn,
                     keepShot, stopServer, waitFor)
from window_driver import IMPORT, LISTER, Lister

SHOTS = os.environ.get("LISTER_WINDOW_SHOTS", "")
WMCTRL = "/usr/bin/wmctrl"  # Debian's own

ANSWER_COLUMN = 58
SEVEN_IN_PROMPT = 51  # the 7 of "(7-49)"
G_IN_PROMPT = 34  # the G of "(G)UARDAR"


class PlainServer(unittest.TestCase):
    """The window on a bare X server: no window manager in between."""

    @classmethod
    def setUpClass(cls):
        cls.server = XServer(1024, 768)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def start(self, **environment):
        lister = Lister(self.server, environment)
        self.addCleanup(lister.stop)
        lister.focus()
        return lister

    def test_a_file_run_by_keyboard_and_the_close_button(self):
        lister = self.start()
        self.assertEqual(lister.size(), (WIDTH, HEIGHT))
        lister.showing("the frame of the dialogue", frameDrawn)

        # The close button asks; the window stays and the dialogue goes on.
        lister.sendCloseRequest()
        time.sleep(0.5)
        self.assertTrue(lister.alive(), lister.errors())
        self.assertEqual(lister.size(), (WIDTH, HEIGHT))

        # Covered and uncovered, the window shows its picture again.
        before = lister.picture()
        display = self.server.display
        screen = display.screen()
        cover = screen.root.create_window(0, 0, 1024, 768, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
                                          background_pixel=screen.white_pixel, override_redirect=True)
        cover.map()
        display.sync()
        lister.showing("the window covered", lambda p: p.rgb != before.rgb)
        cover.destroy()
        display.sync()
        lister.showing("the window repainted", lambda p: p.rgb == before.rgb)
        lister.focus()

        # Delete on an empty answer beeps (silently here); Backspace, Home
        # and Delete edit; left-Alt chords do nothing. The answer is 7.
        lister.keys("Delete")
        lister.type("8")
        lister.keys("BackSpace")
        lister.type("9")
        lister.keys("Home", "Delete")
        lister.type("7")
        lister.keys("alt+BackSpace", "alt+5", "Return")
        asked = lister.showing("the answer 7 and the second question",
                               lambda p: p.rowHas(CHOICE_ROW, WHITE) and p.ink(ELEMENTS_ROW, ANSWER_COLUMN + 1) ==
                               [False] * 64)
        self.assertEqual(asked.cell(ELEMENTS_ROW, ANSWER_COLUMN), asked.cell(ELEMENTS_ROW, SEVEN_IN_PROMPT))

        lister.type("G")
        lister.keys("Return")
        done = lister.showing("the closing lines of the file listing",
                              lambda p: p.rowHas(PROGRESS_ROW, WHITE) and p.rowHas(CLOSING_ROW, GREEN) and
                              p.rowHas(REPORT_ROW, WHITE))
        answer = done.cell(CHOICE_ROW, ANSWER_COLUMN)
        self.assertIn(GREEN, answer)
        self.assertEqual(done.ink(CHOICE_ROW, ANSWER_COLUMN), done.ink(CHOICE_ROW, G_IN_PROMPT))
        time.sleep(0.3)
        shown = lister.capture(lister.folder.file("window.png"))

        # At the final wait the close button ends the run like any key.
        lister.sendCloseRequest()
        self.assertEqual(lister.finished(), 0, lister.errors())
        self.assertEqual(lister.errors(), "")

        # The window showed exactly the program's own last picture.
        self.assertEqual(shown.differences(Picture.ofFile(lister.screenshot)), 0)
        rows = lister.cells()
        self.assertTrue(rows[ELEMENTS_ROW].rstrip().endswith(b": 7"), rows[ELEMENTS_ROW])
        self.assertTrue(rows[CHOICE_ROW].rstrip().endswith(b": G"), rows[CHOICE_ROW])
        self.assertIn(b"TOTAL COMBINACIONES:  7 > ARCHIVO: VSR_7-6.asc", rows[TOTAL_ROW])
        # What the file holds is the headless runs' to check.
        self.assertEqual(os.path.getsize(lister.folder.file("VSR_7-6.asc")), 98)

    def test_a_screen_listing_with_keypad_keys(self):
        lister = self.start()
        lister.showing("the frame of the dialogue", frameDrawn)
        # Without NumLock the keypad moves the cursor; with it, it types.
        lister.type("0")
        lister.keys("KP_Home")  # Home
        lister.type("1")
        lister.keys("Num_Lock", "KP_End", "Num_Lock")  # "110", then NumLock off again
        lister.keys("KP_Left", "KP_Delete", "KP_Enter")  # back to "10", and Enter
        lister.showing("the second question", lambda p: p.rowHas(CHOICE_ROW, WHITE))
        lister.type("p")
        lister.keys("Return")
        lister.showing("the end of the screen listing", lambda p: p.rowHas(REPORT_ROW, WHITE) and
                       p.rowHas(CLOSING_ROW, GREEN))
        time.sleep(0.3)
        path = lister.folder.file("window.png")
        shown = lister.capture(path)
        keepShot(path, "window.png", SHOTS)
        lister.keys("space")
        self.assertEqual(lister.finished(), 0, lister.errors())
        self.assertEqual(shown.differences(Picture.ofFile(lister.screenshot)), 0)
        rows = lister.cells()
        self.assertIn(b"TOTAL COMBINACIONES:  210 > ARCHIVO: VSR_10-6.asc", rows[TOTAL_ROW])
        self.assertIn(b"010203040506", rows[8])
        self.assertEqual(lister.errors(), "")

    def test_an_interrupt_still_ends_the_program(self):
        lister = self.start()
        lister.showing("the frame of the dialogue", frameDrawn)
        lister.process.send_signal(signal.SIGINT)
        self.assertEqual(lister.finished(), -signal.SIGINT)


class UnderOpenbox(unittest.TestCase):
    """The window as a window manager shows it: centred, focused, its
    buttons, full screen and back."""

    @classmethod
    def setUpClass(cls):
        # Room for the picture twice over, with a border all round.
        cls.screenWidth, cls.screenHeight = 1700, 1300
        cls.server = XServer(cls.screenWidth, cls.screenHeight, windowManager=True)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def waitWindowed(self, lister, what):
        waitFor(what, lambda: lister.size() == (WIDTH, HEIGHT) and
                not lister.states() & {"_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_MAXIMIZED_VERT"})

    def waitFullScreen(self, lister, windowed, what):
        waitFor(what, lambda: lister.size() == (self.screenWidth, self.screenHeight) and
                "_NET_WM_STATE_FULLSCREEN" in lister.states())
        # Scaled by 2 whole pixels and centred, black all round.
        left, top = (self.screenWidth - 2 * WIDTH) // 2, (self.screenHeight - 2 * HEIGHT) // 2

        def scaled():
            shot = self.server.picture()
            corners = [shot.at(5, 5), shot.at(self.screenWidth - 5, self.screenHeight - 5),
                       shot.at(left - 1, top + 10), shot.at(left + 10, top - 1)]
            if corners != [BLACK] * 4:
                return None
            for y in range(0, HEIGHT, 3):
                for x in range(0, WIDTH, 2):
                    expected = windowed.at(x, y)
                    if shot.at(left + 2 * x, top + 2 * y) != expected or \
                            shot.at(left + 2 * x + 1, top + 2 * y + 1) != expected:
                        return None
            return shot
        return waitFor(what + ", the picture scaled by 2", scaled)

    def test_buttons_full_screen_and_the_close_keys(self):
        lister = Lister(self.server)
        self.addCleanup(lister.stop)
        display = self.server.display
        root = display.screen().root
        active = display.intern_atom("_NET_ACTIVE_WINDOW")
        def focused():
            value = root.get_full_property(active, Xatom.WINDOW)
            return value is not None and len(value.value) > 0 and value.value[0] == lister.window.id
        waitFor("the window to be focused", focused)
        self.assertEqual(lister.size(), (WIDTH, HEIGHT))
        x, y = lister.position()
        self.assertLessEqual(abs(x - (self.screenWidth - WIDTH) // 2), 32, (x, y))
        self.assertLessEqual(abs(y - (self.screenHeight - HEIGHT) // 2), 48, (x, y))
        allowed = lister.window.get_full_property(display.intern_atom("_NET_WM_ALLOWED_ACTIONS"), Xatom.ATOM)
        actions = {display.get_atom_name(a) for a in allowed.value}
        for action in ("_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_MINIMIZE",
                       "_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_FULLSCREEN"):
            self.assertIn(action, actions)
        windowed = lister.showing("the frame of the dialogue", frameDrawn)

        lister.keys("alt+Return")
        shot = self.waitFullScreen(lister, windowed, "full screen after Alt+Enter")
        path = lister.folder.file("full_screen.png")
        subprocess.run([IMPORT, "-window", "root", path], env=self.server.environment(), check=True,
                       timeout=STEP_SECONDS)
        keepShot(path, "full_screen.png", SHOTS)
        self.assertEqual(Picture.ofFile(path).differences(shot), 0)
        lister.keys("alt+Return")
        self.waitWindowed(lister, "the window back after Alt+Enter")
        lister.showing("the same picture in the window", lambda p: p.rgb == windowed.rgb)

        # The maximise button switches to full screen too.
        subprocess.run([WMCTRL, "-i", "-r", str(lister.window.id), "-b", "add,maximized_vert,maximized_horz"],
                       env=self.server.environment(), check=True, timeout=STEP_SECONDS)
        self.waitFullScreen(lister, windowed, "full screen after maximise")
        lister.keys("alt+Return")
        self.waitWindowed(lister, "the window back, not maximised")

        # A resize snaps back.
        lister.server.xdotool("windowsize", str(lister.window.id), "500", "400")
        time.sleep(0.3)
        self.waitWindowed(lister, "the size to snap back to 800 x 600")

        # Alt+F4 and the close button leave the window and the run alone.
        lister.keys("alt+F4")
        lister.sendCloseRequest()
        time.sleep(0.5)
        self.assertTrue(lister.alive(), lister.errors())
        self.assertEqual(lister.size(), (WIDTH, HEIGHT))

        lister.type("7")
        lister.keys("Return")
        lister.showing("the second question", lambda p: p.rowHas(CHOICE_ROW, WHITE))
        lister.type("p")
        lister.keys("Return")
        lister.showing("the end of the listing", lambda p: p.rowHas(REPORT_ROW, WHITE))
        lister.keys("a")
        self.assertEqual(lister.finished(), 0, lister.errors())
        self.assertIn(b"TOTAL COMBINACIONES:  7 > ARCHIVO: VSR_7-6.asc", lister.cells()[TOTAL_ROW])


class Soak(unittest.TestCase):
    """Whole n = 49 screen listings while keys are typed without a pause
    and the window is covered, uncovered and switched to full screen and
    back: each listing completes, its last screen is right, nothing hangs."""

    RUNS = int(os.environ.get("LISTER_SOAK_RUNS", "3"))  # fewer under the slow sanitizers
    LAST_ROW = 56  # where the 13983816th combination lands: page row 49, column 1

    @classmethod
    def setUpClass(cls):
        cls.server = XServer(1700, 1300, windowManager=True)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def typeWithoutPause(self, lister, stop, typed):
        # Letters only: during a listing nothing but ESC may count. The first
        # key of the final wait ends the run, which ends this loop too.
        while not stop.is_set() and lister.alive():
            try:
                self.server.xdotool("type", "--delay", "5", "abcdefghij")
                typed[0] += 10
            except subprocess.SubprocessError:
                return

    def disturb(self, lister, stop, cycles):
        display = self.server.display
        screen = display.screen()
        while not stop.is_set() and lister.alive():
            cover = screen.root.create_window(0, 0, 1700, 1300, 0, screen.root_depth, X.InputOutput,
                                              X.CopyFromParent, background_pixel=screen.white_pixel,
                                              override_redirect=True)
            cover.map()
            display.sync()
            time.sleep(0.05)
            cover.destroy()
            display.sync()
            try:
                self.server.xdotool("key", "alt+Return")
                time.sleep(0.1)
                self.server.xdotool("key", "alt+Return")
            except subprocess.SubprocessError:
                return
            cycles[0] += 1

    def test_whole_listings_under_keys_covers_and_full_screen(self):
        cycles, typed = [0], [0]
        for run in range(self.RUNS):
            with self.subTest(run=run):
                lister = Lister(self.server)
                self.addCleanup(lister.stop)
                lister.answer("49", "p")
                stop = threading.Event()
                workers = [threading.Thread(target=self.typeWithoutPause, args=(lister, stop, typed)),
                           threading.Thread(target=self.disturb, args=(lister, stop, cycles))]
                lister.keys("Return")
                for worker in workers:
                    worker.start()
                try:
                    status = lister.finished(seconds=300)
                finally:
                    stop.set()
                    for worker in workers:
                        worker.join(timeout=STEP_SECONDS)
                self.assertEqual(status, 0, lister.errors())
                self.assertEqual(lister.errors(), "")
                rows = lister.cells()
                self.assertEqual(rows[PROGRESS_ROW].rstrip(),
                                 b" > GENERADAS:  13983816 /  13983816   PAGINA:  33860")
                self.assertTrue(rows[REPORT_ROW].startswith(b" > OK. TIEMPO INVERTIDO:  "), rows[REPORT_ROW])
                self.assertEqual(rows[self.LAST_ROW][1:13], b"444546474849")
                # The program's last picture holds the same last combination.
                final = Picture.ofFile(lister.screenshot)
                self.assertIn(GREEN, final.cell(self.LAST_ROW, 2))
        print("soak: %d listings, %d keys typed, %d cover and full-screen cycles" % (self.RUNS, typed[0], cycles[0]),
              file=sys.stderr)
        self.assertGreater(cycles[0], 0, "no disturbance happened during the listings")


class LostDisplay(unittest.TestCase):
    """The X server ends while lister writes the n = 49 file (an ssh -X
    drops, a logout), 10 times: lister ends with status 1 and a line saying
    so, and the file ends on a whole line."""

    def test_the_file_ends_on_a_whole_line(self):
        sizes = random.Random(20261209)
        for run in range(10):
            with self.subTest(run=run):
                server = XServer(1024, 768)
                self.addCleanup(server.stop)
                lister = Lister(server)
                self.addCleanup(lister.stop)
                lister.answer("49", "g")
                lister.keys("Return")
                path, target = lister.folder.file("VSR_49-6.asc"), sizes.randrange(1 << 20, 150 << 20)
                while lister.alive() and (not os.path.exists(path) or os.path.getsize(path) < target):
                    pass
                stopServer(server.server)
                self.assertEqual(lister.finished(), 1, lister.errors())
                self.assertEqual(os.path.getsize(path) % 14, 0, "a partial last line")
                self.assertEqual(lister.errors(), "lister: the window was lost: its display closed\n")


class WithoutDisplay(unittest.TestCase):
    """Where no window can open, the window screen gives way to the next."""

    def test_the_window_gives_way_when_no_display_opens(self):
        cases = [
            ("no display at all", {}, "neither DISPLAY nor WAYLAND_DISPLAY is set"),
            ("a display that is not there", {"DISPLAY": ":4095"}, "no display"),
            ("the windowless offscreen driver", {"SDL_VIDEODRIVER": "offscreen"}, "offscreen shows no window"),
            ("the windowless dummy driver", {"SDL_VIDEODRIVER": "dummy"}, "dummy shows no window"),
        ]
        for name, extra, reason in cases:
            with self.subTest(name):
                folder = Folder(LISTER, "lister")
                self.addCleanup(folder.remove)
                env = environmentWithout("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR",
                                         "SDL_VIDEODRIVER")
                env.update(extra, LISTER_SCREEN="window")
                run = subprocess.run([folder.executable], input=b"7\rG\r", env=env, capture_output=True,
                                     timeout=STEP_SECONDS * 3)
                errors = run.stderr.decode(errors="replace")
                self.assertEqual(run.returncode, 0, errors)
                self.assertIn("lister: the window screen cannot open (", errors)
                self.assertIn(reason, errors)
                self.assertEqual(os.path.getsize(folder.file("VSR_7-6.asc")), 98)


if __name__ == "__main__":
    if not LISTER or not os.path.exists(LISTER):
        sys.exit("LISTER_BINARY must name the built lister")
    unittest.main(verbosity=2)
