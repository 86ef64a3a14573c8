"""lister.exe under Wine, for windows_e2e.py: a Wine prefix of its own for
the whole run of the tests, an environment free of the caller's display and
Wine settings, and paths as Windows names them."""

import shutil
import subprocess
import tempfile

from harness import STEP_SECONDS, environmentWithout

# Debian's own: other programs of these names may come first on PATH.
WINE = "/usr/bin/wine"
WINEBOOT = "/usr/bin/wineboot"
WINESERVER = "/usr/bin/wineserver"
WINEPATH = "/usr/bin/winepath"

PREFIX_SECONDS = 180  # the first start of a Wine prefix builds its registry

wineEnvironment = {}  # WINEPREFIX and WINEDEBUG, set once the prefix is ready


def cleanEnvironment():
    return environmentWithout("DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX", "WINEDEBUG")


def makePrefix():
    prefix = tempfile.mkdtemp(prefix="lister-wine-")
    wineEnvironment.update(WINEPREFIX=prefix, WINEDEBUG="-all")
    env = dict(cleanEnvironment(), **wineEnvironment)
    env.pop("DISPLAY", None)  # no dialogue of wineboot's may wait for a click
    try:
        subprocess.run([WINEBOOT, "-i"], env=env, check=True, timeout=PREFIX_SECONDS,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env, check=True, timeout=PREFIX_SECONDS)
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
        raise AssertionError("cannot make a Wine prefix: %s" % failure)


def removePrefix():
    prefix = wineEnvironment.get("WINEPREFIX")
    if prefix:
        subprocess.run([WINESERVER, "-k"], env=dict(cleanEnvironment(), **wineEnvironment), timeout=STEP_SECONDS)
        shutil.rmtree(prefix, ignore_errors=True)


def windowsPath(path):
    env = dict(cleanEnvironment(), **wineEnvironment)
    run = subprocess.run([WINEPATH, "-w", path], env=env, capture_output=True, check=True, timeout=STEP_SECONDS)
    return run.stdout.decode().strip()
