#!/usr/bin/env python3
"""PNG reader and writer judged by independent peers, both ways.

Reading: files that netpbm's pnmtopng writes (every colour type and bit depth, Adam7 interlacing,
alpha, tRNS, bKGD, pHYs) and Pillow writes, Go's PngSuite subset and test images, and gdk-pixbuf's
PNG files are decoded by our reader and by pngtopam -alphapam and Pillow; colour and alpha must
agree exactly, 16-bit samples taken by their high byte. pngcheck -v names the depth, colour type and
interlacing our parameters must report. Go's invalid files (bad CRC, no IEND, cut short, bad zlib)
and gdk-pixbuf's failing files must make the reader abort; randomly modified files must end cleanly.

Pillow 9.4 compares a grey tRNS of 2 or 4 bits with the samples after scaling them to 8 bits, so it
marks the wrong pixels transparent; it does not judge the alpha of those files. It reads 16-bit grey
as 32-bit integers, whose high byte is taken here. pngtopam 11.1 leaves truecolour files with a tRNS
colour opaque, so it judges only their colours.

Writing: our writer saves RGB, RGB with alpha, palettes at 1, 2, 4 and 8 bits, grey at 1, 4, 8 and 16
bits, palettes with transparency, interlaced or not, with every filter choice; pngcheck -v must
accept each file and name the expected layout, and pngtopam and Pillow must decode exactly the source.

Usage: png_peers.py <png_peer_tool> <folder of Go's image/png test data> <gdk-pixbuf test folder>
"""
import os
import random
import struct
import subprocess
import sys

from PIL import Image

from peer_suite import check, max_difference, parse_pam, run
import peer_suite

TOOL, GO_PNG, PIXBUF = sys.argv[1], sys.argv[2], sys.argv[3]


# ---- pixels as (width, height, RGBA bytes at 8 bits) ----

def judge_netpbm(path):
    r = run(["pngtopam", "-alphapam", path])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return parse_pam(r.stdout)


def judge_pillow(path):
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B"):
        trans = im.info.get("transparency")
        vals = list(im.getdata())
        out = bytearray()
        for v in vals:
            g = v >> 8
            out += bytes((g, g, g, 0 if trans is not None and v == trans else 255))
        return im.width, im.height, bytes(out)
    rgba = im.convert("RGBA")
    return rgba.width, rgba.height, rgba.tobytes()


def ours(path, tmp, *options):
    out = os.path.join(tmp, "ours.pam")
    r = run([TOOL, "read", path, out] + list(options))
    if r.returncode != 0:
        return r.returncode, None, {}
    info = dict(line.split("=", 1) for line in r.stdout.decode().split())
    with open(out, "rb") as f:
        return 0, parse_pam(f.read()), info


def pngcheck(path):
    r = run(["pngcheck", "-v", path])
    return r.returncode, r.stdout.decode(errors="replace")


def header_of(text):
    """(bits per sample, samples, interlaced) from pngcheck's IHDR line."""
    for line in text.splitlines():
        if " image, " in line:
            kind = line.split(" image, ")[1]
            bits = int(kind.split("-bit")[0])
            interlaced = "non-interlaced" not in kind
            for name, samples, per in (("palette", 1, 1), ("grayscale+alpha", 2, 2), ("grayscale", 1, 1),
                                       ("RGB+alpha", 4, 4), ("RGB", 3, 3)):
                if name in kind:
                    return bits // per if name != "palette" else bits, samples, interlaced
    return None


def compare(name, mine, theirs, judge, alpha=True):
    if mine[:2] != theirs[:2]:
        check(False, "%s: %s sees %s, we %s" % (name, judge, theirs[:2], mine[:2]))
        return
    a, b = mine[2], theirs[2]
    if not alpha:
        a = bytes(v for i, v in enumerate(a) if i % 4 != 3)
        b = bytes(v for i, v in enumerate(b) if i % 4 != 3)
    check(a == b, "%s: differs from %s (largest difference %d)" % (name, judge, max_difference(a, b)))


# ---- source images ----

