#!/usr/bin/env python3
"""Icon and cursor reader and icon writer judged by independent peers, both ways.

Reading: icons that icotool -c writes (1, 4, 8, 24 and 32 bits, several sizes in one file, raw PNG
entries), cursors it writes with hot spots, icons that pamtowinicon writes (BMP and PNG entries,
with and without -truetransparent) and icons Pillow writes (PNG entries, and 32-bit BMP entries
without an AND mask), plus gdk-pixbuf's icons, are decoded by our reader and by every peer that
reads them: icotool -x (its PNG decoded by Pillow), winicontopam -image (icons only) and Pillow.
Alpha must agree exactly and colours wherever a pixel is not wholly transparent (what a wholly
transparent pixel holds is invisible, and the peers and we fill it differently). The directory's
sizes and depths, and the cursors' hot spots, must be what icotool -l lists. gdk-pixbuf's icons
must match its reference images, its failing icons must make the reader abort, and randomly
modified files must end cleanly; entries that claim gigabytes in a few bytes must make it abort
within 100 MB.

Writing: our writer saves several sizes at every depth, with and without alpha, in one file;
icotool -l must list the sizes and depths asked for, and icotool -x, winicontopam and Pillow must
decode every image exactly as our reader does, and as the source where no resizing or colour
reduction was needed.

Usage: ico_peers.py <ico_peer_tool> <gdk-pixbuf test folder>
"""
import io
import os
import random
import struct
import sys
import zlib

from PIL import Image

from peer_suite import check, parse_pam, run
import peer_suite

TOOL, PIXBUF = sys.argv[1], sys.argv[2]


# ---- pixels as (width, height, RGBA bytes) ----

def rgba_of(im):
    im = im.convert("RGBA")
    return im.width, im.height, im.tobytes()


def judge_icotool(path, index):
    r = run(["icotool", "-x", "-i", str(index + 1), "-o", "-", path])
    if r.returncode != 0 or not r.stdout:
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return rgba_of(Image.open(io.BytesIO(r.stdout)))


def judge_winicontopam(path, index):
    r = run(["winicontopam", "-image=%d" % index, path])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return parse_pam(r.stdout)


def judge_pillow(path, index):
    im = Image.open(path)
    if im.format == "CUR":
        im.load()
        return rgba_of(im)
    # Pillow keeps the entries in an order of its own; the offset names ours.
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 6 + 16 * index + 12)[0]
    position = [e["offset"] for e in im.ico.entry].index(offset)
    return rgba_of(im.ico.frame(position))


def ours(path, tmp, kind="ico", *options):
    out = os.path.join(tmp, "ours.pam")
    r = run([TOOL, "read", kind, path, out] + list(options))
    if r.returncode != 0:
        return r.returncode, None, {}
    info = {}
    for line in r.stdout.decode().split():
        key, _, value = line.partition("=")
        info.setdefault(key, []).append(value)
    with open(out, "rb") as f:
        return 0, parse_pam(f.read()), info


def same_visible(a, b, alpha=True):
    """Alpha alike everywhere (with alpha), colours alike where a pixel shows at all; the count of
    pixels that differ, -1 for other sizes."""
    if a[:2] != b[:2] or len(a[2]) != len(b[2]):
        return -1
    bad = 0
    for i in range(0, len(a[2]), 4):
        pa, pb = a[2][i:i + 4], b[2][i:i + 4]
        if (alpha and pa[3] != pb[3]) or (pa[3] and pa[:3] != pb[:3]):
            bad += 1
    return bad


def compare(name, mine, theirs, judge, alpha=True):
    bad = same_visible(mine, theirs, alpha)
    check(bad == 0, "%s: differs from %s (%s)" % (
        name, judge, "size %s vs %s" % (mine[:2], theirs[:2]) if bad < 0 else "%d pixels" % bad))


def listing(path):
    """icotool -l: one dict per image."""
    r = run(["icotool", "-l", path])
    rows = []
    for line in r.stdout.decode().splitlines():
        row = {}
        for part in line.split():
            key, _, value = part.lstrip("-").partition("=")
            row[key] = value
        rows.append(row)
    return rows


