"""What the end-to-end scripts of the window (window_e2e.py), of lister.exe
under Wine (windows_e2e.py) and of the browser build (web_e2e.py) share:
waiting, the screen's geometry and colours, processes and the folders they
run in, an X server of our own, pictures, and the references the program
is checked against: every combination, and the Linux build's headless run."""

import itertools
import os
import secrets
import shutil
import signal
import socket
import subprocess
import tempfile
import time

try:
    from Xlib import X, Xatom, display as xdisplay
except ImportError:  # Debian's python3-xlib: the browser's tests need no X server
    X = Xatom = xdisplay = None

LINUX_LISTER = os.path.abspath(os.environ.get("LISTER_LINUX_BINARY", "") or "/nonexistent")

# Debian's own tools: other programs of these names may come first on PATH.
CONVERT = "/usr/bin/convert"
XVFB = "/usr/bin/Xvfb"
XAUTH = "/usr/bin/xauth"
XDOTOOL = "/usr/bin/xdotool"
OPENBOX = "/usr/bin/openbox"

# What is waited for shows some time later, so the scripts poll for it.
STEP_SECONDS = 20  # a key's effect, a picture, a small run
STARTUP_SECONDS = 30  # an X server, a window manager, a window, a browser, a page

# The screen: 100 x 70 cells of 8 x 8 pixels, and below them 40 pixel lines.
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
FINISHED = " > OK. TIEMPO INVERTIDO:  "  # how the report of a whole listing starts


def waitFor(what, test, seconds=STEP_SECONDS):
    """Polls until test() gives something true and returns it; fails after the time."""
    deadline = time.monotonic() + seconds
    while True:
        result = test()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %s s waiting for %s" % (seconds, what))
        time.sleep(0.05)


def stopProcess(process, group=False):
    """Kills the process, or the process group it leads, if it still runs."""
    if process and process.poll() is None:
        if group:
            os.killpg(process.pid, signal.SIGKILL)
        else:
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


def environmentWithout(*names):
    """This process's environment without lister's own settings (LISTER_*)
    and without the variables named."""
    return {k: v for k, v in os.environ.items() if not k.startswith("LISTER_") and k not in names}


class Folder:
    """A program copied into a folder of its own: its output lands there."""

    def __init__(self, program, name):
        self.path = tempfile.mkdtemp(prefix="lister-run-")
        self.executable = os.path.join(self.path, name)
        shutil.copy(program, self.executable)

    def file(self, name):
        return os.path.join(self.path, name)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


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
        if xdisplay is None:
            raise AssertionError("the X tests need Python's X library; install the Debian package python3-xlib")
        self.width, self.height = width, height
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
        env = environmentWithout("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")
        env.update(DISPLAY=self.name, XAUTHORITY=self.auth)
        return env

    def xdotool(self, *arguments):
        subprocess.run([XDOTOOL, *arguments], env=self.environment(), check=True, timeout=STEP_SECONDS)

    def picture(self):
        """The whole screen, as it shows now."""
        return Picture.ofWindow(self.display, self.display.screen().root, self.width, self.height)

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
    """Pixels as (red, green, blue), read from an X server, a file or a
    canvas: `height` lines of `width` pixels from the picture's line `top`
    on (a band of a canvas need not start at its top)."""

    def __init__(self, width, height, rgb, top=0):
        self.width, self.height, self.rgb, self.top = width, height, rgb, top

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
        i = ((y - self.top) * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def cell(self, row, column):
        """The 64 pixels of a cell, row by row."""
        x0, y0 = (column - 1) * CELL, (row - 1) * CELL
        return tuple(self.at(x0 + dx, y0 + dy) for dy in range(CELL) for dx in range(CELL))

    def ink(self, row, column, background=BACKGROUND):
        return [pixel != background for pixel in self.cell(row, column)]

    def rowHas(self, row, colour):
        return any(pixel == colour for column in range(1, 101) for pixel in self.cell(row, column))

    def differences(self, other):
        """How many pixels differ; -1 when the sizes do."""
        if (self.width, self.height) != (other.width, other.height):
            return -1
        return sum(1 for i in range(0, len(self.rgb), 3) if self.rgb[i:i + 3] != other.rgb[i:i + 3])

    def differingCells(self, other, rows, skip=lambda row, column: False):
        """The (row, column) of every cell of those rows that differs, but those skipped."""
        return [(row, column) for row in rows for column in range(1, 101)
                if not skip(row, column) and self.cell(row, column) != other.cell(row, column)]


def frameDrawn(picture):
    """The frame of the dialogue: blue ground, three green bars, the title."""
    bars = all(picture.at(x, (row - 1) * CELL + 4) == BAR for row in BAR_ROWS for x in (0, 400, 799))
    return bars and picture.at(400, 300) == BACKGROUND and picture.at(4, 596) == BACKGROUND and \
        picture.rowHas(1, FRAME_TEXT)


def keepShot(path, name, shots):
    """Keeps a copy of a screenshot as `name` in the folder `shots`, when one is named."""
    if shots:
        os.makedirs(shots, exist_ok=True)
        shutil.copy(path, os.path.join(shots, name))


def expectedListing(n):
    """Every 6 of 1..n in lexicographic order, 12 digits and CR LF each,
    in pieces: all lines with the same first five numbers at a time."""
    labels = [b"%02d" % i for i in range(n + 1)]
    for first in itertools.combinations(range(1, n + 1), 5):
        prefix = b"".join(labels[e] for e in first)
        yield b"".join(prefix + labels[last] + b"\r\n" for last in range(first[-1] + 1, n + 1))


def cellRows(path):
    """Rows 1-70 of a cells file (index 0 is empty), each its 100 bytes."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != 70 * 101 or any(data[at + 100] != 0x0A for at in range(0, len(data), 101)):
        raise AssertionError("%s is no 70 x 100 cells file (%d bytes)" % (path, len(data)))
    return [b""] + [data[at:at + 100] for at in range(0, len(data), 101)]


def shownPath(path, room):
    """A path as a row of `room` cells shows it: in code page 437, whole
    when it fits, else its first 20 characters, "..." and its tail."""
    text = path.encode("cp437", errors="replace")
    return text if len(text) <= room else text[:20] + b"..." + text[len(text) - (room - 23):]


def linuxRun(keys):
    """The Linux build's headless run of the keys: its last picture and its
    cells, rows 1-70 (index 0 empty)."""
    folder = tempfile.mkdtemp(prefix="lister-linux-")
    try:
        shot, cellsPath = os.path.join(folder, "final.png"), os.path.join(folder, "cells.txt")
        env = dict(environmentWithout(), LISTER_SCREEN="headless", LISTER_SCREENSHOT=shot, LISTER_CELLS=cellsPath)
        subprocess.run([LINUX_LISTER], input=keys, env=env, check=True, capture_output=True, timeout=STEP_SECONDS,
                       cwd=folder)
        return Picture.ofFile(shot), cellRows(cellsPath)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
