#!/usr/bin/python3
"""Serves the browser build of lister on 127.0.0.1 with the two headers
that make the page cross-origin isolated (COOP same-origin, COEP
require-corp): without them the browser gives lister no shared memory.

    /usr/bin/python3 screen/back_ends/web/serve.py [folder] [--port N] [--plain]

The folder is build-web by default. --port 0 takes any free port; the
first line printed is the address to open. --plain leaves the headers out,
as a host that cannot send them would.
"""

import argparse
import functools
import http.server
import sys

DEFAULT_PORT = 8049
ISOLATION_HEADERS = (("Cross-Origin-Opener-Policy", "same-origin"),
                     ("Cross-Origin-Embedder-Policy", "require-corp"))


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript",
                             ".webmanifest": "application/manifest+json"})
    isolated = True

    def end_headers(self):
        if self.isolated:
            for name, value in ISOLATION_HEADERS:
                self.send_header(name, value)
        self.send_header("Cache-Control", "no-cache")  # a new build shows at the next load
        super().end_headers()

    def log_message(self, format, *args):
        pass  # one line per file would bury the address


def main():
    parser = argparse.ArgumentParser(description="Serves the browser build of lister on 127.0.0.1.")
    parser.add_argument("folder", nargs="?", default="build-web")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT)
    parser.add_argument("--plain", action="store_true", help="without the isolation headers")
    options = parser.parse_args()
    handler = type("PageHandler", (Handler,), {"isolated": not options.plain})
    try:
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", options.port), functools.partial(handler, directory=options.folder))
    except OSError as error:
        sys.exit("serve.py: cannot listen on 127.0.0.1:%d: %s" % (options.port, error.strerror))
    print("lister: http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