def entries_of(path):
    """What the peers' quirks depend on, per entry: PNG or not, 24-bit rows with padding, 32-bit
    pixels whose fourth bytes are all 0."""
    with open(path, "rb") as f:
        data = f.read()
    out = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        body = data[offset:offset + size]
        e = {"png": body[:4] == b"\x89PNG", "padded24": False, "zero_alpha": False}
        if e["png"]:
            depth, colour = body[24], body[25]
            e["bits"] = depth * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour, 1)
        else:
            width, height, _, bits = struct.unpack_from("<iiHH", body, 4)
            e["bits"] = bits
            e["padded24"] = bits == 24 and width * 3 % 4 != 0
            rows = body[40:40 + width * 4 * (height // 2)]
            e["zero_alpha"] = bits == 32 and not any(rows[3::4])
        out.append(e)
    return out


def left_out(judge, kind, entries, index):
    """Why a judge cannot judge an entry, or None."""
    e = entries[index]
    if judge == "icotool":
        if e["padded24"]:
            return "icotool -x 0.32 drops the padding of 24-bit rows, so each row after the first shifts"
        if e["zero_alpha"]:
            return "icotool takes 32-bit pixels whose fourth bytes are all 0 as transparent; Windows, " \
                   "winicontopam and Pillow take the AND mask"
        kinds = [x["png"] for x in entries]
        if e["png"] and index != kinds.index(True):
            return "icotool -x gives the first PNG entry of a file for every index"
        if True in kinds and False in kinds[kinds.index(True):]:
            return "icotool -x fails on a file where a BMP entry follows a PNG one"
    if judge == "winicontopam" and kind == "cur":
        return "winicontopam reads no cursors"
    if judge == "pillow" and kind == "cur" and index > 0:
        return "Pillow 9.4 reads a cursor's first image only"
    return None


# ---- source images ----

def gradient_rgba(w, h, seed=5):
    rnd = random.Random(seed)
    im = Image.new("RGBA", (w, h))
    im.putdata([((x * 255) // max(w - 1, 1), (y * 255) // max(h - 1, 1), rnd.randrange(256),
                 (0, 255, 255, 128, 40, 255, 200)[(x + 2 * y) % 7]) for y in range(h) for x in range(w)])
    return im


def few_colours(w, h, n, seed, cut=True):
    """n opaque colours; with cut, a transparent corner and a scatter of transparent pixels."""
    rnd = random.Random(seed)
    pal = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(n)]
    px = []
    for y in range(h):
        for x in range(w):
            hidden = cut and (x + y < 3 or (x * 7 + y * 3) % 11 == 0)
            px.append(pal[(x // 2 + y) % n] + ((0,) if hidden else (255,)))
    im = Image.new("RGBA", (w, h))
    im.putdata(px)
    return im


def black_and_white(w, h):
    im = Image.new("RGBA", (w, h))
    im.putdata([((255, 255, 255) if (x * y + x) % 3 else (0, 0, 0)) + ((0,) if x < 2 else (255,))
                for y in range(h) for x in range(w)])
    return im


def save_pam(im, path):
    im = im.convert("RGBA")
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % im.size)
        f.write(im.tobytes())
    return path


# ---- reading ----

def read_and_judge(name, path, judges, tmp, kind="ico"):
    entries = entries_of(path)
    listed = listing(path)
    if name != "pillow-bmp":  # icotool refuses an entry without its AND mask
        check(len(listed) == len(entries), "%s: icotool lists %d images of %d" % (name, len(listed), len(entries)))
    for index in range(len(entries)):
        label = "%s #%d" % (name, index)
        code, mine, info = ours(path, tmp, kind, "index=%d" % index)
        check(code == 0, "%s: our reader aborted (%d)" % (label, code))
        if code:
            continue
        if index < len(listed):
            entry = listed[index]
            check(mine[:2] == (int(entry["width"]), int(entry["height"])),
                  "%s: size %s, icotool lists %sx%s" % (label, mine[:2], entry["width"], entry["height"]))
            if kind == "cur":
                check(info.get("hotx") == [entry.get("hotspot-x")] and info.get("hoty") == [entry.get("hotspot-y")],
                      "%s: hot spot %s,%s, icotool lists %s,%s" % (label, info.get("hotx"), info.get("hoty"),
                                                                  entry.get("hotspot-x"), entry.get("hotspot-y")))
            else:
                sizes = [s.split(":")[0] for s in info.get("size", [])]
                expect = ["%sx%s" % (e["width"], e["height"]) for e in listed[:16]]
                check(sizes == expect, "%s: sizes %s, icotool lists %s" % (label, sizes, expect))
        for judge, decode in judges.items():
            if left_out(judge, kind, entries, index):
                continue
            try:
                theirs = decode(path, index)
            except Exception as e:  # a judge that cannot read a valid file is a broken judge
                check(False, "%s: %s could not read it: %s" % (label, judge, e))
                continue
            # Pillow 9.4 reads a cursor's colour rows without its AND mask (and the alpha of 32-bit
            # pixels only in one-image cursors): it judges the colours we show.
            compare(label, mine, theirs, judge, alpha=not (judge == "pillow" and kind == "cur"))


def make_read_corpus(tmp):
    p = lambda n: os.path.join(tmp, n)
    files = []  # (name, path, kind, judges)
    all3 = {"icotool": judge_icotool, "winicontopam": judge_winicontopam, "pillow": judge_pillow}

    sources = {
        "bw": [black_and_white(w, h) for w, h in ((16, 16), (7, 5), (33, 9))],
        "c16": [few_colours(w, h, 11, 2) for w, h in ((16, 16), (21, 13), (32, 32))],
        "c256": [few_colours(w, h, 200, 3) for w, h in ((24, 24), (17, 30))],
        "rgba": [gradient_rgba(w, h) for w, h in ((16, 16), (48, 48), (5, 3), (256, 256))],
    }
    pngs = {}
    for key, images in sources.items():
        pngs[key] = []
        for i, im in enumerate(images):
            path = p("%s-%d.png" % (key, i))
            im.save(path)
            pngs[key].append(path)
    opaque = p("opaque.png")
    gradient_rgba(19, 11).convert("RGB").save(opaque)

    def icotool(name, *args, kind="ico"):
        path = p(name + "." + kind)
        r = run(["icotool", "-c", "-o", path] + list(args))
        assert r.returncode == 0, r.stderr
        files.append((name, path, kind, all3))

    icotool("icotool-1bit", "-b", "1", *pngs["bw"])
    icotool("icotool-4bit", "-b", "4", *pngs["c16"])
    icotool("icotool-8bit", "-b", "8", *(pngs["c16"][:1] + pngs["c256"]))
    icotool("icotool-24bit", "-b", "24", *(pngs["rgba"][:3] + pngs["c16"][:1]))
    icotool("icotool-24bit-opaque", "-b", "24", opaque)
    icotool("icotool-32bit", "-b", "32", *pngs["rgba"])
    # icotool -x loses its way in BMP entries that follow a PNG one: these come first.
    icotool("icotool-raw", "-b", "32", pngs["rgba"][0], pngs["c16"][0], "--raw=" + pngs["rgba"][3],
            "--raw=" + pngs["c16"][1])
    for bits, key in ((1, "bw"), (4, "c16"), (8, "c256"), (24, "rgba"), (32, "rgba")):
        icotool("icotool-cursor-%d" % bits, "--cursor", "-X", str(bits % 7), "-Y", str(bits % 5 + 1), "-b",
                str(bits), pngs[key][0], kind="cur")
    icotool("icotool-cursor-several", "--cursor", "-X", "2", "-Y", "9", "-b", "32", pngs["rgba"][1],
            "-X", "1", "-Y", "0", "-b", "8", pngs["c256"][0], kind="cur")

    # pamtowinicon: one image a PAM in the stream, BMP up to the threshold, PNG from it on.
    multi = p("multi.pam")
    with open(multi, "wb") as f:
        for im in (sources["bw"][0], sources["c16"][1], sources["c256"][0], sources["rgba"][1],
                   gradient_rgba(9, 7).convert("RGB").convert("RGBA")):
            f.write(open(save_pam(im, p("one.pam")), "rb").read())
    for name, args in (("pamtowinicon", []), ("pamtowinicon-png", ["-pngthreshold=16"]),
                       ("pamtowinicon-truetransparent", ["-truetransparent"])):
        path = p(name + ".ico")
        # The file named, not on standard input: the PNG encoder it starts would read that too.
        r = run(["pamtowinicon"] + args + [multi])
        assert r.returncode == 0, r.stderr
        with open(path, "wb") as out:
            out.write(r.stdout)
        files.append((name, path, "ico", all3))

    # Pillow: PNG entries by default; 32-bit BMP entries (without an AND mask) on request.
    big = gradient_rgba(64, 64, 9)
    path = p("pillow-png.ico")
    big.save(path, sizes=[(16, 16), (32, 32), (64, 64)])
    files.append(("pillow-png", path, "ico", all3))
    path = p("pillow-bmp.ico")
    sources["rgba"][1].save(path, sizes=[(48, 48)], bitmap_format="bmp")
    # icotool refuses the missing AND mask.
    files.append(("pillow-bmp", path, "ico", {"winicontopam": judge_winicontopam, "pillow": judge_pillow}))
    return files


def reading_suite(tmp):
    for name, path, kind, judges in make_read_corpus(tmp):
        read_and_judge(name, path, judges, tmp, kind)
    pixbuf_suite(tmp)


def pixbuf_suite(tmp):
    images = os.path.join(PIXBUF, "test-images")
    all3 = {"icotool": judge_icotool, "winicontopam": judge_winicontopam, "pillow": judge_pillow}
    for name in ("squares.ico", "bug785447.ico"):
        path = os.path.join(images, "reftests", name)
        read_and_judge("gdk-pixbuf " + name, path, all3, tmp)
        # gdk-pixbuf shows the largest image of the most bits; its reference is that image.
        ref = rgba_of(Image.open(path + ".ref.png"))
        best = None
        for index, entry in enumerate(entries_of(path)):
            code, mine, _ = ours(path, tmp, "ico", "index=%d" % index)
            if code == 0 and mine[:2] == ref[:2] and (best is None or entry["bits"] > best[0]):
                best = (entry["bits"], index, mine)
        check(best is not None, "gdk-pixbuf %s: no image of its reference's size" % name)
        if best:
            compare("gdk-pixbuf %s #%d" % (name, best[1]), best[2], ref, "its reference image")
    for name in sorted(os.listdir(os.path.join(images, "fail"))):
        if name.endswith(".ico") or name.endswith(".cur"):
            code, _, _ = ours(os.path.join(images, "fail", name), tmp)
            check(code == 2, "gdk-pixbuf fail/%s: exit %d, not an abort" % (name, code))
    modified = os.path.join(images, "randomly-modified")
    for name in sorted(os.listdir(modified)):
        if name.endswith(".ico") or name.endswith(".cur"):
            for kind in ("ico", "cur"):
                code, _, _ = ours(os.path.join(modified, name), tmp, kind)
                check(code in (0, 2), "gdk-pixbuf randomly-modified/%s as %s: exit %d" % (name, kind, code))


def damaged_files_end_cleanly(tmp):
    rnd = random.Random(17)
    path = os.path.join(tmp, "icotool-32bit.ico")
    for source in ("icotool-4bit.ico", "icotool-32bit.ico", "icotool-raw.ico", "icotool-cursor-8.cur"):
        with open(os.path.join(tmp, source), "rb") as f:
            data = f.read()
        variants = [data[:n] for n in (1, 6, 21, 22, 40, 62, len(data) // 2, len(data) - 1)]
        for _ in range(20):
            b = bytearray(data)
            for _ in range(3):
                b[rnd.randrange(len(b))] = rnd.randrange(256)
            variants.append(bytes(b))
        for i, v in enumerate(variants):
            path = os.path.join(tmp, "damaged.ico")
            with open(path, "wb") as f:
                f.write(v)
            for kind in ("ico", "cur"):
                code, _, _ = ours(path, tmp, kind)
                check(code in (0, 2), "%s variant %d as %s: exit %d" % (source, i, kind, code))


def bombs_end_cleanly(tmp):
    """Entries that claim gigabytes in a few bytes end in an abort within 100 MB."""
    def icon(entries, type=1):
        head = struct.pack("<HHH", 0, type, len(entries))
        offset = 6 + 16 * len(entries)
        body = b""
        for data, listed in entries:
            head += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, listed or len(data), offset + len(body))
            body += data
        return head + body

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    def dib(w, h):
        return struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0) + bytes(64)

    rows = zlib.compress(bytes(1 + 4 * 30000) * 64, 9)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 30000, 30000, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", rows) + chunk(b"IEND", b""))
    bombs = {
        "dib 65535 x 65535": icon([(dib(65535, 65535), None)]),
        "dib 65535 x 65535, 4 GB listed": icon([(dib(65535, 65535), 0xFFFFFFF0)]),
        "dib 30000 x 30000 cursor": icon([(dib(30000, 30000), None)], 2),
        "png 30000 x 30000": icon([(png, None)]),
        "65535 entries of 4 GB": struct.pack("<HHH", 0, 1, 65535) +
        struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, 0xFFFFFFF0, 16) * 65535,
    }
    for name, data in bombs.items():
        path = os.path.join(tmp, "bomb.ico")
        with open(path, "wb") as f:
            f.write(data)
        for kind in ("ico", "cur"):
            r = run([TOOL, "read", kind, path, os.path.join(tmp, "bomb.pam")], timeout=60)
            err = r.stderr.decode()
            peak = int(err.split("peak_kb=")[1].split()[0]) if "peak_kb=" in err else -1
            check(r.returncode == 2 and 0 < peak < 100 * 1024, "%s as %s: exit %d, peak %d kB (must be refused "
                  "within 100 MB)" % (name, kind, r.returncode, peak))


# ---- writing ----

def writing_suite(tmp):
    p = lambda n: os.path.join(tmp, n)
    cases = [
        # (name, source, [(w, h, bits)], exact: the images that must equal the source)
        ("rgba", gradient_rgba(32, 32, 4), [(32, 32, 32), (32, 32, 24), (16, 16, 32), (48, 48, 24), (20, 12, 32)],
         {0, 1}),
        ("c15", few_colours(24, 24, 15, 6), [(24, 24, 4), (24, 24, 8), (24, 24, 24), (24, 24, 32), (16, 16, 4)],
         {0, 1, 2, 3}),
        ("c200", few_colours(30, 18, 200, 7), [(30, 18, 8), (30, 18, 24), (64, 40, 8)], {0, 1}),
        ("opaque", few_colours(17, 9, 9, 8, cut=False), [(17, 9, 4), (17, 9, 8), (17, 9, 24), (17, 9, 32)],
         {0, 1, 2, 3}),
        ("bw", black_and_white(37, 11), [(37, 11, 1), (37, 11, 4), (37, 11, 24), (18, 6, 1)], {0, 1, 2}),
        ("big", gradient_rgba(256, 256, 8), [(256, 256, 32), (256, 256, 24), (128, 128, 32)], {0, 1}),
    ]
    judges = {"icotool": judge_icotool, "winicontopam": judge_winicontopam, "pillow": judge_pillow}
    for name, im, images, exact in cases:
        src = save_pam(im, p("w-%s.pam" % name))
        dst = p("ours-%s.ico" % name)
        args = ["%dx%d:%d" % i for i in images]
        r = run([TOOL, "write", src, dst] + args)
        check(r.returncode == 0, "write %s: our writer failed (%d)" % (name, r.returncode))
        if r.returncode:
            continue
        listed = listing(dst)
        entries = entries_of(dst)
        check([(int(e["width"]), int(e["height"]), int(e["bit-depth"])) for e in listed] == images,
              "write %s: icotool lists %s" % (name, listed))
        for index, (w, h, bits) in enumerate(images):
            label = "write %s #%d (%dx%d, %d bits)" % (name, index, w, h, bits)
            code, mine, _ = ours(dst, tmp, "ico", "index=%d" % index)
            check(code == 0, "%s: our reader aborted (%d)" % (label, code))
            if code:
                continue
            if index in exact:
                expect = im.tobytes()
                if bits < 32:  # below 32 bits the AND mask holds only fully opaque or transparent
                    expect = bytes(v if i % 4 != 3 else (255 if v == 255 else 0) for i, v in enumerate(expect))
                compare(label, mine, (w, h, expect), "the source")
            for judge, decode in judges.items():
                if left_out(judge, "ico", entries, index):
                    continue
                try:
                    theirs = decode(dst, index)
                except Exception as e:
                    check(False, "%s: %s could not read it: %s" % (label, judge, e))
                    continue
                compare(label, mine, theirs, judge)
    # Sizes the directory cannot hold are refused, and nothing is written.
    src = save_pam(gradient_rgba(8, 8), p("w-small.pam"))
    for bad in ("257x16:32", "16x0:8"):
        dst = p("refused.ico")
        if os.path.exists(dst):
            os.remove(dst)
        r = run([TOOL, "write", src, dst, "16x16:32", bad])
        check(r.returncode == 2 and not os.path.exists(dst), "write %s: exit %d" % (bad, r.returncode))


def suite(tmp):
    reading_suite(tmp)
    damaged_files_end_cleanly(tmp)
    bombs_end_cleanly(tmp)
    writing_suite(tmp)


if __name__ == "__main__":
    sys.exit(peer_suite.main("va_ico_peers_", suite))
