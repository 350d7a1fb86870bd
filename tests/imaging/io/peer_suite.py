"""What the format peer suites share: counting checks, running the tools, reading netpbm files and
the source images the suites draw."""
import random
import struct
import subprocess
import sys
import tempfile

from PIL import Image

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


def parse_netpbm(data):
    """P1..P7 of any maximum, samples scaled to 0..255 rounding to nearest, as (width, height, RGB
    bytes, alpha bytes or None)."""
    magic = data[:2]
    pos = 2
    if magic == b"P7":
        fields = {}
        while True:
            end = data.index(b"\n", pos)
            line = data[pos:end].split()
            pos = end + 1
            if line and line[0] == b"ENDHDR":
                break
            if line:
                fields[line[0]] = line[1]
        w, h, depth, mx = (int(fields[k]) for k in (b"WIDTH", b"HEIGHT", b"DEPTH", b"MAXVAL"))
        plain = False
    else:
        values = []
        need = 2 if magic in (b"P1", b"P4") else 3
        while len(values) < need:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            values.append(int(data[start:pos]))
        pos += 1
        w, h = values[0], values[1]
        mx = values[2] if need == 3 else 1
        depth = 3 if magic in (b"P3", b"P6") else 1
        plain = magic in (b"P1", b"P2", b"P3")
    count = w * h * depth
    if magic in (b"P1", b"P4"):
        if magic == b"P4":
            stride = (w + 7) // 8
            bits = [(data[pos + y * stride + (x >> 3)] >> (7 - (x & 7))) & 1 for y in range(h) for x in range(w)]
        else:
            bits = [int(c) for c in data[pos:].decode() if c in "01"][:count]
        vals = [0 if b else 255 for b in bits]
        mx = 255
    elif plain:
        vals = [int(t) for t in data[pos:].split()[:count]]
    elif mx > 255:
        vals = struct.unpack(">%dH" % count, data[pos:pos + 2 * count])
    else:
        vals = data[pos:pos + count]
    if mx == 255 and not plain:
        scaled = bytes(vals)  # already 0..255: scaling would give each value back
    else:
        scaled = bytes((min(v, mx) * 255 + mx // 2) // mx for v in vals)
    alpha = None
    if depth in (2, 4):
        alpha = scaled[depth - 1::depth]
        colour = bytearray(scaled)
        del colour[depth - 1::depth]
        scaled = bytes(colour)
        depth -= 1
    if depth == 1:
        scaled = bytes(b for v in scaled for b in (v, v, v))
    return w, h, scaled, alpha


def parse_pnm(data):
    """A netpbm file as (width, height, RGB bytes), its alpha left out."""
    return parse_netpbm(data)[:3]


# ---- source images ----

def gradient(w, h, seed=7):
    rnd = random.Random(seed)
    im = Image.new("RGB", (w, h))
    im.putdata([((x * 255) // (w - 1), (y * 255) // (h - 1), rnd.randrange(256)) for y in range(h) for x in range(w)])
    return im


def with_colours(w, h, n, seed):
    rnd = random.Random(seed)
    pal = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(n)]
    im = Image.new("RGB", (w, h))
    im.putdata([pal[(x // 3 + y * 5 + rnd.randrange(2)) % n] for y in range(h) for x in range(w)])
    return im


def black_and_white(w, h):
    im = Image.new("RGB", (w, h))
    im.putdata([(255, 255, 255) if (x * y + x) % 3 else (0, 0, 0) for y in range(h) for x in range(w)])
    return im


def main(prefix, *suites):
    """Runs each suite with a scratch folder, prints the count and gives the exit status."""
    with tempfile.TemporaryDirectory(prefix=prefix) as tmp:
        for suite in suites:
            suite(tmp)
    print("%d passed, %d failed" % (results["passed"], results["failed"]))
    return 1 if results["failed"] else 0
