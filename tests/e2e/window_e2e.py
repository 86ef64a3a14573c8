#!/usr/bin/python3
"""The built lister in its window, end to end, on an X server of its own.

Each group starts what it needs itself (Xvfb, openbox) and fails when it
cannot: a missing X server must never pass for a working window. Keys are
typed through the X server with xdotool, the window is read back through
the X protocol and with ImageMagick's import.

    LISTER_BINARY=build/lister /usr/bin/python3 tests/e2e/window_e2e.py [group]

Groups: PlainServer, UnderOpenbox, Soak, WithoutDisplay. Screenshots are kept in
LISTER_WINDOW_SHOTS when it is set.
"""

import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from Xlib import X, Xatom, display as xdisplay, protocol

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from waiting import STEP_SECONDS, waitFor  # noqa: E402

LISTER = os.environ.get("LISTER_BINARY", "")
SHOTS = os.environ.get("LISTER_WINDOW_SHOTS", "")

# Debian's own tools: other programs of these names may come first on PATH.
XVFB = "/usr/bin/Xvfb"
XAUTH = "/usr/bin/xauth"
XDOTOOL = "/usr/bin/xdotool"
OPENBOX = "/usr/bin/openbox"
WMCTRL = "/usr/bin/wmctrl"
IMPORT = "/usr/bin/import"
CONVERT = "/usr/bin/convert"
GDB = "/usr/bin/gdb"  # only to tell where a hung run stands

TITLE = "lister_e2e"  # the copy is lister_e2e.bin: the last extension goes
WIDTH, HEIGHT = 800, 600
CELL = 8

BACKGROUND = (0x00, 0x00, 0x44)
BAR = (0x00, 0x88, 0x00)
FRAME_TEXT = (0xAA, 0xEE, 0xAA)
WHITE = (0xFF, 0xFF, 0xFF)
GREEN = (0x00, 0xFF, 0x00)
BLACK = (0x00, 0x00, 0x00)

ELEMENTS_ROW, CHOICE_ROW, TOTAL_ROW = 4, 5, 6
BAR_ROWS = (3, 7, 67)
PROGRESS_ROW, CLOSING_ROW, REPORT_ROW = 68, 69, 70
ANSWER_COLUMN = 58
SEVEN_IN_PROMPT = 51  # the 7 of "(7-49)"
G_IN_PROMPT = 34  # the G of "(G)UARDAR"

STARTUP_SECONDS = 20


def stopProcess(process):
    if process and process.poll() is None:
        process.kill()
        process.wait(timeout=10)


def stopServer(server):
    """Ends an X server the way that lets it remove its socket."""
    if server and server.poll() is None:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            stopProcess(server)


def displayAnswers(number):
    """Whether an X server listens on the display: a socket file left by a
    killed server does not count, and one in use need not have a file."""
    for address in ("\0/tmp/.X11-unix/X%d" % number, "/tmp/.X11-unix/X%d" % number):
        probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            probe.connect(address)
            return True
        except OSError:
            pass
        finally:
            probe.close()
    return False


