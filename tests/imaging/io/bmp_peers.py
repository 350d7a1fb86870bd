#!/usr/bin/env python3
"""BMP reader and writer judged by independent peers, both ways.

Reading: BMP files written by ImageMagick, netpbm's ppmtobmp and Pillow (every depth, RLE4, RLE8,
bit fields, core, OS/2 2.x, v4 and v5 headers, top-down) and the BMP files of gdk-pixbuf's test
suite are decoded by our reader and by Pillow, bmptopnm and ImageMagick; the pixels must agree
exactly. 16-bit fields are the one place the peers disagree among themselves (bmptopnm and Pillow
scale v * 255 / max rounding down, ImageMagick repeats the top bits): there ours must equal the
first two and lie within 1 of ImageMagick.

Where a peer cannot judge a file it is left out for that file only, each for a stated reason:
bmptopnm reads neither OS/2 2.x headers nor RLE4, and refuses ImageMagick's RLE8 (whose
runs reach past the row end); Pillow 9.4 reads an RLE4 absolute run of odd length one pixel short;
ImageMagick takes 3-byte palette entries after an OS/2 2.x header, where the format has 4.
Every file is also read on the two other roads into a BMP file, the runtime reader TBitmap goes
through and DIB import of the bytes after the file header: all three must give the same pixels
(DIB import only where the pixels follow the colour table, as in a DIB, and not for core headers,
which a DIB does not have).

Damaged files (truncated at every part of the file, pixel offsets outside the data, a width or
height of 0, tiny files that describe huge images) must be refused on all three roads; the files
gdk-pixbuf keeps because loaders crashed on them must end cleanly, and those it lists as failing
must be refused.

Writing: our writer saves images at 1, 4, 8 and 24 bits, with RLE4 and RLE8, with the core,
info and OS/2 2.x headers; every peer must decode the file to exactly the source pixels. Images
with no more colours than the depth holds (greys, black and white, sixteen colours at 4 bits; one
or two colours at 1 bit) come back exactly too.

Usage: bmp_peers.py <bmp_peer_tool> <convert> <gdk-pixbuf test folder>
"""
import io
import os
import struct
import subprocess
import sys

from PIL import Image

from peer_suite import black_and_white, check, gradient, max_difference, parse_pnm, run, with_colours
import peer_suite

TOOL, CONVERT, PIXBUF = sys.argv[1], sys.argv[2], sys.argv[3]


# ---- the judges: each turns a file into (width, height, RGB bytes) ----

def judge_pillow(path):
    im = Image.open(path)
    im.load()
    rgb = im.convert("RGB")
    return rgb.width, rgb.height, rgb.tobytes()


def judge_netpbm(path):
    r = run(["bmptopnm", path])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return parse_pnm(r.stdout)


def judge_magick(path):
    r = run([CONVERT, path + "[0]", "-depth", "8", "-alpha", "off", "ppm:-"])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return parse_pnm(r.stdout)


JUDGES = {"pillow": judge_pillow, "bmptopnm": judge_netpbm, "imagemagick": judge_magick}


ROADS = ("io", "runtime", "dib")


def ours(path, tmp, road="io"):
    out = os.path.join(tmp, "ours.ppm")
    r = run([TOOL, "read", path, out, road])
    if r.returncode != 0:
        return r.returncode, None
    with open(out, "rb") as f:
        return 0, parse_pnm(f.read())


# ---- source images ----

def top_down(data):
    """The same image stored top row first: negative height, rows reversed."""
    hsize = struct.unpack_from("<I", data, 14)[0]
    w, h = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    off = struct.unpack_from("<I", data, 10)[0]
    stride = (w * bits + 31) // 32 * 4
    rows = [data[off + y * stride: off + (y + 1) * stride] for y in range(h)]
    out = bytearray(data[:off]) + b"".join(reversed(rows))
    struct.pack_into("<i", out, 22, -h)
    assert hsize >= 40
    return bytes(out)


