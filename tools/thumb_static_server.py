#!/usr/bin/env python3
"""Loopback HTTP server for the poster thumbnail tests.

Serves the files of a directory, appends every request line's target to a log
file (so a test can count downloads), and prints its port on the first line of
standard output. Query parameters: delay=SECONDS waits before answering;
the path /stream?bytes=N answers N zero bytes without a Content-Length.

usage: thumb_static_server.py ROOT_DIR REQUEST_LOG
"""
import functools
import http.server
import sys
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def __init__(self, *args, request_log, **kwargs):
        self.request_log = request_log
        super().__init__(*args, **kwargs)

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        with open(self.request_log, "a", encoding="utf-8") as log:
            log.write(self.path + "\n")
        parsed = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(parsed.query)
        if "delay" in query:
            time.sleep(float(query["delay"][0]))
        if parsed.path == "/stream":
            self.send_stream(int(query.get("bytes", ["0"])[0]))
            return
        super().do_GET()

    def send_stream(self, total):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        chunk = b"\0" * 65536
        try:
            while total > 0:
                n = min(total, len(chunk))
                self.wfile.write(chunk[:n])
                total -= n
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    root, request_log = sys.argv[1], sys.argv[2]
    handler = functools.partial(Handler, directory=root, request_log=request_log)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
