#!/usr/bin/env python3
"""Stand-in update host: serves the files below ROOT over HTTPS, by URL path,
to GET requests (404 for a missing file or a path with ".."), and misbehaves
on request.

    update_host.py --root DIR --certs DIR [--address 127.0.0.1] [--port 443]

--certs is a folder made by make_test_certificates.py. Every request is
appended to ROOT/host-requests.log as one line "<method> <path> <user agent>"
(flushed before the answer starts), so a test can tell which requests arrived.

ROOT/host-behaviour.json, read again for every TLS handshake and every request
(absent or empty: behave), says how to misbehave:

    {"certificate": "untrusted",        new handshakes present a certificate for the
                                        same host names from a CA nobody trusts
     "paths": {"/programs/vexa3711/latest.json": {
        "status": 302,                  answer with this status (default 200, 404 if no file)
        "location": "https://...",      a Location header
        "body": "text",                 this body instead of the file's content
        "cut": 100,                     announce the whole body, send N bytes of it, close
        "append": 1,                    N bytes "X" more than the content, announced too
        "stall": 20,                    seconds to wait before the status line
        "stall_body": 20,               seconds to wait between the headers and the body
        "drip": [1024, 10]}}}           the body N bytes at a time, S seconds apart

A path's entry applies to the URL path without its query.
"""
import argparse
import http.server
import json
import os
import ssl
import sys
import threading
import time
import urllib.parse

BEHAVIOUR = "host-behaviour.json"
REQUEST_LOG = "host-requests.log"
CHUNK = 4 * 1024 * 1024


def read_behaviour(root: str) -> dict:
    try:
        with open(os.path.join(root, BEHAVIOUR), encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        return {}
    return json.loads(text) if text.strip() else {}


def tls_context(certs: str, prefix: str) -> ssl.SSLContext:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certs, prefix + "server.pem"), os.path.join(certs, prefix + "server.key"))
    return context


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "VexaUpdateHost/1"

    def parse_request(self):
        # Every request that reaches the host is recorded, GET or not.
        if not super().parse_request():
            return False
        self.server.record("%s %s %s" % (self.command, self.path, self.headers.get("User-Agent", "-")))
        return True

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        rule = read_behaviour(self.server.root).get("paths", {}).get(path, {})
        time.sleep(rule.get("stall", 0))
        status, file, content = rule.get("status", 200), None, rule.get("body", "").encode("utf-8")
        if "body" not in rule:
            relative = urllib.parse.unquote(path).lstrip("/")
            local = os.path.join(self.server.root, relative)
            if ".." not in relative.split("/") and os.path.isfile(local):
                file = open(local, "rb")
            elif "status" not in rule:
                status, content = 404, b"not found\n"
        try:
            extra = b"X" * rule.get("append", 0)
            total = (os.fstat(file.fileno()).st_size if file else len(content)) + len(extra)
            self.close_connection = True
            self.send_response(status)
            if "location" in rule:
                self.send_header("Location", rule["location"])
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(total))
            self.send_header("Connection", "close")
            self.end_headers()
            time.sleep(rule.get("stall_body", 0))
            body = Dripping(self.wfile, *rule["drip"]) if "drip" in rule else self.wfile
            self.send_body(body, file, content + extra, rule.get("cut", total))
        finally:
            if file:
                file.close()

    @staticmethod
    def send_body(out, file, tail: bytes, limit: int):
        # The file first, then the tail, never more than limit bytes. Large
        # writes: the TLS layer cuts them into records itself.
        while file and limit > 0:
            chunk = file.read(min(CHUNK, limit))
            if not chunk:
                break
            out.write(chunk)
            limit -= len(chunk)
        if limit > 0:
            out.write(tail[:limit])

    def log_message(self, format, *args):
        pass


class Dripping:
    """A body written a few bytes at a time with pauses between: every read of
    the client's succeeds in time, only the whole takes hours."""

    def __init__(self, out, size: int, seconds: float):
        self.out, self.size, self.seconds = out, size, seconds

    def write(self, data: bytes):
        for at in range(0, len(data), self.size):
            self.out.write(data[at:at + self.size])
            self.out.flush()
            time.sleep(self.seconds)


class UpdateHost(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, root: str, certs: str):
        super().__init__(address, Handler)
        self.root = root
        self.contexts = {"trusted": tls_context(certs, ""), "untrusted": tls_context(certs, "untrusted-")}
        self.log_lock = threading.Lock()

    def record(self, line: str):
        with self.log_lock, open(os.path.join(self.root, REQUEST_LOG), "a", encoding="utf-8") as log:
            log.write(line + "\n")

    def finish_request(self, request, client_address):
        # The handshake runs here, on the connection's own thread, with the
        # certificate that the behaviour file names at this moment.
        request.settimeout(60)
        context = self.contexts[read_behaviour(self.root).get("certificate", "trusted")]
        with context.wrap_socket(request, server_side=True) as tls:
            self.RequestHandlerClass(tls, client_address, self)

    def handle_error(self, request, client_address):
        # Clients that refuse the certificate, hang up or time out are part of the tests.
        error = sys.exc_info()[1]
        if not isinstance(error, (ssl.SSLError, ConnectionError, TimeoutError)):
            sys.stderr.write("update host: %s: %r\n" % (client_address[0], error))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--certs", required=True)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=443)
    args = parser.parse_args()
    host = UpdateHost((args.address, args.port), os.path.abspath(args.root), args.certs)
    try:
        host.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
