#!/usr/bin/env python3
"""Loopback stand-in for the catalog service, for tests and the demo.

Serves the catalog API from a folder of JSON files:

  home.json                  GET /api/videos/home            (trending)
  home-{category}.json       GET /api/videos/home?category={category}
  videos/{slug}.json         GET /api/videos/{slug}
  search/{q}.json            GET /api/videos/search?q={q}    (optional; raw q,
                             "+" kept; without it the titles of every shelf
                             are searched, accents ignored)
  extract.json               POST /api/extract               (optional map of
                             stream URL -> playable URL; without it the URL
                             is echoed)

POST /api/extract can answer otherwise (--extract-answer, or GET
/__extract?answer=...): echo (the above) | signed (the URL with
"signature=loopback" added to its query) | empty ({"url": ""}). With
--extract-body-file, the exact bytes of the last extraction body received
are written to that file (replaced whole, so a reader never sees half).

"{BASE}" in a file is replaced by this server's own base URL, so fixtures can
point posters and streams back here. GET /posters/{name} serves DATA/posters/{name}
when that file exists, and otherwise draws a PNG poster for names ending in .png.

Answers can be spoiled on purpose (flags, or GET /__mode?mode=...):
  normal | slow (answer after --delay seconds) | hang (read the request, never
  answer, until the client gives up) | close (close without any answer) |
  html404 (an HTML error page) | invalid (200 with broken JSON) |
  status (--status code with an HTML body)
optionally only for requests whose path starts with --path.

GET /__requests lists the API requests seen (method, path, user agent, body);
GET /__reset clears that list, the mode, the extract answer and the saved
extraction body.

The chosen port is the first line on stdout (and goes to --port-file).
Python standard library only.
"""

import argparse
import json
import os
import select
import socket
import struct
import sys
import threading
import time
import unicodedata
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MODES = ("normal", "slow", "hang", "close", "html404", "invalid", "status")
EXTRACT_ANSWERS = ("echo", "signed", "empty")
HTML_404 = (b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
            b"<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body></html>\n")
BROKEN_JSON = b'[{"id": "1", "title": "Broken", "slug": "broken",'
HANG_LIMIT_SECONDS = 600


class State:
    def __init__(self, data_dir, mode, delay, status, path, extract_answer="echo", extract_body_file=None):
        self.lock = threading.Lock()
        self.data_dir = data_dir
        self.base = ""
        self.requests = []
        self.extract_body_file = extract_body_file
        self.set_mode(mode, delay, status, path)
        self.set_extract_answer(extract_answer)

    def set_extract_answer(self, answer):
        if answer not in EXTRACT_ANSWERS:
            raise ValueError("unknown extract answer " + answer)
        with self.lock:
            self.extract_answer = answer

    def forget_extract_body(self):
        if self.extract_body_file:
            with self.lock:
                try:
                    os.remove(self.extract_body_file)
                except FileNotFoundError:
                    pass

    def save_extract_body(self, body):
        if not self.extract_body_file:
            return
        with self.lock:
            tmp = self.extract_body_file + ".tmp"
            with open(tmp, "wb") as f:
                f.write(body)
            os.replace(tmp, self.extract_body_file)

    def set_mode(self, mode, delay=0.0, status=500, path=""):
        if mode not in MODES:
            raise ValueError("unknown mode " + mode)
        with self.lock:
            self.mode, self.delay, self.status, self.path = mode, delay, status, path

    def mode_for(self, request_path):
        with self.lock:
            if self.path and not request_path.startswith(self.path):
                return "normal", 0.0, 200
            return self.mode, self.delay, self.status

    def record(self, entry):
        with self.lock:
            self.requests.append(entry)

    def take_requests(self):
        with self.lock:
            return list(self.requests)


def fold(text):
    """Upper case without accents, so "MAT BIEC" finds "Mắt Biếc"."""
    text = text.replace("đ", "d").replace("Đ", "D")
    decomposed = unicodedata.normalize("NFD", text)
    return "".join(c for c in decomposed if not unicodedata.combining(c)).upper()


