#!/usr/bin/env python3
"""HTTP server for the fetch tests: one server on each of 127.0.0.1, 127.0.0.2
and 127.0.0.3, each on a free port. Prints the three ports on one line, then
serves until its standard input closes. Counts per host the open connections
and the requests in progress that serve /slow/ pages (other tests leave
stalled requests behind), robots.txt requests and 304 answers; GET /stats
reports them as JSON and GET /reset clears them."""

import gzip
import json
import socket
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOSTS = ["127.0.0.1", "127.0.0.2", "127.0.0.3"]
LAST_MODIFIED = "Tue, 01 Oct 2024 10:00:00 GMT"
ROBOTS = {
    "127.0.0.1": "User-agent: *\nDisallow: /\n\n"
                 "User-agent: otherbot\nUser-agent: weblog2rss\n"
                 "Disallow: /secret\nAllow: /secret/open\n",
    "127.0.0.2": "User-agent: *\nDisallow: /private/\n",
}

lock = threading.Lock()
stats = {}
versions = {}
robots_status = {}  # host -> status code robots.txt answers with instead
seen_once = set()


def reset():
    # Connections and requests under way stay counted.
    with lock:
        for h in HOSTS:
            old = stats.get(h, {})
            conns, active = old.get("connections", 0), old.get("active", 0)
            stats[h] = {"connections": conns, "maxConnections": conns, "active": active,
                        "maxActive": active, "robots": 0, "notModified": 0}


def bump(host, key, delta):
    with lock:
        s = stats[host]
        s[key] += delta
        peak = "max" + key[0].upper() + key[1:]
        if peak in s:
            s[peak] = max(s[peak], s[key])


def weblog_body(name, host, version, title="Entry"):
    # Three entries under printed dates: a page the tool makes a feed of.
    days = ["Monday, March 01, 2004", "Sunday, February 29, 2004", "Saturday, February 28, 2004"]
    parts = ["<html><head><title>Weblog %s</title></head><body><div id=\"main\">" % name]
    for i, day in enumerate(days):
        parts.append("<h2>%s</h2><div class=\"post\"><b>%s %d</b><p>Note %d of %s on %s, version %d.</p></div>"
                     % (day, title, i, i, name, host, version))
    return "".join(parts) + "</div></body></html>"


