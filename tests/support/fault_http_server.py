#!/usr/bin/env python3
"""A small HTTP/1.1 server for tests and benchmarks that misbehaves on request.

It binds 127.0.0.1 (or --bind ADDRESS, inside a network lab) on a port the kernel chooses,
prints that port on the first line of stdout,
and serves every GET path with the same body until it is terminated. Every response closes its
connection.

Options:
  --body-file PATH      the body to serve (default: empty body)
  --no-content-length   send no Content-Length; the end of the body is the end of the connection
  --ignore-range        answer Range requests with 200 and the whole body
  --status CODE         answer CODE with a small text page instead of the body ...
  --status-times N      ... for the first N requests only (default: every request)
  --refuse-first N      close the first N connections at once, before reading anything
  --cut-after N         send only N body bytes, then close the connection ...
  --cut-times N         ... on the first N body responses only (default 1)
  --then-status CODE    after the last cut, answer the next request with CODE once, as an
                        expired link is refused
  --then-body-file PATH after the last cut, serve this body instead, as a file that changed
                        on the server ...
  --then-etag VALUE     ... with this ETag instead of --etag's
  --ignore-if-range     honour Range even when If-Range names another validator, as some
                        caches do
  --whole-for-open-range  answer "Range: bytes=0-" with 200 and the whole body, as servers do
                        that still serve other ranges
  --stall-after N       send the headers and N body bytes, then send nothing more until the
                        client goes away
  --redirect PATH       answer 302 with "Location: PATH" to every request for another target
                        (PATH may be a whole URL)
  --wrong-range         answer Range requests with 206 and the body from its first byte, as
                        its Content-Range says, whatever range was asked for
  --first-byte-ms N     wait N ms before each answer's head, as a long round trip does
  --hold-first-ms N     send the first answer's body only N ms after its head, so that later
                        answers overtake it
  --rate-mbit N         send each body no faster than N megabits per second, as over a real
                        link or a server that caps each connection
  --rate-after N        ... once the first N bytes of the body went out at full speed
  --tls-cert PATH       serve https with this certificate chain ...
  --tls-key PATH        ... and this key
  --signed-target T     act as storage that checks a query signature: answer 403 to a HEAD
                        request and to any request whose target is not T byte for byte
  --etag VALUE          send "ETag: VALUE" with every body ...
  --last-modified DATE  ... and/or "Last-Modified: DATE"; a Range request whose If-Range is
                        neither (or that has an If-Range when neither is given) gets the whole
                        body with 200, as for a file that changed
  --bind ADDRESS        listen there instead of 127.0.0.1 (an address of a lab's namespace)
  --log PATH            append one JSON line per request: {"method","target","headers"}, with
                        header names in lower case, and once its answer ended one line
                        {"sent": N} with the body bytes that went out
Ranges: "Range: bytes=S-" (and "bytes=S-E") are honoured with 206 and Content-Range unless
--ignore-range is given; a start beyond the body gets 416. "Accept-Ranges: bytes" goes with
every answer of a server that serves ranges. Bodies go out with sendfile.
"""
import argparse
import json
import os
import socket
import socketserver
import ssl
import sys
import threading
import time

REASONS = {200: "OK", 206: "Partial Content", 302: "Found", 403: "Forbidden", 404: "Not Found",
           408: "Request Timeout", 416: "Range Not Satisfiable", 429: "Too Many Requests",
           500: "Internal Server Error", 502: "Bad Gateway", 503: "Service Unavailable",
           504: "Gateway Timeout"}


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.connections = 0
        self.requests = 0
        self.cuts = 0
        self.statuses_left = 0
        self.changed = False

    def version(self):
        """The body file, its size and its ETag as served now."""
        with self.lock:
            changed = self.changed
        body_file = self.args.then_body_file if changed else self.args.body_file
        etag = self.args.then_etag if changed and self.args.then_etag else self.args.etag
        return body_file, os.path.getsize(body_file) if body_file else 0, etag

    def next_connection(self):
        with self.lock:
            self.connections += 1
            return self.connections

    def next_request(self):
        with self.lock:
            self.requests += 1
            return self.requests

    def take_status(self):
        with self.lock:
            if self.statuses_left > 0:
                self.statuses_left -= 1
                return True
            return False

    def take_cut(self):
        with self.lock:
            if self.cuts < self.args.cut_times:
                self.cuts += 1
                if self.cuts == self.args.cut_times:
                    self.statuses_left = 1 if self.args.then_status else 0
                    self.changed = self.args.then_body_file is not None
                return True
            return False


def read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return None
        data += chunk
        if len(data) > 1 << 20:
            return None
    head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
    lines = head.split("\r\n")
    parts = lines[0].split(" ")
    if len(parts) < 3:
        return None
    headers = {}
    for line in lines[1:]:
        if ":" in line:
            name, value = line.split(":", 1)
            headers[name.strip().lower()] = value.strip()
    return parts[0], parts[1], headers


