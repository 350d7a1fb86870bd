"""What the JPEG and PNG peer suites share: counting checks, running the tools, reading their PAM."""
import struct
import subprocess
import sys
import tempfile

results = {"passed": 0, "failed": 0}


def check(ok, what):
    results["passed" if ok else "failed"] += 1
    if not ok:
        print("FAIL:", what)


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def max_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def parse_pam(data):
    """A PAM of any depth and maxval as (width, height, RGBA bytes at 8 bits): 16-bit samples by their
    high byte, smaller maxvals scaled, grey spread to three channels, no alpha read as opaque."""
    end = data.index(b"ENDHDR\n")
    head = dict(line.split(b" ", 1) for line in data[:end].split(b"\n")[1:] if b" " in line)
    w, h, depth, maxval = (int(head[k]) for k in (b"WIDTH", b"HEIGHT", b"DEPTH", b"MAXVAL"))
    body = data[end + 7:]
    n = w * h * depth
    vals = struct.unpack(">%dH" % n, body[:2 * n]) if maxval > 255 else body[:n]
    if maxval == 65535:
        vals = [v >> 8 for v in vals]
    elif maxval != 255:
        vals = [v * 255 // maxval for v in vals]
    out = bytearray()
    for i in range(0, n, depth):
        px = vals[i:i + depth]
        out += bytes((px[0], px[0], px[0]) if depth <= 2 else px[:3])
        out.append(px[-1] if depth in (2, 4) else 255)
    return w, h, bytes(out)


def main(prefix, *suites):
    """Runs each suite with a scratch folder, prints the count and gives the exit status."""
    with tempfile.TemporaryDirectory(prefix=prefix) as tmp:
        for suite in suites:
            suite(tmp)
    print("%d passed, %d failed" % (results["passed"], results["failed"]))
    return 1 if results["failed"] else 0