def page_body(name, host, size=20000):
    head = "<html><head><title>%s</title></head><body><p>page %s on %s</p>" % (name, name, host)
    return (head + "x" * max(0, size - len(head)) + "</body></html>").encode()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        # Headers and body go out as separate writes: without this, delayed
        # acknowledgements would add tens of milliseconds to every response.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.counted = False

    def finish(self):
        if self.counted:
            bump(self.server.host, "connections", -1)
        super().finish()

    def send(self, code, body=b"", headers=()):
        self.send_response(code)
        for k, v in headers:
            self.send_header(k, v)
        if code != 304:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if code != 304:
            self.wfile.write(body)

    def conditional(self, etag, body, last_modified=None, content_type="text/html"):
        inm = self.headers.get("If-None-Match")
        ims = self.headers.get("If-Modified-Since")
        headers = [("Content-Type", content_type)]
        if etag:
            headers.append(("ETag", etag))
        if last_modified:
            headers.append(("Last-Modified", last_modified))
        if (etag and inm == etag) or (not etag and last_modified and ims == last_modified):
            bump(self.server.host, "notModified", 1)
            self.send(304, b"", headers)
        else:
            self.send(200, body, headers)

    def do_GET(self):
        slow = self.path.startswith("/slow/")
        if slow and not self.counted:
            self.counted = True
            bump(self.server.host, "connections", 1)
        if slow:
            bump(self.server.host, "active", 1)
        try:
            self.route()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        finally:
            if slow:
                bump(self.server.host, "active", -1)

    def route(self):
        host = self.server.host
        path, _, query = self.path.partition("?")
        parts = path.strip("/").split("/")
        head = parts[0]
        arg = parts[1] if len(parts) > 1 else ""
        if path == "/stats":
            with lock:
                self.send(200, json.dumps(stats).encode(), [("Content-Type", "application/json")])
        elif path == "/reset":
            reset()
            self.send(200, b"ok")
        elif path == "/robots.txt":
            bump(host, "robots", 1)
            if robots_status.get(host):
                self.send(robots_status[host], b"robots status")
            elif host in ROBOTS:
                self.send(200, ROBOTS[host].encode(), [("Content-Type", "text/plain")])
            else:
                self.send(404, b"none")
        elif head in ("page", "secret", "private"):
            self.conditional('"e-%s"' % path, page_body(path, host), LAST_MODIFIED)
        elif head == "slow":
            time.sleep(0.02)
            self.conditional('"s-%s"' % arg, page_body(arg, host, 30000))
        elif head == "lm":
            self.conditional(None, page_body(arg, host), LAST_MODIFIED)
        elif head == "versioned":
            with lock:
                v = versions.get(arg, 0)
            self.conditional('"v%d"' % v, page_body("%s v%d" % (arg, v), host))
        elif head == "weblog":
            with lock:
                v = versions.get(arg, 0)
            self.conditional('"w-%s-%d"' % (arg, v), weblog_body(arg, host, v).encode(), LAST_MODIFIED)
        elif head == "weblog-koi8":
            body = weblog_body(arg, host, 0, "\u043f\u0440\u0438\u0432\u0435\u0442").encode("koi8-r")
            self.send(200, body, [("Content-Type", "text/html; charset=KOI8-R")])
        elif head == "robots-status":
            robots_status[host] = int(arg)
            self.send(200, b"set")
        elif head == "bump":
            with lock:
                versions[arg] = versions.get(arg, 0) + 1
            self.send(200, b"bumped")
        elif head == "once":
            with lock:
                first = arg not in seen_once
                seen_once.add(arg)
            if first:
                self.send(200, page_body(arg, host), [("ETag", '"o"'), ("Content-Type", "text/html; charset=utf-8")])
            else:
                self.send(500, b"down")
        elif head == "redirect":
            n = int(arg)
            if n == 0:
                self.send(200, b"arrived", [("Content-Type", "text/html")])
            else:
                self.send(302, b"", [("Location", "/redirect/%d" % (n - 1))])
        elif head == "loop":
            self.send(302, b"", [("Location", "/loop")])
        elif head == "redirect-to":
            self.send(301, b"", [("Location", query)])
        elif head == "status":
            self.send(int(arg), b"status page")
        elif head == "stall":
            time.sleep(30)
        elif head == "trickle":
            self.send_response(200)
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            for _ in range(300):
                self.wfile.write(b"x")
                self.wfile.flush()
                time.sleep(0.1)
        elif head == "big":
            self.send(200, b"<html>" + b"y" * (4 * 1024 * 1024), [("Content-Type", "text/html")])
        elif head == "endless":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            chunk = b"z" * 65536
            while True:
                self.wfile.write(chunk)
        elif head == "endless-headers":
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            self.close_connection = True
            n = 0
            while True:
                self.wfile.write(b"X-Filler-%d: %s\r\n" % (n, b"h" * 100))
                n += 1
        elif head in ("gzip", "deflate"):
            body = page_body(head, host)
            packed = gzip.compress(body) if head == "gzip" else zlib.compress(body)
            self.send(200, packed, [("Content-Type", "text/html"), ("Content-Encoding", head)])
        elif head == "badgzip":
            self.send(200, b"\x1f\x8b\x08\x00garbage that does not inflate" * 10,
                      [("Content-Encoding", "gzip")])
        elif head == "charset":
            self.send(200, "<p>caf\u00e9</p>".encode("latin-1"),
                      [("Content-Type", 'text/html; Charset="ISO-8859-1"')])
        elif head == "headers":
            body = "".join("%s: %s\n" % (k, v) for k, v in self.headers.items())
            self.send(200, body.encode(), [("Content-Type", "text/plain")])
        else:
            self.send(404, b"not found")


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that hang up early are part of the tests


def main():
    reset()
    servers = []
    for h in HOSTS:
        srv = Server((h, 0), Handler)
        srv.host = h
        servers.append(srv)
        threading.Thread(target=srv.serve_forever, daemon=True).start()
    print(" ".join(str(s.server_address[1]) for s in servers), flush=True)
    sys.stdin.read()  # the test closes it (or exits) to stop the server


if __name__ == "__main__":
    main()
