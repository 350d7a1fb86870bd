#!/usr/bin/env python3
"""A scripted HTTP/1.1 origin server for the tests of loading images over HTTP.

Listens on 127.0.0.1 at a port the system picks and prints "port N" once it accepts connections.
Every request is recorded with its connection's number and its headers; the query's "tag" names
the records of one test case. Connections stay open between requests (HTTP/1.1 keep-alive) until
the client closes them, unless a route closes them on purpose.

Routes (NAME is a file of the folder given with --files):
  /file/NAME                   200 with Content-Length
  /close/NAME                  200 with Content-Length and "Connection: close", then the close
  /keepalive/NAME              200 with Content-Length, the connection kept open whatever the
                               client asked
  /keepalive-chunked/NAME      the same in chunks
  /chunked/NAME                200 in chunks of varied sizes, with a chunk extension and a trailer
  /redirect/N/NAME             302 to /redirect/N-1/NAME, and /redirect/0/NAME to /file/NAME
  /long-redirect/NAME          302 to /file/NAME with a query of 4000 bytes
  /loop                        302 to itself, for ever
  /status/CODE/NAME            CODE with the file as its body
  /auth/NAME                   401 with a Basic challenge unless an Authorization header came
  /truncated/NAME              Content-Length of the whole file, half of it, then the close
  /truncated-chunked/NAME      chunks of half the file, then the close without the last chunk
  /stall/NAME                  Content-Length, half the file, then nothing until the client closes
  /silent                      no answer at all until the client closes
  /huge                        Content-Length of 2 GiB, bytes until the client closes or the
                               flood is stopped
  /endless                     chunks without end, the same
  /trickle/NAME?pause=MS       the file in pieces of 256 bytes, MS milliseconds apart
  /trickle-endless?pause=MS    pieces of 256 bytes without end, MS milliseconds apart, the same
  /log?tag=T                   the records of tag T, as text: one "request" line with the
                               connection number and path, then the headers, a blank line after each
  /await?tag=T                 answers once a trickle of tag T has sent its first piece
  /seen?tag=T                  answers "seen" once a request of tag T came
  /stop?tag=T                  stops the floods of tag T (a stopped flood waits for the close)
  /closed?tag=T                answers "closed" once the client closed a flood's connection of
                               tag T (or "open" when it has not done so after a long while)
  /connections                 "N connections, M without a request": the connections accepted
                               since the last /forget that asked for no route of these last seven,
                               once each has sent its first request or been closed
  /forget                      drops every record and stops every flood, so that a test sees
                               only its own requests and no flood outlives its test
"""
import argparse
import http.server
import itertools
import os
import select
import socket
import socketserver
import sys
import threading
import urllib.parse

PIECE = 256
# How long a route waits for a client that neither reads nor closes; far beyond any test's timeouts.
PATIENCE = 120.0


class State:
    def __init__(self, files):
        self.files = files
        self.lock = threading.Condition()
        self.records = []  # (tag, connection, path, [(name, value)])
        self.trickling = set()  # tags whose trickle has begun
        self.ids = itertools.count(1)
        self.stopping = set()  # tags whose floods are to stop
        self.generation = 0  # floods begun before the last /forget stop
        self.closed = set()  # tags of floods whose client closed the connection
        # Every connection accepted since the last /forget: "new" until its first request
        # ("control" or "used") or its close without one ("empty").
        self.accepted = {}


