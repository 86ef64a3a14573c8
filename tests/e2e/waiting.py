"""Waiting in the end-to-end scripts: what they wait for shows on a
screen or in a browser some time later, so they poll for it."""

import time

STEP_SECONDS = 20


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
