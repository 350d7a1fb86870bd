#!/usr/bin/env python3
"""Runs a test command beside the servers the tests of loading over HTTP talk to, all on loopback
addresses at ports the system picks, and says where they are in the command's environment:

  VA_HTTP_DIR              a folder of the test's, served by both plain file servers
  VA_HTTP_FILES_PORT       python3 -m http.server on 127.0.0.1
  VA_HTTP_FILES6_PORT      python3 -m http.server on [::1]
  VA_HTTP_ORIGIN_PORT      the scripted origin (http_origin.py) on 127.0.0.1, serving VA_HTTP_DIR
  VA_HTTP_PROXIED_PORT     another one, for loads through the proxy only
  VA_HTTP_COUNTED_PORT     another one, whose connections only the test counting them makes
  VA_HTTP_PROXY_PORT       tinyproxy on 127.0.0.1, with basic authentication
  VA_HTTP_PROXY_USER, VA_HTTP_PROXY_PASSWORD   its credentials
  VA_HTTP_REFUSED_PORT     a port that refuses connections
  VA_HTTP_BLACKHOLE_PORT   a port whose queue is full, so that connections are never answered

Each server is waited for until it says it listens (no sleeping); all are stopped when the command
ends, and its exit status is this script's.

  http_servers.py --tinyproxy PATH -- COMMAND [ARGS...]
"""
import argparse
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# How long a server may take to say it listens before the run gives up on it.
START_PATIENCE = 60.0
PROXY_USER = "varnelo"
PROXY_PASSWORD = "pr0xy-S3cret"


class Failure(Exception):
    pass


def await_line(proc, stream, marker, what):
    """Reads the server's output until a line holds marker; returns that line."""
    deadline = time.monotonic() + START_PATIENCE
    seen = []
    buffer = b""
    fd = stream.fileno()
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise Failure("%s did not start within %d s: %s" % (what, START_PATIENCE, b"".join(seen)))
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 4096)
        if not chunk:
            raise Failure("%s ended before it listened (exit %s): %s" % (what, proc.wait(), b"".join(seen)))
        seen.append(chunk)
        buffer += chunk
        while b"\n" in buffer:
            line, buffer = buffer.split(b"\n", 1)
            if marker in line:
                return line.decode("utf-8", "replace")


def start_file_server(folder, bind, procs):
    proc = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "0", "--bind", bind,
                             "--directory", folder],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    procs.append(proc)
    line = await_line(proc, proc.stdout, b"Serving HTTP", "http.server on " + bind)
    # "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
    return int(line.split(" port ")[1].split()[0])


def start_origin(folder, procs):
    proc = subprocess.Popen([sys.executable, "-u", os.path.join(HERE, "http_origin.py"), "--files", folder],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    procs.append(proc)
    return int(await_line(proc, proc.stdout, b"port ", "the scripted origin").split()[1])


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_proxy(tinyproxy, folder, procs):
    """tinyproxy needs its port in its configuration: a free one is picked, and another when some
    other program took it first."""
    for attempt in range(5):
        port = free_port()
        conf = os.path.join(folder, "tinyproxy-%d.conf" % attempt)
        with open(conf, "w") as f:
            f.write("Port %d\nListen 127.0.0.1\nTimeout 60\nMaxClients 50\nLogLevel Info\n"
                    "Allow 127.0.0.1\nBasicAuth %s %s\n" % (port, PROXY_USER, PROXY_PASSWORD))
        proc = subprocess.Popen([tinyproxy, "-d", "-c", conf],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            await_line(proc, proc.stdout, b"Accepting connections", "tinyproxy")
        except Failure:
            proc.kill()
            proc.wait()
            continue
        procs.append(proc)
        # Its log goes on; read and dropped so that it never fills the pipe.
        drain = subprocess.Popen(["cat"], stdin=proc.stdout, stdout=subprocess.DEVNULL)
        procs.append(drain)
        return port
    raise Failure("tinyproxy could not listen on a free port")


def refused_port(sockets):
    """A bound socket that never listens: connections to it are refused."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    sockets.append(s)
    return s.getsockname()[1]


def blackhole_port(sockets):
    """A listening socket that never accepts, its queue filled by connections of our own: the
    system then drops new connection requests unanswered."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    sockets.append(listener)
    for _ in range(4):
        c = socket.socket()
        c.setblocking(False)
        try:
            c.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        sockets.append(c)
    return port


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tinyproxy", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")
    # A run stopped from outside (a test timeout) still stops its servers.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda *_: sys.exit(128 + 15))
    folder = tempfile.mkdtemp(prefix="va-http-")
    procs, sockets = [], []
    try:
        env = dict(os.environ)
        env.update({
            "VA_HTTP_DIR": folder,
            "VA_HTTP_FILES_PORT": str(start_file_server(folder, "127.0.0.1", procs)),
            "VA_HTTP_FILES6_PORT": str(start_file_server(folder, "::1", procs)),
            "VA_HTTP_ORIGIN_PORT": str(start_origin(folder, procs)),
            "VA_HTTP_PROXIED_PORT": str(start_origin(folder, procs)),
            "VA_HTTP_COUNTED_PORT": str(start_origin(folder, procs)),
            "VA_HTTP_PROXY_PORT": str(start_proxy(args.tinyproxy, folder, procs)),
            "VA_HTTP_PROXY_USER": PROXY_USER,
            "VA_HTTP_PROXY_PASSWORD": PROXY_PASSWORD,
            "VA_HTTP_REFUSED_PORT": str(refused_port(sockets)),
            "VA_HTTP_BLACKHOLE_PORT": str(blackhole_port(sockets)),
        })
        return subprocess.call(command, env=env)
    except Failure as e:
        print("http_servers.py: %s" % e, file=sys.stderr)
        return 1
    finally:
        for proc in procs:
            proc.terminate()
        for proc in procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        for s in sockets:
            s.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
