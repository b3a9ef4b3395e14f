#!/usr/bin/env python3
"""Serves the page (make web's build/web) on this machine only, with the headers it needs:
cross-origin isolation, so that the module's threads can share its memory, and a content
security policy that lets the page load nothing from any origin but its own.

usage: serve.py [DIR] [--port N] [--port-file FILE]
Port 0 (the default when --port-file is given) takes a free port; the chosen one is written to
FILE. Ctrl+C or SIGTERM ends it."""
import argparse
import functools
import http.server
import os
import signal
import sys

HEADERS = {
    "Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Embedder-Policy": "require-corp",
    "Cross-Origin-Resource-Policy": "same-origin",
    "Content-Security-Policy": "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; "
                               "worker-src 'self'; connect-src 'self'; img-src 'self'; "
                               "style-src 'self'; media-src 'self'; object-src 'none'; "
                               "base-uri 'none'; form-action 'none'; frame-ancestors 'none'",
    "X-Content-Type-Options": "nosniff",
    "Cache-Control": "no-cache",
}


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".wasm": "application/wasm",
                      ".mov": "application/octet-stream", ".bmp": "image/bmp",
                      ".txt": "text/plain; charset=windows-1252"}

    def end_headers(self):
        for name, value in HEADERS.items():
            self.send_header(name, value)
        super().end_headers()

    def log_message(self, format, *args):
        if self.server.verbose:
            super().log_message(format, *args)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir", nargs="?", default=os.path.join(os.getcwd(), "build", "web"))
    parser.add_argument("--port", type=int, default=None)
    parser.add_argument("--port-file")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.dir, "index.html")):
        sys.exit(f"serve.py: no page in {args.dir} (run make web first)")
    port = args.port if args.port is not None else (0 if args.port_file else 8080)
    handler = functools.partial(Handler, directory=args.dir)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    server.verbose = args.verbose
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".new", "w") as f:
            f.write(f"{port}\n")
        os.replace(args.port_file + ".new", args.port_file)
    print(f"serving {args.dir} at http://127.0.0.1:{port}/ (Ctrl+C ends it)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
