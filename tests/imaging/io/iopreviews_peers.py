#!/usr/bin/env python3
"""The parameters dialog's previews judged by independent decoders.

The dialog test (under Wine) leaves each JPEG and JPEG 2000 preview behind: the bytes the preview
encoded and the pixels the result view showed, listed in manifest.txt. djpeg -dct int decodes each
JPEG and opj_decompress each code stream; both must give exactly the pixels the dialog showed.

Usage: iopreviews_peers.py <djpeg> <opj_decompress> <folder the dialog test wrote>
"""
import os
import subprocess
import sys
import tempfile

# The cases the dialog test writes; fewer means it stopped early or no longer writes them.
EXPECTED = {"djpeg": 6, "opj_decompress": 4}


def read_pnm(data):
    """A binary PGM or PPM at 8 bits as (width, height, RGB bytes)."""
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    at += 1
    magic, w, h, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if maxval != 255 or magic not in (b"P5", b"P6"):
        raise ValueError("unexpected %s with maximum %d" % (magic.decode(), maxval))
    body = data[at:]
    if magic == b"P5":
        body = bytes(v for g in body[:w * h] for v in (g, g, g))
    return w, h, body[:w * h * 3]


def decode(tool, path, tmp):
    if os.path.basename(tool).startswith("djpeg"):
        r = subprocess.run([tool, "-dct", "int", "-pnm", path], capture_output=True)
        return r.returncode, r.stdout, r.stderr
    out = os.path.join(tmp, os.path.basename(path) + ".ppm")
    r = subprocess.run([tool, "-i", path, "-o", out], capture_output=True)
    if r.returncode:
        return r.returncode, b"", r.stderr
    if not os.path.exists(out):
        # A one-component stream comes out as PGM under the same stem.
        out = out[:-4] + ".pgm"
        r = subprocess.run([tool, "-i", path, "-o", out], capture_output=True)
    with open(out, "rb") as f:
        return r.returncode, f.read(), r.stderr


def main():
    djpeg, opj, folder = sys.argv[1:4]
    tools = {"djpeg": djpeg, "opj_decompress": opj}
    manifest = os.path.join(folder, "manifest.txt")
    if not os.path.exists(manifest):
        print("FAIL: %s is missing: the dialog test wrote no previews" % manifest)
        return 1
    failures = 0
    counts = {name: 0 for name in tools}
    with open(manifest) as f, tempfile.TemporaryDirectory(prefix="previews") as tmp:
        for line in f:
            if not line.strip():
                continue
            decoder, encoded, shown = line.split()
            counts[decoder] += 1
            code, data, err = decode(tools[decoder], os.path.join(folder, encoded), tmp)
            if code:
                print("FAIL: %s refuses %s: %s" % (decoder, encoded, err.decode(errors="replace").strip()))
                failures += 1
                continue
            theirs = read_pnm(data)
            with open(os.path.join(folder, shown), "rb") as g:
                ours = read_pnm(g.read())
            if theirs[:2] != ours[:2]:
                print("FAIL: %s: %s decodes %dx%d, the dialog showed %dx%d" %
                      (encoded, decoder, theirs[0], theirs[1], ours[0], ours[1]))
                failures += 1
                continue
            differing = sum(1 for a, b in zip(theirs[2], ours[2]) if a != b)
            if differing:
                print("FAIL: %s: %d samples of the dialog's result differ from what %s decodes" %
                      (encoded, differing, decoder))
                failures += 1
                continue
            print("ok: %s equals %s's decoding" % (encoded, decoder))
    for name, want in EXPECTED.items():
        if counts[name] < want:
            print("FAIL: %d %s cases listed, %d expected" % (counts[name], name, want))
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
