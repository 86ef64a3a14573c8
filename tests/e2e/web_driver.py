"""lister's page served and opened in a headless chromium of our own, for
web_e2e.py and bench/web_listing.py: serve.py on a free port, chromium
driven over the DevTools protocol (Debian's python3-websocket), tabs that
are typed at with real key events and whose canvas is read back, the
browser's downloads, and text read off the canvas by the glyphs' shapes."""

import base64
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time

import websocket

from harness import CELL, HEIGHT, STARTUP_SECONDS, STEP_SECONDS, Picture, stopProcess, waitFor

WEB_DIR = os.path.abspath(os.environ.get("LISTER_WEB_DIR", "") or "/nonexistent")

# Debian's own programs: others of these names may come first on PATH.
CHROMIUM = "/usr/bin/chromium"
PYTHON = "/usr/bin/python3"
SERVE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "screen", "back_ends", "web", "serve.py")

WINDOW_SIZE = (840, 800)  # the whole page: the canvas and the lines below it
# A phone held upright: its viewport in CSS pixels, and the screen's
# pixels for each of them.
PHONE = {"width": 390, "height": 844, "deviceScaleFactor": 3, "mobile": True}
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")

# The keys by the names the browser gives them: their code and Windows
# virtual key code, which chromium wants with every key event.
NAMED_KEYS = {
    "Enter": ("Enter", 13), "Escape": ("Escape", 27), "Backspace": ("Backspace", 8), "Tab": ("Tab", 9),
    "ArrowLeft": ("ArrowLeft", 37), "Home": ("Home", 36), "End": ("End", 35), "Delete": ("Delete", 46),
}
ALT = 1  # the DevTools protocol's modifier bit

# A band of a canvas (a height of -1: all of it): its width and its lines
# as base64 RGBA; null while the page loads.
CANVAS_BAND = """((id, top, height) => {
  const canvas = document.getElementById(id);
  if (!canvas) return null;
  const bytes = canvas.getContext('2d').getImageData(0, top, canvas.width, height < 0 ? canvas.height : height).data;
  let text = '';
  for (let at = 0; at < bytes.length; at += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
  return [canvas.width, btoa(text)];
})(%s, %d, %d)"""


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

    def memory(self):
        """The resident memory of all of chromium's processes, in bytes."""
        total = 0
        for name in os.listdir("/proc"):
            if not name.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % name) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                if int(fields[2]) != self.process.pid:  # the process group chromium leads
                    continue
                with open("/proc/%s/statm" % name) as f:
                    total += int(f.read().split()[1]) * PAGE_SIZE
            except (OSError, IndexError, ValueError):
                continue
        return total

    def stop(self):
        if self.socket:
            self.socket.close()
        stopProcess(self.process, group=True)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)


class Peak:
    """The most a sampler gives while it runs, sampled every 50 ms."""

    def __init__(self, sample):
        self.sample, self.highest, self.running = sample, 0, True
        self.thread = threading.Thread(target=self.watch)
        self.thread.start()

    def watch(self):
        while self.running:
            self.highest = max(self.highest, self.sample())
            time.sleep(0.05)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.highest


