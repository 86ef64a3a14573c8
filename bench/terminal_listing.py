#!/usr/bin/python3
"""The n = 49 screen listing in the terminal, at 80 x 24 and at 100 x 70,
in pairs, each on a pseudo-terminal of its own whose reader keeps up:

- the listing's own seconds, as the report on row 70 gives them;
- the processor seconds of the whole run (both threads), which depend
  less on what else the machine is doing;
- the bytes lister sent from the answers to its end;
- the ratios of the two sizes' seconds, pair by pair.

Each figure is given as min-max and median over the pairs (5 unless told).

    /usr/bin/python3 bench/terminal_listing.py [path/to/lister] [pairs]
"""

import fcntl
import os
import re
import select
import shutil
import statistics
import struct
import sys
import tempfile
import termios

SIZES = [(80, 24), (100, 70)]
ENVIRONMENT = {"LISTER_SCREEN": "terminal", "TERM": "xterm-256color", "COLORTERM": "truecolor", "LC_ALL": "C.UTF-8"}
PATIENCE_SECONDS = 120
QUESTION = b"NUMERO DE ELEMENTOS"
REPORT_END = b"segundos."
# The report on row 70 of the final grid (LISTER_CELLS: 101 bytes a row).
REPORT = re.compile(rb"TIEMPO INVERTIDO: +([0-9.e+-]+) segundos")
ROW_BYTES = 101


def readUntil(master, found):
    """Reads the terminal until found(bytes so far) is true, or its end
    when found is None; all it read."""
    data = b""
    while found is None or not found(data):
        ready, _, _ = select.select([master], [], [], PATIENCE_SECONDS)
        if not ready:
            raise AssertionError("lister said nothing for %d s" % PATIENCE_SECONDS)
        try:
            data += os.read(master, 65536)
        except OSError:  # the terminal's other end has closed
            if found is None:
                return data
            raise
    return data


def listing(lister, columns, rows, cells):
    """One run: (the listing's seconds, the run's processor seconds, the bytes sent)."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
    pid = os.fork()
    if pid == 0:
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        for fd in (0, 1, 2):
            os.dup2(slave, fd)
        os.execve(lister, [lister], dict(ENVIRONMENT, LISTER_CELLS=cells))
    os.close(slave)
    try:
        readUntil(master, lambda data: QUESTION in data)
        os.write(master, b"49\rP\r")
        sent = readUntil(master, lambda data: REPORT_END in data)
        os.write(master, b"x")
        sent += readUntil(master, None)
        _, status, usage = os.wait4(pid, 0)
        if status != 0:
            raise AssertionError("lister ended with status %d" % status)
        with open(cells, "rb") as grid:
            report = grid.read()[69 * ROW_BYTES:70 * ROW_BYTES]
        return float(REPORT.search(report).group(1)), usage.ru_utime + usage.ru_stime, len(sent)
    finally:
        os.close(master)


def summary(values, unit, digits):
    return "%.*f-%.*f %s (median %.*f)" % (digits, min(values), digits, max(values), unit, digits,
                                           statistics.median(values))


def main():
    lister = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-test/lister")
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    seconds = {size: [] for size in SIZES}
    processor = {size: [] for size in SIZES}
    sent = {size: [] for size in SIZES}
    folder = tempfile.mkdtemp()
    try:
        for pair in range(pairs):
            # Each pair in the other order, so that neither size always goes first.
            for size in SIZES if pair % 2 == 0 else reversed(SIZES):
                took, used, count = listing(lister, *size, os.path.join(folder, "cells.txt"))
                seconds[size].append(took)
                processor[size].append(used)
                sent[size].append(count / 1e6)
    finally:
        shutil.rmtree(folder)
    for size in SIZES:
        print("%d x %d: listing %s, processor %s, %s sent" % (size[0], size[1], summary(seconds[size], "s", 3),
                                                            summary(processor[size], "s", 3), summary(sent[size], "MB", 3)))
    for name, values in (("listing", seconds), ("processor", processor)):
        ratios = [small / large for small, large in zip(values[SIZES[0]], values[SIZES[1]])]
        print("80 x 24 / 100 x 70, %s, pair by pair: %s over %d pairs" % (name, summary(ratios, "", 2), pairs))


if __name__ == "__main__":
    main()