def png_bytes(width, height, seed):
    """A vertical two-colour gradient poster with a darker band."""
    r0, g0, b0 = (seed * 53) % 200 + 40, (seed * 97) % 200 + 30, (seed * 151) % 200 + 50
    rows = []
    for y in range(height):
        t = y / max(1, height - 1)
        shade = 0.45 if height * 0.7 < y < height * 0.85 else 1.0
        px = bytes((int(r0 * (1 - t) * shade) + 10, int(g0 * (1 - t * 0.5) * shade), int(b0 * shade)))
        rows.append(b"\x00" + px * width)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


class Handler(BaseHTTPRequestHandler):
    server_version = "QzCatalog/1.0"
    state = None  # set by main()
    quiet = True

    def log_message(self, fmt, *args):
        if not self.quiet:
            sys.stderr.write("[catalog_server] " + (fmt % args) + "\n")

    # -- plumbing ---------------------------------------------------------
    def send(self, code, body, content_type="application/json; charset=utf-8"):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def read_file(self, relative):
        root = os.path.realpath(self.state.data_dir)
        full = os.path.realpath(os.path.join(root, relative))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            return f.read().replace(b"{BASE}", self.state.base.encode())

    def hold_until_client_leaves(self):
        deadline = time.monotonic() + HANG_LIMIT_SECONDS
        sock = self.connection
        while time.monotonic() < deadline:
            readable, _, _ = select.select([sock], [], [], 0.1)
            if readable:
                try:
                    if not sock.recv(1, socket.MSG_PEEK):
                        return
                except OSError:
                    return
                time.sleep(0.1)
        self.close_connection = True

    # -- requests -----------------------------------------------------------
    def do_GET(self):
        self.handle_request("GET", b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.handle_request("POST", self.rfile.read(length) if length > 0 else b"")

    def handle_request(self, method, body):
        if self.path.startswith("/__"):
            return self.control()
        self.state.record({"method": method, "path": self.path, "user_agent": self.headers.get("User-Agent"),
                           "content_type": self.headers.get("Content-Type"),
                           "body": body.decode("utf-8", "replace")})
        if method == "POST" and urllib.parse.urlsplit(self.path).path == "/api/extract":
            self.state.save_extract_body(body)
        mode, delay, status = self.state.mode_for(self.path)
        if mode == "slow":
            time.sleep(delay)
        elif mode == "hang":
            self.hold_until_client_leaves()
            self.close_connection = True
            return
        elif mode == "close":
            self.close_connection = True
            return
        elif mode == "html404":
            return self.send(404, HTML_404, "text/html; charset=utf-8")
        elif mode == "invalid":
            return self.send(200, BROKEN_JSON)
        elif mode == "status":
            return self.send(status, b"<html><body>error %d</body></html>\n" % status, "text/html")
        self.answer(method, body)

    def answer(self, method, body):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if method == "POST" and url.path == "/api/extract":
            return self.extract(body)
        if method != "GET":
            return self.send(404, HTML_404, "text/html; charset=utf-8")
        if url.path == "/api/videos/home":
            category = query.get("category", [None])[0]
            payload = self.read_file("home.json" if category is None else "home-%s.json" % category)
        elif url.path == "/api/videos/search":
            return self.search(url.query, query.get("q", [""])[0])
        elif url.path.startswith("/api/videos/"):
            payload = self.read_file("videos/%s.json" % urllib.parse.unquote(url.path[len("/api/videos/"):]))
        elif url.path.startswith("/posters/") and self.poster_file(url.path) is not None:
            name, data = self.poster_file(url.path)
            kinds = {".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".png": "image/png", ".webp": "image/webp"}
            return self.send(200, data, kinds.get(os.path.splitext(name)[1], "application/octet-stream"))
        elif url.path.startswith("/posters/") and url.path.endswith(".png"):
            seed = zlib.crc32(url.path.encode()) % 997
            return self.send(200, png_bytes(240, 360, seed), "image/png")
        else:
            payload = None
        if payload is None:
            return self.send(404, HTML_404, "text/html; charset=utf-8")
        self.send(200, payload)

    def poster_file(self, path):
        """A committed poster in DATA/posters, as (name, bytes), or None."""
        name = os.path.basename(urllib.parse.unquote(path))
        full = os.path.join(self.state.data_dir, "posters", name)
        if not name or not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            return name, f.read()

    def search(self, raw_query, q):
        raw_q = raw_query[2:] if raw_query.startswith("q=") else raw_query
        fixed = self.read_file(os.path.join("search", raw_q + ".json")) if raw_q else None
        if fixed is not None:
            return self.send(200, fixed)
        words = fold(q).split()
        seen, found = set(), []
        names = sorted(n for n in os.listdir(self.state.data_dir) if n.startswith("home") and n.endswith(".json"))
        for name in names:
            try:
                items = json.loads(self.read_file(name))
            except (TypeError, ValueError):
                continue
            for item in items if isinstance(items, list) else []:
                title = fold(str(item.get("title", "")))
                if item.get("id") not in seen and all(w in title for w in words):
                    seen.add(item.get("id"))
                    found.append(item)
        self.send(200, json.dumps(found, ensure_ascii=False).encode())

    def extract(self, body):
        try:
            url = json.loads(body.decode("utf-8"))["url"]
        except (ValueError, KeyError, TypeError):
            return self.send(400, b'{"error":"bad request"}')
        with self.state.lock:
            answer = self.state.extract_answer
        if answer == "empty":
            url = ""
        elif answer == "signed":
            url += ("&" if "?" in url else "?") + "signature=loopback"
        else:
            table = self.read_file("extract.json")
            url = (json.loads(table) if table else {}).get(url, url)
        self.send(200, json.dumps({"url": url}).encode())

    def control(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/__mode":
            try:
                self.state.set_mode(query.get("mode", "normal"), float(query.get("delay", 0)),
                                    int(query.get("status", 500)), query.get("path", ""))
            except ValueError as e:
                return self.send(400, str(e).encode(), "text/plain")
            return self.send(200, b"ok\n", "text/plain")
        if url.path == "/__extract":
            try:
                self.state.set_extract_answer(query.get("answer", "echo"))
            except ValueError as e:
                return self.send(400, str(e).encode(), "text/plain")
            return self.send(200, b"ok\n", "text/plain")
        if url.path == "/__requests":
            return self.send(200, json.dumps(self.state.take_requests(), ensure_ascii=False).encode())
        if url.path == "/__reset":
            self.state.set_mode("normal")
            self.state.set_extract_answer("echo")
            self.state.forget_extract_body()
            with self.state.lock:
                self.state.requests.clear()
            return self.send(200, b"ok\n", "text/plain")
        self.send(404, HTML_404, "text/html; charset=utf-8")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Loopback catalog service")
    parser.add_argument("--data", default=os.path.join(here, "fixtures", "catalog"), help="fixture folder")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--port-file", help="also write the port to this file")
    parser.add_argument("--mode", default="normal", choices=MODES)
    parser.add_argument("--delay", type=float, default=2.0, help="seconds, for --mode slow")
    parser.add_argument("--status", type=int, default=500, help="HTTP status, for --mode status")
    parser.add_argument("--path", default="", help="spoil only requests whose path starts with this")
    parser.add_argument("--extract-answer", default="echo", choices=EXTRACT_ANSWERS,
                        help="how POST /api/extract answers")
    parser.add_argument("--extract-body-file", help="write the last extraction body received here, byte for byte")
    parser.add_argument("--verbose", action="store_true", help="log requests on stderr")
    args = parser.parse_args()

    if not os.path.isdir(args.data):
        parser.error("no such fixture folder: " + args.data)
    Handler.state = State(args.data, args.mode, args.delay, args.status, args.path, args.extract_answer,
                          args.extract_body_file)
    Handler.quiet = not args.verbose
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    server = ThreadingHTTPServer((args.host, args.port), Handler)
    port = server.server_address[1]
    Handler.state.base = "http://%s:%d" % (args.host, port)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print(port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