class Tab:
    """One page of the browser, showing lister."""

    def __init__(self, browser, url, script="", phone=False, fileWorkerScript=""):
        """Opens the url; the script runs in every document the tab loads.
        A phone's tab has its size and touch screen; the file worker script
        runs in the page's file worker before its own, at the first load."""
        self.browser = browser
        self.target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = browser.call("Target.attachToTarget", {"targetId": self.target, "flatten": True})["sessionId"]
        self.call("Runtime.enable")
        self.call("Page.enable")
        if script:
            self.call("Page.addScriptToEvaluateOnNewDocument", {"source": script})
        if phone:
            self.call("Emulation.setDeviceMetricsOverride", PHONE)
            self.call("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})
        if fileWorkerScript:
            # Taken from the server, not from the service worker's files:
            # the bypass holds for the page's workers once the network
            # domain is on.
            self.call("Network.enable")
            self.call("Network.setBypassServiceWorker", {"bypass": True})
            self.call("Fetch.enable", {"patterns": [{"urlPattern": "*/file_worker.js"}]})
        self.call("Page.navigate", {"url": url})
        if fileWorkerScript:
            paused = browser.event("the file worker's script", lambda e: e.get("method") == "Fetch.requestPaused")
            with open(os.path.join(WEB_DIR, "file_worker.js"), "rb") as f:
                body = fileWorkerScript.encode() + b"\n" + f.read()
            self.call("Fetch.fulfillRequest", {
                "requestId": paused["params"]["requestId"], "responseCode": 200,
                "responseHeaders": [{"name": "Content-Type", "value": "text/javascript"},
                                    {"name": "Cross-Origin-Embedder-Policy", "value": "require-corp"}],
                "body": base64.b64encode(body).decode()})
            self.call("Fetch.disable")

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

    def picture(self, firstRow=1, lastRow=75, canvas="screen"):
        """The canvas's rows from firstRow to lastRow; the view's whole canvas
        is the canvas "view"."""
        top, height = (firstRow - 1) * CELL, min((lastRow - firstRow + 1) * CELL, HEIGHT - (firstRow - 1) * CELL)
        if canvas != "screen":
            top, height = 0, -1
        try:
            band = self.evaluate(CANVAS_BAND % (json.dumps(canvas), top, height))
        except AssertionError as failure:
            if "navigated" not in str(failure):
                raise
            band = None  # the page is loading again
        if band is None:
            return None
        width, rgba = band[0], base64.b64decode(band[1])
        rgb = bytearray(len(rgba) // 4 * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
        return Picture(width, len(rgb) // 3 // width, bytes(rgb), top)

    def showing(self, what, test, seconds=STEP_SECONDS, firstRow=1, lastRow=75):
        """Waits until the canvas passes the test; returns that picture."""
        def check():
            picture = self.picture(firstRow, lastRow)
            return picture if picture and test(picture) else None
        try:
            return waitFor(what, check, seconds)
        except AssertionError as failure:
            raise AssertionError("%s; the page says %r\n%s" % (failure, self.status(), self.errors()))

    def keys(self, *keys, modifiers=0):
        """Types the keys: names of NAMED_KEYS, or texts typed a character at
        a time."""
        for key in keys:
            for name in ([key] if key in NAMED_KEYS else list(key)):
                for event in keyEvents(name, modifiers):
                    self.call("Input.dispatchKeyEvent", event)

    def tap(self, selector):
        """A finger's tap in the middle of the element."""
        box = self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect(); "
                            "return [r.x + r.width / 2, r.y + r.height / 2]; })()" % json.dumps(selector))
        self.call("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [{"x": box[0], "y": box[1]}]})
        self.call("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})

    def insertText(self, text):
        """Text as an on-screen keyboard puts it into the focused field."""
        self.call("Input.insertText", {"text": text})

    def spoken(self, selector="#said"):
        """The lines of a live region, in order, as the accessibility tree
        holds them for a screen reader, blanks run together."""
        root = self.call("DOM.getDocument", {"depth": 0})["root"]["nodeId"]
        node = self.call("DOM.querySelector", {"nodeId": root, "selector": selector})["nodeId"]
        found = self.call("Accessibility.queryAXTree", {"nodeId": node, "role": "StaticText"})["nodes"]
        return [" ".join(str(n.get("name", {}).get("value", "")).split()) for n in found]

    def accessible(self):
        """What the accessibility tree holds: (role, name) of each node not ignored,
        the names' blanks run together."""
        nodes = self.call("Accessibility.getFullAXTree")["nodes"]
        return [(n.get("role", {}).get("value"), " ".join(str(n.get("name", {}).get("value", "")).split()))
                for n in nodes if not n.get("ignored")]

    def screenshot(self, path, clip=None):
        """The page as shown, or the part of it clip names (x, y, width, height)."""
        params = {"format": "png"}
        if clip:
            params["clip"] = dict(zip(("x", "y", "width", "height"), clip), scale=1)
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", params)["data"]))

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
