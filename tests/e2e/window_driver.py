"""The built lister shown in its window on an X server of ours, for
window_e2e.py: started from a folder of its own, found by its title, typed
at with xdotool, its picture read back through the X protocol, and asked
where it stands when it hangs."""

import os
import subprocess
import time

from Xlib import X, Xatom, protocol

from harness import (CHOICE_ROW, STARTUP_SECONDS, STEP_SECONDS, WHITE, Folder, Picture, cellRows, frameDrawn,
                     stopProcess, waitFor)

LISTER = os.environ.get("LISTER_BINARY", "")

# Debian's own tools: other programs of these names may come first on PATH.
IMPORT = "/usr/bin/import"
GDB = "/usr/bin/gdb"  # only to tell where a hung run stands

TITLE = "lister_e2e"  # the copy is lister_e2e.bin: the last extension goes


class Lister:
    """The built program, copied to a folder of its own, shown in a window."""

    def __init__(self, server, extraEnvironment=None):
        self.server = server
        self.folder = Folder(LISTER, TITLE + ".bin")
        self.screenshot = self.folder.file("final.png")
        self.cellsPath = self.folder.file("cells.txt")
        self.errorsPath = self.folder.file("errors.txt")
        env = dict(server.environment(), LISTER_SCREEN="window", SDL_RENDER_DRIVER="software",
                   LISTER_SCREENSHOT=self.screenshot, LISTER_CELLS=self.cellsPath)
        env.update(extraEnvironment or {})
        with open(self.errorsPath, "wb") as errors:
            self.process = subprocess.Popen([self.folder.executable], cwd=self.folder.path, env=env,
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

    def answer(self, elements, choice):
        """Types both answers but for the Enter after the second."""
        self.showing("the frame of the dialogue", frameDrawn)
        self.focus()
        self.type(elements)
        self.keys("Return")
        self.showing("the second question", lambda p: p.rowHas(CHOICE_ROW, WHITE))
        self.type(choice)

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
        return cellRows(self.cellsPath)

    def stop(self):
        stopProcess(self.process)
        self.folder.remove()