def make_read_corpus(tmp):
    """(name, path, 16-bit fields?) of files the peers wrote."""
    files = []
    src = {
        "rgb": gradient(37, 23),
        "c256": with_colours(41, 19, 200, 1),
        "c16": with_colours(33, 17, 14, 2),
        "c2": with_colours(29, 11, 2, 3),
        "bw": black_and_white(35, 13),
    }
    for name, im in src.items():
        im.save(os.path.join(tmp, name + ".ppm"))

    def magick(name, source, *args):
        path = os.path.join(tmp, name + ".bmp")
        r = run([CONVERT, os.path.join(tmp, source + ".ppm")] + list(args[:-1]) + [args[-1] + path])
        assert r.returncode == 0, r.stderr
        return path

    def netpbm(name, source, *args):
        path = os.path.join(tmp, name + ".bmp")
        with open(os.path.join(tmp, source + ".ppm"), "rb") as f, open(path, "wb") as o:
            r = subprocess.run(["ppmtobmp"] + list(args), stdin=f, stdout=o, stderr=subprocess.PIPE)
        assert r.returncode == 0, r.stderr
        return path

    def pillow(name, source, mode):
        path = os.path.join(tmp, name + ".bmp")
        im = src[source]
        if mode == "P":
            im = im.quantize(256)
        elif mode != "RGB":
            im = im.convert(mode)
        im.save(path)
        return path

    files += [
        ("im-24-v3", magick("im-24-v3", "rgb", "BMP3:"), False),
        ("im-24-v5", magick("im-24-v5", "rgb", "BMP:"), False),
        ("im-24-core", magick("im-24-core", "rgb", "BMP2:"), False),
        ("im-8", magick("im-8", "c256", "-type", "Palette", "-compress", "None", "BMP3:"), False),
        ("im-8-rle", magick("im-8-rle", "c256", "-type", "Palette", "-compress", "RLE", "BMP3:"), False),
        ("im-4", magick("im-4", "c16", "-type", "Palette", "-compress", "None", "BMP3:"), False),
        ("im-1", magick("im-1", "c2", "-type", "Palette", "-compress", "None", "BMP3:"), False),
        ("im-32-v5-alpha", magick("im-32-v5", "rgb", "-alpha", "on", "BMP:"), False),
        ("im-16-565", magick("im-16-565", "rgb", "-define", "bmp:subtype=RGB565", "BMP:"), True),
        ("im-16-555", magick("im-16-555", "rgb", "-define", "bmp:subtype=RGB555", "BMP:"), True),
        ("im-16-x444", magick("im-16-x444", "rgb", "-define", "bmp:subtype=XRGB4444", "BMP:"), True),
        ("ppmtobmp-1", netpbm("ppmtobmp-1", "bw", "-bpp", "1"), False),
        ("ppmtobmp-4", netpbm("ppmtobmp-4", "c16", "-bpp", "4"), False),
        ("ppmtobmp-8", netpbm("ppmtobmp-8", "c256", "-bpp", "8"), False),
        ("ppmtobmp-24", netpbm("ppmtobmp-24", "rgb", "-bpp", "24"), False),
        ("ppmtobmp-os2-8", netpbm("ppmtobmp-os2-8", "c256", "-os2", "-bpp", "8"), False),
        ("ppmtobmp-os2-24", netpbm("ppmtobmp-os2-24", "rgb", "-os2"), False),
        ("pillow-1", pillow("pillow-1", "bw", "1"), False),
        ("pillow-8-grey", pillow("pillow-8-grey", "rgb", "L"), False),
        ("pillow-8", pillow("pillow-8", "c256", "P"), False),
        ("pillow-24", pillow("pillow-24", "rgb", "RGB"), False),
    ]
    # RLE4 comes from our own writer (none of the peers writes it) and is judged by the readers.
    rle4 = os.path.join(tmp, "ours-rle4.bmp")
    assert run([TOOL, "write", os.path.join(tmp, "c16.ppm"), rle4, "4", "1", "1"]).returncode == 0
    files.append(("ours-rle4", rle4, False))
    for name, path, fields in list(files):
        if name in ("im-24-v3", "ppmtobmp-8", "im-16-565", "pillow-1"):
            flipped = os.path.join(tmp, name + "-topdown.bmp")
            with open(path, "rb") as f, open(flipped, "wb") as o:
                o.write(top_down(f.read()))
            files.append((name + "-topdown", flipped, fields))
    return files