def parse_range(value, size):
    if not value or not value.startswith("bytes="):
        return None
    first_range = value[len("bytes="):].split(",")[0].strip()
    start_text, _, end_text = first_range.partition("-")
    if not start_text:
        return None
    start = int(start_text)
    end = int(end_text) if end_text else size - 1
    return start, min(end, size - 1)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        state = self.server.state
        args = state.args
        sock = self.request
        if state.next_connection() <= args.refuse_first:
            return
        request = read_request(sock)
        if request is None:
            return
        method, target, headers = request
        number = state.next_request()
        if args.log:
            with state.lock, open(args.log, "a") as log:
                log.write(json.dumps({"method": method, "target": target,
                                      "headers": headers}) + "\n")
        self.sent = 0
        try:
            self.answer(method, target, headers, number)
        finally:
            if args.log:
                with state.lock, open(args.log, "a") as log:
                    log.write(json.dumps({"sent": self.sent}) + "\n")

    def answer(self, method, target, headers, number):
        state = self.server.state
        args = state.args
        sock = self.request

        # The target was read as Latin-1: its bytes are compared with the option's UTF-8.
        if args.signed_target is not None and (
                method == "HEAD" or target.encode("latin-1") != os.fsencode(args.signed_target)):
            page = b"<Error><Code>SignatureDoesNotMatch</Code></Error>"
            self.send_head(403, len(page), {"Content-Type": "application/xml"})
            if method != "HEAD":
                sock.sendall(page)
            return

        if args.redirect and target != args.redirect:
            self.send_head(302, 0, {"Location": args.redirect})
            return

        status = args.status if args.status and (
            args.status_times is None or number <= args.status_times) else None
        if status is None and state.take_status():
            status = args.then_status
        if status:
            page = ("<html><body>HTTP %d</body></html>" % status).encode()
            self.send_head(status, len(page), {"Content-Type": "text/html"})
            sock.sendall(page)
            return

        body_file, size, etag = state.version()
        self.body_file = body_file
        start, end, status, extra = 0, size - 1, 200, {}
        validators = [v for v in (etag, args.last_modified) if v]
        if etag:
            extra["ETag"] = etag
        if args.last_modified:
            extra["Last-Modified"] = args.last_modified
        if_range = headers.get("if-range")
        wanted = None if args.ignore_range else parse_range(headers.get("range"), size)
        if if_range is not None and if_range not in validators and not args.ignore_if_range:
            wanted = None
        if wanted is not None and args.wrong_range:
            wanted = (0, size - 1)
        if wanted is not None and args.whole_for_open_range and wanted == (0, size - 1) and \
                headers.get("range", "").strip() == "bytes=0-":
            wanted = None
        if wanted is not None:
            if wanted[0] >= size:
                self.send_head(416, 0, {"Content-Range": "bytes */%d" % size})
                return
            start, end = wanted
            status = 206
            extra["Content-Range"] = "bytes %d-%d/%d" % (start, end, size)
        count = max(0, end - start + 1)
        if args.first_byte_ms:
            time.sleep(args.first_byte_ms / 1000)
        self.send_head(status, None if args.no_content_length else count, extra)
        if args.hold_first_ms and number == 1:
            time.sleep(args.hold_first_ms / 1000)

        if args.stall_after is not None:
            self.send_body(start, min(count, args.stall_after))
            sock.settimeout(0.2)
            while True:
                try:
                    if not sock.recv(1):
                        return
                except socket.timeout:
                    continue
                except OSError:
                    return
        if args.cut_after is not None and state.take_cut():
            self.send_body(start, min(count, args.cut_after))
            sock.shutdown(socket.SHUT_RDWR)
            return
        self.send_body(start, count)

    def send_head(self, status, length, extra):
        lines = ["HTTP/1.1 %d %s" % (status, REASONS.get(status, "Status")), "Connection: close"]
        if not self.server.state.args.ignore_range:
            lines.append("Accept-Ranges: bytes")
        if length is not None:
            lines.append("Content-Length: %d" % length)
        lines += ["%s: %s" % item for item in extra.items()]
        self.request.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))

    def send_body(self, start, count):
        body_file = getattr(self, "body_file", self.server.state.args.body_file)
        if count <= 0 or not body_file:
            return
        rate = self.server.state.args.rate_mbit
        with open(body_file, "rb") as body:
            fast = count if not rate else min(count, max(0, self.server.state.args.rate_after - start))
            if fast:
                self.sent += self.request.sendfile(body, start, fast)
                start += fast
                count -= fast
            if count <= 0:
                return
            began = time.monotonic()
            sent = 0
            while sent < count:
                piece = min(256 * 1024, count - sent)
                self.sent += self.request.sendfile(body, start + sent, piece)
                sent += piece
                ahead = sent * 8 / (rate * 1e6) - (time.monotonic() - began)
                if ahead > 0:
                    time.sleep(ahead)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    tls = None

    def get_request(self):
        sock, address = super().get_request()
        if self.tls is not None:
            # The handshake happens in the handler's thread, on first use.
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def handle_error(self, request, client_address):
        # Clients that go away mid-body (cancels, full disks) are part of the tests.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)

    allow_reuse_address = True
    request_queue_size = 64


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--body-file")
    parser.add_argument("--no-content-length", action="store_true")
    parser.add_argument("--ignore-range", action="store_true")
    parser.add_argument("--status", type=int)
    parser.add_argument("--status-times", type=int)
    parser.add_argument("--refuse-first", type=int, default=0)
    parser.add_argument("--cut-after", type=int)
    parser.add_argument("--cut-times", type=int, default=1)
    parser.add_argument("--then-status", type=int)
    parser.add_argument("--then-body-file")
    parser.add_argument("--then-etag")
    parser.add_argument("--ignore-if-range", action="store_true")
    parser.add_argument("--whole-for-open-range", action="store_true")
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--redirect")
    parser.add_argument("--wrong-range", action="store_true")
    parser.add_argument("--first-byte-ms", type=int, default=0)
    parser.add_argument("--hold-first-ms", type=int, default=0)
    parser.add_argument("--rate-mbit", type=float)
    parser.add_argument("--rate-after", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--signed-target")
    parser.add_argument("--etag")
    parser.add_argument("--last-modified")
    parser.add_argument("--log")
    parser.add_argument("--bind", default="127.0.0.1")
    args = parser.parse_args()
    server = Server((args.bind, 0), Handler)
    if args.tls_cert:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.tls_cert, args.tls_key)
        server.tls = tls
    server.state = State(args)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
