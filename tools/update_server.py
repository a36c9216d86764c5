#!/usr/bin/env python3
"""Loopback update server for tests and manual runs.

Serves the files under --dir over HTTP, read again on every request, so a
test can rewrite the manifest ("ota/qz-nuvalto.json") while the server runs.
A missing file answers 404 with an HTML page: downloaded without "-f", that
page is what a broken package looks like.

Any request may carry "?delay=SECONDS" to make the answer late (slow
downloads, concurrent installs).

--make-packages DIR writes the test packages and exits:
  good.zip       bin/qz-nuvalto-native64, bin/qz-nuvalto-native, launch.sh,
                 share/readme.txt, all mode 0644 so the installer's chmod shows
  corrupt.zip    the good package cut in half
  traversal.zip  a good entry plus "../escaped.txt" and "sub/../../escaped2.txt"
  absolute.zip   a good entry plus an absolute entry name (--absolute-entry)
  html.zip       an HTML error page under a package name
  sha256.txt     "HEX  NAME" per package

Start with --port 0 for a free port; the bound port is printed as "port N"
and, with --port-file, written to that file (atomically). Started a second
time with --port 4549 it plays the device's own fall-back endpoint; when the
port is taken it exits with status 3.
"""

import argparse
import hashlib
import http.server
import os
import socketserver
import sys
import time
import urllib.parse
import zipfile

PORT_TAKEN_STATUS = 3
ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n"


def add_entry(archive, name, data, mode=0o644):
    info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in entries:
            add_entry(archive, name, data)


GOOD_ENTRIES = [
    ("bin/qz-nuvalto-native64", b"#!/bin/sh\necho native64\n"),
    ("bin/qz-nuvalto-native", b"#!/bin/sh\necho native\n"),
    ("launch.sh", b"#!/bin/sh\nexec ./bin/qz-nuvalto-native64\n"),
    ("share/readme.txt", b"new version\n"),
]


def make_packages(out_dir, absolute_entry):
    os.makedirs(out_dir, exist_ok=True)
    good = os.path.join(out_dir, "good.zip")
    write_zip(good, GOOD_ENTRIES)
    with open(good, "rb") as f:
        data = f.read()
    with open(os.path.join(out_dir, "corrupt.zip"), "wb") as f:
        f.write(data[: len(data) // 2])
    # ZipInfo keeps these names as given (ZipFile.write would normalise them).
    write_zip(os.path.join(out_dir, "traversal.zip"),
              [("share/readme.txt", b"inside\n"), ("../escaped.txt", b"outside\n"),
               ("sub/../../escaped2.txt", b"outside\n")])
    write_zip(os.path.join(out_dir, "absolute.zip"),
              [("share/readme.txt", b"inside\n"), (absolute_entry, b"outside\n")])
    with open(os.path.join(out_dir, "html.zip"), "wb") as f:
        f.write(ERROR_PAGE)
    names = ["good.zip", "corrupt.zip", "traversal.zip", "absolute.zip", "html.zip"]
    with open(os.path.join(out_dir, "sha256.txt"), "w") as f:
        for name in names:
            with open(os.path.join(out_dir, name), "rb") as pkg:
                f.write("%s  %s\n" % (hashlib.sha256(pkg.read()).hexdigest(), name))


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if "delay" in query:
            time.sleep(float(query["delay"][0]))
        rel = urllib.parse.unquote(url.path).lstrip("/")
        full = os.path.realpath(os.path.join(self.root, rel))
        if not full.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(full):
            self.answer(404, "text/html", ERROR_PAGE)
            return
        with open(full, "rb") as f:
            body = f.read()
        kind = "application/json" if full.endswith(".json") else "application/zip"
        self.answer(200, kind, body)

    def answer(self, status, kind, body):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, fmt, *args):
        sys.stderr.write("[update_server] " + (fmt % args) + "\n")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def write_port_file(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dir", default=".", help="directory whose files are served")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--make-packages", metavar="DIR")
    parser.add_argument("--absolute-entry", default="/tmp/qz-update-absolute-entry.txt")
    args = parser.parse_args()

    if args.make_packages:
        make_packages(args.make_packages, args.absolute_entry)
        return 0

    Handler.root = args.dir
    try:
        server = Server((args.host, args.port), Handler)
    except OSError as e:
        sys.stderr.write("[update_server] cannot bind %s:%d: %s\n" % (args.host, args.port, e))
        return PORT_TAKEN_STATUS
    port = server.server_address[1]
    if args.port_file:
        write_port_file(args.port_file, port)
    print("port %d" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