def pixbuf_reference(path):
    im = Image.open(path + ".ref.png")
    if im.mode in ("RGBA", "LA", "PA") or "transparency" in im.info:
        # The reference keeps the mask's alpha; the reader drops it, so compare colour only.
        im = im.convert("RGBA")
    rgb = im.convert("RGB")
    return rgb.width, rgb.height, rgb.tobytes()


def pixels_follow_table(data):
    """Whether a file's pixels start right after its header and colour table, as a DIB's do."""
    hsize = struct.unpack_from("<I", data, 14)[0]
    if hsize < 40:
        return False
    bits, compression = struct.unpack_from("<HI", data, 28)
    used = struct.unpack_from("<I", data, 46)[0]
    used = 0 if used > 256 else used
    entries = used or (1 << bits if bits <= 8 else 0)
    masks = 12 if compression == 3 and hsize == 40 else 0
    return struct.unpack_from("<I", data, 10)[0] == 14 + hsize + masks + 4 * entries


def read_suite(tmp):
    corpus = make_read_corpus(tmp)
    for name, path, fields in corpus:
        code, mine = ours(path, tmp)
        check(code == 0, "%s: our reader aborted" % name)
        if code:
            continue
        with open(path, "rb") as f:
            data = f.read()
        for road in ROADS[1:]:
            if road == "dib" and not pixels_follow_table(data):
                continue
            code, other = ours(path, tmp, road)
            check(code == 0 and other == mine, "%s: the %s road reads it otherwise" % (name, road))
        for judge, decode in JUDGES.items():
            if judge == "bmptopnm" and "rle" in name:
                continue
            if judge == "pillow" and "rle4" in name:
                continue
            try:
                theirs = decode(path)
            except Exception as e:  # a judge that cannot read a valid file is a broken judge
                check(False, "%s: %s could not read it: %s" % (name, judge, e))
                continue
            same_size = mine[:2] == theirs[:2]
            if fields and judge == "imagemagick":
                ok = same_size and max_difference(mine[2], theirs[2]) <= 1
            else:
                ok = same_size and mine[2] == theirs[2]
            check(ok, "%s: differs from %s (size %s vs %s, largest difference %d)" %
                  (name, judge, mine[:2], theirs[:2], max_difference(mine[2], theirs[2]) if same_size else -1))

    ref = os.path.join(PIXBUF, "test-images", "reftests", "mandatory-bitmasks.bmp")
    code, mine = ours(ref, tmp)
    check(code == 0 and mine == pixbuf_reference(ref), "gdk-pixbuf reftest mandatory-bitmasks.bmp")
    # Files the pixbuf suite keeps because loaders crashed on them: ours must end cleanly, and those
    # it lists as failing must be refused.
    damaged = [os.path.join(PIXBUF, "cve-2015-4491.bmp")]
    for sub in ("fail", "randomly-modified"):
        folder = os.path.join(PIXBUF, "test-images", sub)
        damaged += [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith(".bmp")]
    for path in damaged:
        must_refuse = os.sep + "fail" + os.sep in path
        for road in ("io", "runtime"):
            code, _ = ours(path, tmp, road)
            check(code == 2 if must_refuse else code in (0, 2),
                  "gdk-pixbuf %s: exit %d on the %s road" % (os.path.basename(path), code, road))

    damaged_suite(tmp, corpus)