class XServer:
    """An Xvfb of our own with an authorisation cookie, optionally with openbox."""

    def __init__(self, width, height, windowManager=False):
        self.folder = tempfile.mkdtemp(prefix="lister-x-")
        # The X library of this process reads its cookie from XAUTHORITY.
        self.auth = os.path.join(self.folder, "auth")
        os.environ["XAUTHORITY"] = self.auth
        open(self.auth, "wb").close()
        self.logs = []
        self.server = None
        self.manager = None
        try:
            self._startServer(width, height)
            self.display = xdisplay.Display(self.name)
            if windowManager:
                self._startManager()
        except BaseException:
            self.stop()
            raise

    def _startServer(self, width, height):
        cookie = secrets.token_hex(16)
        for number in range(64, 200):
            if displayAnswers(number):
                continue
            name = ":%d" % number
            subprocess.run([XAUTH, "-q", "-f", self.auth, "add", name, ".", cookie], check=True, timeout=10)
            ready, written = os.pipe()
            log = self._log("xvfb.log")
            self.server = subprocess.Popen(
                [XVFB, name, "-auth", self.auth, "-screen", "0", "%dx%dx24" % (width, height),
                 "-nolisten", "tcp", "-displayfd", str(written)],
                pass_fds=(written,), stdout=log, stderr=log)
            os.close(written)
            announced = self._readAnnouncement(ready)
            os.close(ready)
            if announced == str(number):
                self.name = name
                return
            stopServer(self.server)
            self.server = None
        raise AssertionError("cannot start an X server (Xvfb); is the xvfb package installed?")

    def _log(self, name):
        log = open(os.path.join(self.folder, name), "wb")
        self.logs.append(log)
        return log

    def _readAnnouncement(self, fd):
        deadline = time.monotonic() + STARTUP_SECONDS
        text = b""
        os.set_blocking(fd, False)
        while time.monotonic() < deadline and self.server.poll() is None:
            try:
                chunk = os.read(fd, 64)
            except BlockingIOError:
                chunk = None
            if chunk:
                text += chunk
                if text.endswith(b"\n"):
                    return text.decode().strip()
            elif chunk == b"":
                break
            time.sleep(0.05)
        return ""

    def _startManager(self):
        home = os.path.join(self.folder, "home")
        os.makedirs(home, exist_ok=True)
        env = dict(self.environment(), HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        log = self._log("openbox.log")
        self.manager = subprocess.Popen([OPENBOX, "--sm-disable"], env=env, stdout=log, stderr=log)
        root = self.display.screen().root
        check = self.display.intern_atom("_NET_SUPPORTING_WM_CHECK")
        waitFor("openbox to manage the screen",
                lambda: self.manager.poll() is None and root.get_full_property(check, Xatom.WINDOW),
                STARTUP_SECONDS)
        if self.manager.poll() is not None:
            raise AssertionError("openbox ended at once")

    def environment(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("LISTER_") and k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        env.update(DISPLAY=self.name, XAUTHORITY=self.auth)
        return env

    def xdotool(self, *arguments):
        subprocess.run([XDOTOOL, *arguments], env=self.environment(), check=True, timeout=STEP_SECONDS)

    def stop(self):
        if getattr(self, "display", None):
            try:
                self.display.close()
            except Exception:
                pass
        stopProcess(self.manager)
        stopServer(self.server)
        for log in self.logs:
            log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


class Picture:
    """Pixels as (red, green, blue), read from the X server or from a file."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def ofWindow(display, window, width, height):
        image = window.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        if isinstance(data, str):
            data = data.encode("latin-1")
        if len(data) != width * height * 4 or display.display.info.image_byte_order != X.LSBFirst:
            raise AssertionError("unexpected image layout from the X server")
        rgb = bytearray(width * height * 3)
        rgb[0::3] = data[2::4]
        rgb[1::3] = data[1::4]
        rgb[2::3] = data[0::4]
        return Picture(width, height, bytes(rgb))

    @staticmethod
    def ofFile(path):
        size = subprocess.run([CONVERT, path, "-format", "%w %h", "info:"], capture_output=True, check=True,
                              timeout=STEP_SECONDS).stdout.split()
        rgb = subprocess.run([CONVERT, path, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                             timeout=STEP_SECONDS).stdout
        return Picture(int(size[0]), int(size[1]), rgb)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def cell(self, row, column):
        """The 64 pixels of a cell, row by row."""
        x0, y0 = (column - 1) * CELL, (row - 1) * CELL
        return [self.at(x0 + dx, y0 + dy) for dy in range(CELL) for dx in range(CELL)]

    def ink(self, row, column, background=BACKGROUND):
        return [pixel != background for pixel in self.cell(row, column)]

    def rowHas(self, row, colour):
        return any(pixel == colour for column in range(1, 101) for pixel in self.cell(row, column))

    def differences(self, other):
        if (self.width, self.height) != (other.width, other.height):
            return -1
        return sum(1 for i in range(0, len(self.rgb), 3) if self.rgb[i:i + 3] != other.rgb[i:i + 3])


class Lister:
    """The built program, copied to a folder of its own, shown in a window."""

    def __init__(self, server, extraEnvironment=None):
        self.server = server
        self.folder = tempfile.mkdtemp(prefix="lister-run-")
        self.executable = os.path.join(self.folder, TITLE + ".bin")
        shutil.copy(LISTER, self.executable)
        self.screenshot = os.path.join(self.folder, "final.png")
        self.cellsPath = os.path.join(self.folder, "cells.txt")
        self.errorsPath = os.path.join(self.folder, "errors.txt")
        env = dict(server.environment(), LISTER_SCREEN="window", SDL_RENDER_DRIVER="software",
                   LISTER_SCREENSHOT=self.screenshot, LISTER_CELLS=self.cellsPath)
        env.update(extraEnvironment or {})
        with open(self.errorsPath, "wb") as errors:
            self.process = subprocess.Popen([self.executable], cwd=self.folder, env=env,
                                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=errors)
        self.window = waitFor("a window titled " + TITLE, self._findWindow, STARTUP_SECONDS)

    def _findWindow(self):
        if self.process.poll() is not None:
            raise AssertionError("lister ended before its window showed: " + self.errors())
        display = self.server.display
        netName = display.intern_atom("_NET_WM_NAME")
        utf8 = display.intern_atom("UTF8_STRING")
        pending = [display.screen().root]
        while pending:
            window = pending.pop()
            try:
                name = window.get_full_property(netName, utf8)
                if name and name.value in (TITLE.encode(), TITLE) and \
                        window.get_attributes().map_state == X.IsViewable:
                    return window
                pending.extend(window.query_tree().children)
            except Exception:
                continue  # windows come and go meanwhile
        return None

    def errors(self):
        with open(self.errorsPath, "rb") as f:
            return f.read().decode(errors="replace")

    def alive(self):
        return self.process.poll() is None

    def size(self):
        geometry = self.window.get_geometry()
        return geometry.width, geometry.height

    def position(self):
        root = self.server.display.screen().root
        at = root.translate_coords(self.window, 0, 0)
        return at.x, at.y

    def states(self):
        display = self.server.display
        value = self.window.get_full_property(display.intern_atom("_NET_WM_STATE"), Xatom.ATOM)
        return {display.get_atom_name(a) for a in (value.value if value else [])}

    def picture(self):
        width, height = self.size()
        return Picture.ofWindow(self.server.display, self.window, width, height)

    def showing(self, what, test):
        """Waits until the window's picture passes the test; returns that picture."""
        def check():
            if not self.alive():
                raise AssertionError("lister ended while waiting for %s: %s" % (what, self.errors()))
            picture = self.picture()
            return picture if test(picture) else None
        return waitFor(what, check)

    def capture(self, path):
        """A screenshot of the window with ImageMagick, as a user would take it."""
        subprocess.run([IMPORT, "-window", str(self.window.id), path], env=self.server.environment(),
                       check=True, timeout=STEP_SECONDS)
        return Picture.ofFile(path)

    def focus(self):
        self.server.xdotool("windowfocus", "--sync", str(self.window.id))

    def keys(self, *names):
        self.server.xdotool("key", "--delay", "40", *names)

    def type(self, text):
        self.server.xdotool("type", "--delay", "40", text)

    def sendCloseRequest(self):
        """What the close button of any window manager sends."""
        display = self.server.display
        message = protocol.event.ClientMessage(
            window=self.window, client_type=display.intern_atom("WM_PROTOCOLS"),
            data=(32, [display.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        self.window.send_event(message, event_mask=X.NoEventMask)
        display.sync()

    def finished(self, seconds=STEP_SECONDS):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError("lister did not end: " + self.errors() + self.whereItStands())

    def whereItStands(self):
        """What a hung run was doing: whether its window still changes, and
        every thread's stack when gdb is there to read them."""
        lines = []
        try:
            before = self.picture()
            time.sleep(2)
            lines.append("the window %s over 2 s" %
                         ("still changes" if before.differences(self.picture()) else "did not change"))
            focus = self.server.display.get_input_focus().focus
            lines.append("the input focus is on %s, the window is 0x%x in states %s" %
                         (focus if isinstance(focus, int) else "0x%x" % focus.id, self.window.id,
                          sorted(self.states())))
        except Exception as error:
            lines.append("the window could not be read: %r" % error)
        if os.path.exists(GDB):
            stacks = subprocess.run([GDB, "-p", str(self.process.pid), "-batch", "-nx", "-ex", "thread apply all bt 30"],
                                    capture_output=True, timeout=120)
            lines.append(stacks.stdout.decode(errors="replace")[-20000:])
        return "\n" + "\n".join(lines)

    def cells(self):
        with open(self.cellsPath, "rb") as f:
            data = f.read()
        return [b""] + [data[at:at + 100] for at in range(0, len(data) - 100, 101)]

    def stop(self):
        stopProcess(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)


def frameDrawn(picture):
    """The frame of the dialogue: blue ground, three green bars, the title."""
    bars = all(picture.at(x, (row - 1) * CELL + 4) == BAR for row in BAR_ROWS for x in (0, 400, 799))
    return bars and picture.at(400, 300) == BACKGROUND and picture.at(4, 596) == BACKGROUND and \
        picture.rowHas(1, FRAME_TEXT)


def keepShot(path, name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        shutil.copy(path, os.path.join(SHOTS, name))


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
        shown = lister.capture(os.path.join(lister.folder, "window.png"))

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
        with open(os.path.join(lister.folder, "VSR_7-6.asc"), "rb") as f:
            listing = f.read()
        self.assertEqual(len(listing), 98)
        self.assertTrue(listing.startswith(b"010203040506\r\n010203040507\r\n"))
        self.assertTrue(listing.endswith(b"020304050607\r\n"))

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
        path = os.path.join(lister.folder, "window.png")
        shown = lister.capture(path)
        keepShot(path, "window.png")
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

    def rootPicture(self):
        root = self.server.display.screen().root
        return Picture.ofWindow(self.server.display, root, self.screenWidth, self.screenHeight)

    def waitWindowed(self, lister, what):
        waitFor(what, lambda: lister.size() == (WIDTH, HEIGHT) and
                not lister.states() & {"_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_MAXIMIZED_VERT"})

    def waitFullScreen(self, lister, windowed, what):
        waitFor(what, lambda: lister.size() == (self.screenWidth, self.screenHeight) and
                "_NET_WM_STATE_FULLSCREEN" in lister.states())
        # Scaled by 2 whole pixels and centred, black all round.
        left, top = (self.screenWidth - 2 * WIDTH) // 2, (self.screenHeight - 2 * HEIGHT) // 2

        def scaled():
            shot = self.rootPicture()
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
        path = os.path.join(lister.folder, "full_screen.png")
        subprocess.run([IMPORT, "-window", "root", path], env=self.server.environment(), check=True,
                       timeout=STEP_SECONDS)
        keepShot(path, "full_screen.png")
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
                lister.showing("the frame of the dialogue", frameDrawn)
                lister.focus()
                lister.type("49")
                lister.keys("Return")
                lister.showing("the second question", lambda p: p.rowHas(CHOICE_ROW, WHITE))
                lister.type("p")
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
                folder = tempfile.mkdtemp(prefix="lister-nodisplay-")
                self.addCleanup(shutil.rmtree, folder, True)
                executable = os.path.join(folder, "lister")
                shutil.copy(LISTER, executable)
                env = {k: v for k, v in os.environ.items()
                       if not k.startswith("LISTER_") and k not in
                       ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR", "SDL_VIDEODRIVER")}
                env.update(extra, LISTER_SCREEN="window")
                run = subprocess.run([executable], input=b"7\rG\r", env=env, capture_output=True,
                                     timeout=STEP_SECONDS * 3)
                errors = run.stderr.decode(errors="replace")
                self.assertEqual(run.returncode, 0, errors)
                self.assertIn("lister: the window screen cannot open (", errors)
                self.assertIn(reason, errors)
                self.assertEqual(os.path.getsize(os.path.join(folder, "VSR_7-6.asc")), 98)


if __name__ == "__main__":
    if not LISTER or not os.path.exists(LISTER):
        sys.exit("LISTER_BINARY must name the built lister")
    unittest.main(verbosity=2)