def gradient(w, h, seed=3):
    rnd = random.Random(seed)
    return [((x * 255) // (w - 1), (y * 255) // (h - 1), rnd.randrange(256)) for y in range(h) for x in range(w)]


def palette_image(w, h, n, seed):
    rnd = random.Random(seed)
    pal = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(n)]
    return [pal[(x // 3 + y * 5 + rnd.randrange(2)) % n] for y in range(h) for x in range(w)]


def alpha_plane(w, h):
    return [(x * 37 + y * 11) % 256 if (x + y) % 5 else 0 for y in range(h) for x in range(w)]


def write_pnm(path, w, h, pixels, maxval=255, grey=False):
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%d\n" % (b"P5" if grey else b"P6", w, h, maxval))
        fmt = ">H" if maxval > 255 else "B"
        for p in pixels:
            for v in ((p,) if grey else p):
                f.write(struct.pack(fmt, v))


def write_pam(path, w, h, rgb, alpha):
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (w, h))
        f.write(bytes(v for p, a in zip(rgb, alpha) for v in (p[0], p[1], p[2], a)))


def pnmtopng(tmp, name, source, *options):
    path = os.path.join(tmp, name + ".png")
    with open(source, "rb") as src, open(path, "wb") as out:
        r = subprocess.run(["pnmtopng"] + list(options), stdin=src, stdout=out, stderr=subprocess.PIPE)
    assert r.returncode == 0, r.stderr
    return path


def make_read_corpus(tmp):
    w, h = 37, 23
    p = lambda n: os.path.join(tmp, n)
    write_pnm(p("rgb.ppm"), w, h, gradient(w, h))
    write_pnm(p("rgb16.ppm"), w, h, [(r * 257, g * 250 + 3, b * 256 + 255) for r, g, b in gradient(w, h)], 65535)
    for bits in (1, 2, 4, 8, 16):
        m = (1 << bits) - 1
        write_pnm(p("grey%d.pgm" % bits), w, h, [(x * 7 + y * 3) % (m + 1) for y in range(h) for x in range(w)],
                  m, grey=True)
    for n in (2, 4, 16, 200):
        write_pnm(p("pal%d.ppm" % n), w, h, palette_image(w, h, n, n))
    write_pnm(p("alpha.pgm"), w, h, alpha_plane(w, h), grey=True)
    with open(p("bw-alpha.pgm"), "wb") as f:  # a two-level alpha: tRNS-like
        f.write(b"P5\n%d %d\n255\n" % (w, h) + bytes(0 if (x + y) % 4 == 0 else 255 for y in range(h) for x in range(w)))

    files = []
    for interlace in ((), ("-interlace",)):
        tag = "-i" if interlace else ""
        files += [
            ("rgb8" + tag, pnmtopng(tmp, "rgb8" + tag, p("rgb.ppm"), "-force", *interlace)),
            ("rgb16" + tag, pnmtopng(tmp, "rgb16" + tag, p("rgb16.ppm"), *interlace)),
            ("rgba8" + tag, pnmtopng(tmp, "rgba8" + tag, p("rgb.ppm"), "-force", "-alpha=" + p("alpha.pgm"), *interlace)),
            ("rgba16" + tag, pnmtopng(tmp, "rgba16" + tag, p("rgb16.ppm"), "-alpha=" + p("alpha.pgm"), *interlace)),
            ("rgb-trns" + tag, pnmtopng(tmp, "rgb-trns" + tag, p("pal200.ppm"), "-force",
                                        "-transparent=" + "rgb:%02x/%02x/%02x" % palette_image(w, h, 200, 200)[0],
                                        *interlace)),
            ("rgb-bkgd" + tag, pnmtopng(tmp, "rgb-bkgd" + tag, p("rgb.ppm"), "-force", "-background=rgb:12/34/56",
                                        "-size=2835 2835 1", *interlace)),
        ]
        for bits in (1, 2, 4, 8, 16):
            files.append(("grey%d%s" % (bits, tag), pnmtopng(tmp, "grey%d%s" % (bits, tag), p("grey%d.pgm" % bits), *interlace)))
            files.append(("grey%d-trns%s" % (bits, tag),
                          pnmtopng(tmp, "grey%d-trns%s" % (bits, tag), p("grey%d.pgm" % bits), "-transparent=black",
                                   *interlace)))
        files.append(("grey8-alpha" + tag, pnmtopng(tmp, "ga8" + tag, p("grey8.pgm"), "-alpha=" + p("alpha.pgm"), *interlace)))
        for n in (2, 4, 16, 200):
            files.append(("pal%d%s" % (n, tag), pnmtopng(tmp, "pal%d%s" % (n, tag), p("pal%d.ppm" % n), *interlace)))
            files.append(("pal%d-trns%s" % (n, tag), pnmtopng(tmp, "pal%d-trns%s" % (n, tag), p("pal%d.ppm" % n),
                                                               "-alpha=" + p("bw-alpha.pgm"), *interlace)))

    src = Image.frombytes("RGB", (w, h), bytes(v for px in gradient(w, h) for v in px))
    for mode in ("1", "L", "LA", "P", "RGB", "RGBA", "I;16"):
        path = p("pillow-%s.png" % mode.replace(";", ""))
        if mode == "I;16":
            im = Image.frombytes("I;16", (w, h), b"".join(struct.pack("<H", v * 257 + 1) for v in src.convert("L").tobytes()))
        elif mode == "P":
            im = src.quantize(64)
            im.info["transparency"] = 3
        elif mode in ("LA", "RGBA"):
            im = src.convert(mode)
            im.putalpha(Image.frombytes("L", (w, h), bytes(alpha_plane(w, h))))
        else:
            im = src.convert(mode)
        im.save(path, transparency=3) if mode == "P" else im.save(path)
        files.append(("pillow-" + mode, path))

    suite = os.path.join(GO_PNG, "pngsuite")
    files += [("go " + f, os.path.join(suite, f)) for f in sorted(os.listdir(suite)) if f.endswith(".png")]
    files += [("go " + f, os.path.join(GO_PNG, f)) for f in sorted(os.listdir(GO_PNG))
              if f.endswith(".png") and not f.startswith("invalid")]
    pixbuf = ["dpi.png", "icc-profile.png", "bug725582-testrotate.png", "premature-end.png", "test-image.png"]
    files += [("gdk-pixbuf " + f, os.path.join(PIXBUF, f)) for f in pixbuf]
    return files


def grey_trns_below_8(path):
    text = pngcheck(path)[1]
    head = header_of(text)
    return head is not None and head[0] in (2, 4) and head[1] == 1 and "palette" not in text.split(" image, ")[1].split("\n")[0] and "tRNS" in text


def truecolour_trns(path):
    text = pngcheck(path)[1]
    return "-bit RGB," in text and "tRNS" in text


def read_suite(tmp):
    for name, path in make_read_corpus(tmp):
        code, mine, info = ours(path, tmp)
        check(code == 0, "%s: our reader aborted" % name)
        if code:
            continue
        for judge, decode in (("pngtopam", judge_netpbm), ("Pillow", judge_pillow)):
            try:
                theirs = decode(path)
            except Exception as e:  # a judge that cannot read a valid file is a broken judge
                check(False, "%s: %s could not read it: %s" % (name, judge, e))
                continue
            alpha = not (judge == "Pillow" and grey_trns_below_8(path)) and \
                not (judge == "pngtopam" and truecolour_trns(path))
            compare(name, mine, theirs, judge, alpha=alpha)
        code, text = pngcheck(path)
        head = header_of(text)
        check(code == 0 and head is not None, "%s: pngcheck refuses a file we read: %s" % (name, text[-200:]))
        if head:
            got = (int(info["bits"]), int(info["samples"]), info["interlaced"] == "1")
            check(got == head, "%s: parameters say %s, pngcheck %s" % (name, got, head))
        if "(72 dpi)" in text:
            check(info["dpix"] == "72" and info["dpiy"] == "72", "%s: pHYs of 72 dpi read as %s x %s" %
                  (name, info["dpix"], info["dpiy"]))

        # Blending over the file's bKGD (or our own background) equals compositing the peer's pixels.
        code, blended, binfo = ours(path, tmp, "blend")
        if code == 0:
            judge = "Pillow" if truecolour_trns(path) else "pngtopam"
            theirs = judge_pillow(path) if judge == "Pillow" else judge_netpbm(path)
            bg = bytes.fromhex(binfo["background"])
            want = bytearray()
            for i in range(0, len(theirs[2]), 4):
                a = theirs[2][i + 3]
                for c in range(3):
                    t = theirs[2][i + c] * a + bg[c] * (255 - a) + 128
                    want.append((t + (t >> 8)) >> 8)
                want.append(255)
            compare(name + " blended", blended, (theirs[0], theirs[1], bytes(want)), judge + " composited")
        else:
            check(False, "%s: blended read aborted" % name)

        # Native pixel formats hold the same picture.
        code, native, _ = ours(path, tmp, "native")
        check(code == 0 and native == mine, "%s: the native read shows another picture" % name)

    # Damaged files: those the Go and gdk-pixbuf suites call invalid must be refused.
    must_refuse = [os.path.join(GO_PNG, f) for f in ("invalid-crc32.png", "invalid-noend.png", "invalid-trunc.png",
                                                     "invalid-zlib.png")]
    # Cut short inside its IDAT (pngtopam refuses it too).
    must_refuse.append(os.path.join(PIXBUF, "test-images", "reftests", "bug696331.png"))
    folder = os.path.join(PIXBUF, "test-images", "fail")
    must_refuse += [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith(".png")]
    for path in must_refuse:
        code, _, _ = ours(path, tmp)
        check(code == 2, "%s: exit %d, must abort" % (os.path.basename(path), code))
    folder = os.path.join(PIXBUF, "test-images", "randomly-modified")
    for path in [os.path.join(GO_PNG, "invalid-palette.png")] + \
            [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith(".png")]:
        code, _, _ = ours(path, tmp)
        check(code in (0, 2), "%s: exit %d, must end cleanly" % (os.path.basename(path), code))


def write_suite(tmp):
    w, h = 41, 19
    rgb = gradient(w, h, 9)
    alpha = alpha_plane(w, h)
    grey = [((x * 255) // (w - 1),) * 3 for y in range(h) for x in range(w)]
    grey4 = [(((x * 15) // (w - 1)) * 17,) * 3 for y in range(h) for x in range(w)]
    rnd = random.Random(11)
    grey16 = [rnd.randrange(65536) for _ in range(w * h)]
    bw = [(255,) * 3 if (x * y + x) % 3 else (0,) * 3 for y in range(h) for x in range(w)]
    cases = []  # name, source pixels, alpha or None, samples, bits, format option, expected pngcheck kind
    for interlace in (0, 1):
        for f in (0, 1, 2, 3):
            cases.append(("rgb-f%d" % f, rgb, None, 3, 8, "filter=%d" % f, "24-bit RGB", interlace))
        cases += [
            ("rgba", rgb, alpha, 3, 8, "", "32-bit RGB+alpha", interlace),
            ("pal1", palette_image(w, h, 2, 1), None, 1, 1, "", "1-bit palette", interlace),
            ("pal2", palette_image(w, h, 4, 2), None, 1, 2, "", "2-bit palette", interlace),
            ("pal4", palette_image(w, h, 16, 3), None, 1, 4, "", "4-bit palette", interlace),
            ("pal8", palette_image(w, h, 200, 4), None, 1, 8, "", "8-bit palette", interlace),
            ("pal8-from-8p", palette_image(w, h, 100, 5), None, 1, 8, "format=8p", "8-bit palette", interlace),
            ("bw", bw, None, 1, 1, "format=1g", "1-bit grayscale", interlace),
            ("grey8", grey, None, 1, 8, "format=8g", "8-bit grayscale", interlace),
            ("grey4", grey4, None, 1, 4, "", "4-bit grayscale", interlace),
            ("grey16", [(v >> 8,) * 3 for v in grey16], None, 1, 16, "", "16-bit grayscale", interlace),
            ("pal-trns", palette_image(w, h, 50, 6), [0 if a == 0 else 255 for a in alpha], 1, 8, "",
             "8-bit palette", interlace),
        ]
    for name, pixels, a, samples, bits, option, kind, interlace in cases:
        name = "%s%s" % (name, "-i" if interlace else "")
        src = os.path.join(tmp, name + (".pam" if a else ".ppm"))
        if a:
            write_pam(src, w, h, pixels, a)
        elif bits == 16:
            write_pnm(src, w, h, grey16, 65535, grey=True)
        else:
            write_pnm(src, w, h, pixels)
        dst = os.path.join(tmp, name + ".png")
        args = [TOOL, "write", src, dst, str(samples), str(bits), str(interlace)] + ([option] if option else [])
        r = run(args)
        check(r.returncode == 0, "%s: our writer failed (%d) %s" % (name, r.returncode, r.stderr.decode()))
        if r.returncode:
            continue
        code, text = pngcheck(dst)
        check(code == 0 and ("%s, %s" % (kind, "interlaced" if interlace else "non-interlaced")) in text,
              "%s: pngcheck -v says %s" % (name, text.strip().splitlines()[-1] if text.strip() else code))
        check("72 dpi" in text, "%s: no 72 dpi pHYs" % name)
        expect = bytearray()
        for i, p in enumerate(pixels):
            # A palette keeps no colour under full transparency: entry 0 holds the background, black.
            expect += bytes((0, 0, 0, 0)) if a and samples == 1 and a[i] == 0 else bytes(p) + bytes((a[i] if a else 255,))
        for judge, decode in (("pngtopam", judge_netpbm), ("Pillow", judge_pillow)):
            try:
                theirs = decode(dst)
            except Exception as e:
                check(False, "%s: %s could not read our file: %s" % (name, judge, e))
                continue
            compare(name, (w, h, bytes(expect)), theirs, judge)
        # 16-bit grey keeps every sample: the peer's 16-bit values are the source's times 257.
        if bits == 16:
            raw = run(["pngtopam", dst]).stdout
            body = raw[raw.index(b"65535\n") + 6:]
            vals = struct.unpack(">%dH" % (w * h), body[:2 * w * h])
            check(list(vals) == grey16, "%s: 16-bit samples differ" % name)


if __name__ == "__main__":
    sys.exit(peer_suite.main("va_png_peers_", read_suite, write_suite))