def damaged_files(corpus):
    """(what, bytes, damage to the file header only) made from the valid files."""
    out = []
    for name, path, _ in corpus:
        with open(path, "rb") as f:
            data = f.read()
        if "topdown" in name:
            continue
        off = struct.unpack_from("<I", data, 10)[0]
        # Run-length data that has reached the end of its last row needs no end-of-bitmap code.
        end = len(data) - (2 if "rle" in name else 0)
        cuts = sorted({1, 2, 13, 14, 17, 30, 53, off - 1, off + 1, (off + end) // 2, end - 1})
        for n in cuts:
            if 0 < n < len(data):
                out.append(("%s cut to %d bytes" % (name, n), data[:n], False))
        if struct.unpack_from("<I", data, 14)[0] >= 40:
            for at, value, what in ((18, 0, "width 0"), (22, 0, "height 0")):
                b = bytearray(data)
                struct.pack_into("<I", b, at, value)
                out.append(("%s with %s" % (name, what), bytes(b), False))
        for value, what in ((len(data) + 100, "beyond the file"), (20, "inside the header")):
            b = bytearray(data)
            struct.pack_into("<I", b, 10, value)
            out.append(("%s with its pixel offset %s" % (name, what), bytes(b), True))

    def tiny(width, height, bits, compression, table, pixels):
        info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels), 0, 0, 0, 0)
        off = 14 + 40 + len(table)
        return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + table + pixels
    out.append(("18000x18000 at 24 bits in 62 bytes", tiny(18000, 18000, 24, 0, b"", bytes(8)), False))
    out.append(("18000x18000 RLE8 in 1082 bytes", tiny(18000, 18000, 8, 1, bytes(1024), b"\0\0\0\1"), False))
    out.append(("18000x18000 RLE4 in 122 bytes", tiny(18000, 18000, 4, 2, bytes(64), b"\0\0\0\1"), False))
    return out


def damaged_suite(tmp, corpus):
    for what, data, file_header in damaged_files(corpus):
        path = os.path.join(tmp, "damaged.bmp")
        with open(path, "wb") as f:
            f.write(data)
        for road in ROADS:
            if road == "dib" and file_header:
                continue  # a DIB has no file header to damage
            code, _ = ours(path, tmp, road)
            check(code == 2, "%s: exit %d on the %s road, not a refusal" % (what, code, road))


def write_suite(tmp):
    sources = {
        24: gradient(37, 23),
        8: with_colours(41, 19, 200, 4),
        4: with_colours(33, 17, 14, 5),
        1: black_and_white(35, 13),
    }
    two_colours = with_colours(29, 11, 2, 6)
    cases = []
    for bits in (1, 4, 8, 24):
        for version in (1, 2, 3):  # info, core, OS/2 2.x
            for rle in ((0, 1) if bits in (4, 8) else (0,)):
                cases.append((bits, version, rle, sources[bits]))
    cases.append((1, 1, 0, two_colours))
    # Few colours: written with exactly their own.
    greys = Image.new("RGB", (31, 9))
    greys.putdata([((x + y) % 16 * 17,) * 3 for y in range(9) for x in range(31)])
    for rle in (0, 1):
        cases.append((4, 1, rle, greys))
        cases.append((4, 1, rle, black_and_white(35, 13)))
        cases.append((4, 1, rle, with_colours(33, 17, 16, 8)))
    for colour in ((0, 0, 0), (255, 255, 255), (0, 128, 128)):
        cases.append((1, 1, 0, Image.new("RGB", (21, 5), colour)))
    cases.append((1, 1, 0, with_colours(29, 11, 2, 9)))
    for index, (bits, version, rle, im) in enumerate(cases):
        name = "write-%d-v%d-rle%d-%d" % (bits, version, rle, index)
        src = os.path.join(tmp, name + ".ppm")
        dst = os.path.join(tmp, name + ".bmp")
        im.save(src)
        code = run([TOOL, "write", src, dst, str(bits), str(version), str(rle)]).returncode
        check(code == 0, "%s: our writer failed (%d)" % (name, code))
        if code:
            continue
        expect = (im.width, im.height, im.tobytes())
        for judge, decode in JUDGES.items():
            if judge == "bmptopnm" and (version == 3 or (rle and bits == 4)):
                continue
            if judge == "pillow" and rle and bits == 4:
                continue
            if judge == "imagemagick" and version == 3 and bits <= 8:
                continue
            try:
                theirs = decode(dst)
            except Exception as e:
                check(False, "%s: %s could not read it: %s" % (name, judge, e))
                continue
            check(theirs == expect, "%s: %s decodes other pixels" % (name, judge))


if __name__ == "__main__":
    sys.exit(peer_suite.main("va_bmp_peers_", read_suite, write_suite))