CONTROL = ("log", "await", "seen", "forget", "stop", "closed", "connections")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def process_request(self, request, client_address):
        # Counted here, as accepted, before its thread starts: a connection closed at once is
        # counted all the same.
        with self.state.lock:
            self.state.accepted[request] = "new"
        super().process_request(request, client_address)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "origin"
    sys_version = ""

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        st = self.server.state
        with st.lock:
            self.connection_id = next(st.ids)

    def handle(self):
        try:
            super().handle()
        except OSError:
            pass  # a client that went away mid-request
        finally:
            self.mark("empty")

    def mark(self, kind):
        """Records what the connection was for, once."""
        st = self.server.state
        with st.lock:
            if st.accepted.get(self.connection) == "new":
                st.accepted[self.connection] = kind
                st.lock.notify_all()

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass

    # ---- helpers ----

    def file(self, name):
        path = os.path.join(self.server.state.files, os.path.basename(name))
        with open(path, "rb") as f:
            return f.read()

    def head(self, code, headers):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()

    def send_body(self, code, body, extra=()):
        self.head(code, [("Content-Type", "application/octet-stream"),
                         ("Content-Length", str(len(body)))] + list(extra))
        self.wfile.write(body)
        self.wfile.flush()

    def chunk(self, data, extension=""):
        self.wfile.write(b"%x%s\r\n" % (len(data), extension.encode()) + data + b"\r\n")

    def send_chunked(self, body):
        self.head(200, [("Content-Type", "application/octet-stream"),
                        ("Transfer-Encoding", "chunked"), ("Trailer", "X-Checked")])
        sizes = itertools.cycle([1, 7, 100, 4093, 3, 65536, 10])
        at = 0
        first = True
        while at < len(body):
            n = next(sizes)
            self.chunk(body[at:at + n], ";piece=yes" if first else "")
            first = False
            at += n
        self.wfile.write(b"0\r\nX-Checked: yes\r\n\r\n")
        self.wfile.flush()

    def await_close(self):
        """Blocks until the client closes the connection (True) or PATIENCE runs out."""
        self.wfile.flush()
        sock = self.connection
        closed = False
        while True:
            ready, _, _ = select.select([sock], [], [], PATIENCE)
            if not ready:
                break
            try:
                if not sock.recv(4096):
                    closed = True
                    break
            except OSError:
                closed = True
                break
        self.close_connection = True
        return closed

    def stream_until_closed(self, tag, piece, pause, chunked):
        """Sends piece after piece until the client goes away, or until the flood is stopped and
        then the client closes; records the close."""
        st = self.server.state
        wait = threading.Event()
        with st.lock:
            generation = st.generation

        def stopped():
            with st.lock:
                return tag in st.stopping or st.generation != generation

        closed = True
        try:
            first = True
            while not stopped():
                if chunked:
                    self.chunk(piece)
                else:
                    self.wfile.write(piece)
                self.wfile.flush()
                if first:
                    with st.lock:
                        st.trickling.add(tag)
                        st.lock.notify_all()
                    first = False
                if pause:
                    wait.wait(pause)
            closed = self.await_close()
        except OSError:
            pass
        if closed:
            with st.lock:
                st.closed.add(tag)
                st.lock.notify_all()
        self.close_connection = True

    # ---- the routes ----

    def do_GET(self):
        st = self.server.state
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        tag = query.get("tag", [""])[0]
        parts = [p for p in url.path.split("/") if p]
        route = parts[0] if parts else ""
        self.mark("control" if route in CONTROL else "used")
        if route not in CONTROL:
            with st.lock:
                st.records.append((tag, self.connection_id, self.path, list(self.headers.items())))
                st.lock.notify_all()
        try:
            self.route(route, parts[1:], query, tag)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        except FileNotFoundError:
            self.send_body(500, b"no such file")

    def route(self, route, args, query, tag):
        st = self.server.state
        pause = float(query.get("pause", ["0"])[0]) / 1000.0
        if route == "file":
            self.send_body(200, self.file(args[0]))
        elif route == "close":
            self.send_body(200, self.file(args[0]), [("Connection", "close")])
            self.close_connection = True
        elif route == "keepalive":
            self.send_body(200, self.file(args[0]))
            self.close_connection = False
        elif route in ("chunked", "keepalive-chunked"):
            self.send_chunked(self.file(args[0]))
            if route == "keepalive-chunked":
                self.close_connection = False
        elif route == "redirect":
            left = int(args[0])
            target = "/redirect/%d/%s" % (left - 1, args[1]) if left > 0 else "/file/%s" % args[1]
            if tag:
                target += "?tag=" + tag
            self.send_body(302, b"", [("Location", target)])
        elif route == "long-redirect":
            self.send_body(302, b"", [("Location", "/file/%s?tag=%s&pad=%s" % (args[0], tag, "x" * 4000))])
        elif route == "loop":
            self.send_body(302, b"", [("Location", "/loop?tag=" + tag)])
        elif route == "status":
            self.send_body(int(args[0]), self.file(args[1]))
        elif route == "auth":
            if self.headers.get("Authorization"):
                self.send_body(200, self.file(args[0]))
            else:
                self.send_body(401, b"who are you", [("WWW-Authenticate", 'Basic realm="origin"')])
        elif route == "truncated":
            body = self.file(args[0])
            self.head(200, [("Content-Length", str(len(body)))])
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        elif route == "truncated-chunked":
            body = self.file(args[0])
            self.head(200, [("Transfer-Encoding", "chunked")])
            self.chunk(body[:len(body) // 4])
            self.chunk(body[len(body) // 4:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        elif route == "stall":
            body = self.file(args[0])
            self.head(200, [("Content-Length", str(len(body)))])
            self.wfile.write(body[:len(body) // 2])
            self.await_close()
        elif route == "silent":
            self.await_close()
        elif route == "huge":
            self.head(200, [("Content-Length", str(2 << 30))])
            self.stream_until_closed(tag, b"\0" * 65536, 0, False)
        elif route == "endless":
            self.head(200, [("Transfer-Encoding", "chunked")])
            self.stream_until_closed(tag, b"\0" * 65536, 0, True)
        elif route == "trickle":
            body = self.file(args[0])
            self.head(200, [("Content-Length", str(len(body)))])
            wait = threading.Event()
            for at in range(0, len(body), PIECE):
                self.wfile.write(body[at:at + PIECE])
                self.wfile.flush()
                if at == 0:
                    with st.lock:
                        st.trickling.add(tag)
                        st.lock.notify_all()
                wait.wait(pause)
        elif route == "trickle-endless":
            self.head(200, [("Content-Length", str(2 << 30))])
            self.stream_until_closed(tag, b"\0" * PIECE, pause, False)
        elif route == "log":
            with st.lock:
                lines = []
                for rtag, conn, path, headers in st.records:
                    if rtag == tag:
                        lines.append("request %d %s" % (conn, path))
                        lines += ["%s: %s" % h for h in headers]
                        lines.append("")
            self.send_body(200, "\n".join(lines).encode("latin-1"))
        elif route == "await":
            with st.lock:
                st.lock.wait_for(lambda: tag in st.trickling, PATIENCE)
            self.send_body(200, b"begun")
        elif route == "forget":
            with st.lock:
                st.records.clear()
                st.trickling.clear()
                st.stopping.clear()
                st.closed.clear()
                st.accepted.clear()
                st.generation += 1
            self.send_body(200, b"forgotten")
        elif route == "stop":
            with st.lock:
                st.stopping.add(tag)
            self.send_body(200, b"stopped")
        elif route == "closed":
            with st.lock:
                closed = st.lock.wait_for(lambda: tag in st.closed, PATIENCE)
            self.send_body(200, b"closed" if closed else b"open")
        elif route == "connections":
            with st.lock:
                st.lock.wait_for(lambda: "new" not in st.accepted.values(), PATIENCE)
                kinds = list(st.accepted.values())
            made = kinds.count("used") + kinds.count("empty")
            self.send_body(200, b"%d connections, %d without a request" % (made, kinds.count("empty")))
        elif route == "seen":
            with st.lock:
                seen = st.lock.wait_for(lambda: any(r[0] == tag for r in st.records), PATIENCE)
            self.send_body(200, b"seen" if seen else b"unseen")
        else:
            self.send_body(404, b"no such route")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", required=True)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    server.state = State(args.files)
    print("port %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
