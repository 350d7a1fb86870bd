#!/usr/bin/env python3
"""PNM and WBMP, TGA or PCX reader and writer judged by independent peers, both ways.

Reading: files the peers write (netpbm's generators and converters, Pillow, ImageMagick) are
decoded by our reader and by every peer that reads the format; the pixels (and alpha) must agree
exactly. Writing: our writer saves images in every form it has, and every peer must decode them to
exactly the pixels expected. Where a peer cannot judge a file it is left out for that file only,
for a stated reason. Damaged files made from good ones must end in the abort flag or an image,
never a crash.

Usage: raster_peers.py <raster_peer_tool> <convert> <pxm|tga|pcx>
"""
import os
import random
import struct
import sys

from PIL import Image

from peer_suite import black_and_white, check, gradient, parse_netpbm, run, with_colours
import peer_suite

TOOL, CONVERT, FORMAT = sys.argv[1], sys.argv[2], sys.argv[3]


def netpbm(args, source=None, out=None):
    """Runs a netpbm tool with a file (or nothing) on its input; its output as bytes, or written to out."""
    if source is None:
        r = run(args)
    else:
        with open(source, "rb") as f:
            r = run(args, stdin=f)
    if r.returncode != 0:
        raise RuntimeError("%s: %s" % (" ".join(args), r.stderr.decode(errors="replace")))
    if out:
        with open(out, "wb") as f:
            f.write(r.stdout)
    return r.stdout


# ---- decoded images: (width, height, RGB bytes, alpha bytes or None) ----

def judge_pillow(path):
    im = Image.open(path)
    im.load()
    alpha = None
    if im.mode in ("RGBA", "LA", "PA"):
        alpha = im.getchannel("A").tobytes()
    rgb = im.convert("RGB")
    return rgb.width, rgb.height, rgb.tobytes(), alpha


def judge_magick(path):
    # ImageMagick keeps the rows of a bottom-up TGA as stored and notes the corner; -auto-orient
    # turns them the right way.
    return parse_netpbm(netpbm([CONVERT, path, "-auto-orient", "-depth", "8", "-alpha", "off", "ppm:-"]))


def judge_tgatoppm(path):
    """tgatoppm's pixels, and its alpha plane for the depths that carry one."""
    alpha_path = path + ".tgatoppm-alpha.pgm"
    w, h, rgb, _ = parse_netpbm(netpbm(["tgatoppm", "--alphaout=" + alpha_path, path]))
    with open(path, "rb") as f:
        depth = f.read(17)[16]
    with open(alpha_path, "rb") as f:
        alpha = parse_netpbm(f.read())[2][::3] if depth == 32 else None
    return w, h, rgb, alpha


def judge_netpbm(tool):
    def decode(path):
        return parse_netpbm(netpbm([tool, path]))
    return decode


def ours(path, tmp, fmt=None):
    """Our reader's exit code, image and parameters."""
    out = os.path.join(tmp, "ours")
    for leftover in (out + ".ppm", out + ".alpha.pgm"):
        if os.path.exists(leftover):
            os.remove(leftover)
    r = run([TOOL, "read", fmt or FORMAT, path, out])
    if r.returncode != 0:
        return r.returncode, None, {}
    params = {}
    for line in r.stdout.decode().splitlines():
        key, _, value = line.partition("=")
        params.setdefault(key, []).append(value)
    with open(out + ".ppm", "rb") as f:
        w, h, rgb, _ = parse_netpbm(f.read())
    alpha = None
    if os.path.exists(out + ".alpha.pgm"):
        with open(out + ".alpha.pgm", "rb") as f:
            alpha = parse_netpbm(f.read())[2][::3]
    return 0, (w, h, rgb, alpha), params


def write_ours(src, dst, fmt=None, **opts):
    args = [TOOL, "write", fmt or FORMAT, src, dst] + ["%s=%s" % kv for kv in opts.items()]
    return run(args).returncode


def differences(a, b):
    return sum(1 for x, y in zip(a, b) if x != y) + abs(len(a) - len(b))


def largest_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def compare(name, judge, mine, theirs, with_alpha=False, tolerance=0):
    same_size = mine[:2] == theirs[:2] and len(mine[2]) == len(theirs[2])
    ok = same_size and (mine[2] == theirs[2] if tolerance == 0 else largest_difference(mine[2], theirs[2]) <= tolerance)
    what = "%s: differs from %s (size %s vs %s, %d bytes differ)" % (
        name, judge, mine[:2], theirs[:2], differences(mine[2], theirs[2]) if same_size else -1)
    if ok and with_alpha and theirs[3] is not None:
        ok = mine[3] == theirs[3]
        what = "%s: alpha differs from %s" % (name, judge)
    check(ok, what)


def judged(name, judge, decode, path):
    """The judge's decoding, or None (a failure counted) when it cannot read the file."""
    try:
        return decode(path)
    except Exception as e:  # a judge that cannot read a valid file is a broken judge
        check(False, "%s: %s could not read it: %s" % (name, judge, e))
        return None


def read_and_judge(name, path, judges, tmp, fmt=None, with_alpha=False, tolerance=None):
    code, mine, params = ours(path, tmp, fmt)
    check(code == 0, "%s: our reader aborted (%d)" % (name, code))
    if code:
        return None
    for judge, decode in judges.items():
        theirs = judged(name, judge, decode, path)
        if theirs is None:
            continue
        compare(name, judge, mine, theirs, with_alpha, (tolerance or {}).get(judge, 0))
    check(not with_alpha or mine[3] is not None, "%s: our reader found no alpha" % name)
    return params


def damaged_files_end_cleanly(files, tmp, fmt=None):
    """Cuts and flipped bytes of good files: exit 0 or 2 (aborted), nothing else."""
    rnd = random.Random(11)
    for path in files:
        with open(path, "rb") as f:
            data = f.read()
        variants = [data[:n] for n in (1, 5, 17, 18, 40, len(data) // 2, len(data) - 1) if n < len(data)]
        for _ in range(12):
            b = bytearray(data)
            for _ in range(3):
                i = rnd.randrange(len(b))
                b[i] = rnd.randrange(256)
            variants.append(bytes(b))
        for i, v in enumerate(variants):
            bad = os.path.join(tmp, "damaged.bin")
            with open(bad, "wb") as f:
                f.write(v)
            code = run([TOOL, "read", fmt or FORMAT, bad, os.path.join(tmp, "dmg")]).returncode
            check(code in (0, 2), "%s variant %d: exit %d" % (os.path.basename(path), i, code))


def header_length(data):
    """Bytes of an anymap header: the magic, the sizes and maximum with any comments, and the one
    separator after the last of them."""
    need = 2 if data[:2] in (b"P1", b"P4") else 3
    pos = 2
    while need:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        while not data[pos:pos + 1].isspace():
            pos += 1
        need -= 1
    return pos + 1


def cut_files_are_refused(files, tmp, judge):
    """Every file cut at a sixth to five sixths of its image data: our reader refuses each (exit 2),
    as the strict peer does."""
    for name, path in files:
        with open(path, "rb") as f:
            data = f.read()
        start = header_length(data)
        for sixth in range(1, 6):
            cut = os.path.join(tmp, "cut.bin")
            with open(cut, "wb") as f:
                f.write(data[:start + (len(data) - start) * sixth // 6])
            what = "%s cut at %d/6 of its data" % (name, sixth)
            code = run([TOOL, "read", FORMAT, cut, os.path.join(tmp, "cut")]).returncode
            check(code == 2, "%s: our reader gave exit %d, not a refusal" % (what, code))
            check(run(judge + [cut]).returncode != 0, "%s: the judge read it" % what)


# ---- source images ----

def save_ppm(im, path):
    im.convert("RGB").save(path)
    return path


def grey_of(im):
    """Grey as the writers compute it, in RGB bytes."""
    out = bytearray()
    for r, g, b in im.getdata():
        v = (r * 21 + g * 71 + b * 8) // 100
        out += bytes((v, v, v))
    return bytes(out)


# ---- PNM and WBMP ----

def pxm_suite(tmp):
    judges = {"netpbm": lambda p: parse_netpbm(netpbm(["pamtopnm", p])), "pillow": judge_pillow,
              "imagemagick": judge_magick}
    files = []

    def make(name, args, source=None):
        path = os.path.join(tmp, name)
        netpbm(args, source, path)
        files.append((name, path))
        return path

    make("pbmmake.pbm", ["pbmmake", "-gray", "37", "11"])
    make("ramp-lr.pgm", ["pgmramp", "-lr", "40", "9"])
    make("ramp-diag.pgm", ["pgmramp", "-diagonal", "33", "21"])
    make("gingham.ppm", ["ppmpat", "-gingham2", "35", "13"])
    make("madras.ppm", ["ppmpat", "-madras", "29", "17"])
    pillow_rgb = save_ppm(gradient(31, 19), os.path.join(tmp, "pillow.ppm"))
    files.append(("pillow.ppm", pillow_rgb))
    grey = os.path.join(tmp, "pillow.pgm")
    gradient(27, 14).convert("L").save(grey)
    files.append(("pillow.pgm", grey))
    bw = os.path.join(tmp, "pillow.pbm")
    black_and_white(35, 9).convert("1").save(bw)
    files.append(("pillow.pbm", bw))
    # Other maximum values (two bytes a sample above 255), and the plain forms of all of them.
    for name, path in list(files):
        if name.endswith(".pbm"):
            continue
        for mx in (1, 15, 100, 1000, 65535):
            make("%s-max%d" % (name, mx), ["pamdepth", str(mx), path])
    for name, path in list(files):
        make(name + "-plain", ["pnmtopnm", "-plain", path])
    # A comment between the height and the maximum, and samples above the maximum (clamped by all).
    with open(os.path.join(tmp, "gingham.ppm"), "rb") as f:
        w, h, rgb, _ = parse_netpbm(f.read())
    commented = os.path.join(tmp, "commented.pgm")
    with open(commented, "wb") as f:
        f.write(b"P5\n# first\n%d %d\n# between\n200\n" % (w, h) + bytes(min(v, 255) for v in rgb[::3]))
    files.append(("commented.pgm", commented))

    for name, path in files:
        use, tolerance = dict(judges), {}
        mx = int(name.split("-max")[1].split("-")[0]) if "-max" in name else 255
        if mx not in (1, 255):
            # Scaling to 255 rounds down, as ImageMagick does; netpbm and Pillow round to nearest.
            tolerance = {"netpbm": 1, "pillow": 1}
        if mx > 255 and ".pgm" in name:
            use.pop("pillow")  # Pillow 9.4 keeps 16-bit grey as integers and clips them to 255
        if name == "commented.pgm":
            # netpbm refuses samples above the maximum, and ImageMagick 6 then scales none of them.
            use = {"pillow": judge_pillow}
            tolerance = {"pillow": 1}
        params = read_and_judge(name, path, use, tmp, tolerance=tolerance)
        if name == "commented.pgm" and params is not None:
            check(params.get("comment") == ["first", "between"], "commented.pgm: comments %s" % params.get("comment"))
    damaged_files_end_cleanly([p for n, p in files if n in ("gingham.ppm", "ramp-lr.pgm-max1000", "pbmmake.pbm-plain")], tmp)
    # Cut files of every form, binary and plain, one and two bytes a sample, are refused as netpbm
    # refuses them; so are sizes with a sign.
    to_cut = ("pbmmake.pbm", "pbmmake.pbm-plain", "ramp-lr.pgm", "ramp-lr.pgm-plain", "ramp-lr.pgm-max1000",
              "ramp-lr.pgm-max1000-plain", "gingham.ppm", "gingham.ppm-plain", "gingham.ppm-max65535")
    cut = [(n, p) for n, p in files if n in to_cut]
    check(len(cut) == len(to_cut), "the files to cut: found %s" % [n for n, _ in cut])
    cut_files_are_refused(cut, tmp, ["pamtopnm"])
    for header in (b"P5\n-5 5\n255\n", b"P5\n5 -5\n255\n", b"P5 +5 5 255\n", b"P6 5 5 -255\n"):
        signed = os.path.join(tmp, "signed.pgm")
        with open(signed, "wb") as f:
            f.write(header + bytes(75))
        code = run([TOOL, "read", FORMAT, signed, os.path.join(tmp, "signed")]).returncode
        check(code == 2, "header %r: our reader gave exit %d, not a refusal" % (header, code))
        check(run(["pamtopnm", signed]).returncode != 0, "header %r: netpbm read it" % header)

    # Writing: P4, P5 and P6 from sources of each kind.
    sources = {"rgb": gradient(37, 23), "bw": black_and_white(29, 11), "grey": gradient(21, 8).convert("L").convert("RGB")}
    cases = [("rgb", 24, {}), ("rgb", 8, {}), ("grey", 8, {}), ("bw", 1, {"mono": 1}), ("rgb", 1, {})]
    for src_name, bits, extra in cases:
        im = sources[src_name]
        src = save_ppm(im, os.path.join(tmp, "w-%s.ppm" % src_name))
        dst = os.path.join(tmp, "w-%s-%d.pnm" % (src_name, bits))
        name = "write %s at %d bits" % (src_name, bits)
        code = write_ours(src, dst, bits=bits, comment="made by the suite", **extra)
        check(code == 0, "%s: our writer failed (%d)" % (name, code))
        if code:
            continue
        if bits == 24:
            expect = im.tobytes()
        elif bits == 8:
            expect = grey_of(im)
        elif src_name == "bw":
            expect = im.tobytes()
        else:
            expect = None  # a colour image reduced to 1 bit: the peers only have to agree with our reading
        mine = ours(dst, tmp)[1]
        if expect is not None:
            check(mine is not None and mine[2] == expect, "%s: our reader reads other pixels back" % name)
        for judge, decode in judges.items():
            theirs = judged(name, judge, decode, dst)
            if theirs is None:
                continue
            check(theirs[:3] == (im.width, im.height, expect if expect is not None else mine[2]),
                  "%s: %s decodes other pixels" % (name, judge))
        comment = run([CONVERT, dst, "-format", "%c", "info:"]).stdout.decode().strip()
        check(comment == "made by the suite", "%s: ImageMagick reads the comment as %r" % (name, comment))

    # WBMP: sizes of 128 and more take several bytes, both ways.
    wbmp_judges = {"netpbm": lambda p: parse_netpbm(netpbm(["wbmptopbm", p])), "imagemagick": judge_magick}
    for w, h in ((300, 200), (128, 7), (5, 130), (1, 1)):
        pbm = os.path.join(tmp, "wb.pbm")
        netpbm(["pbmmake", "-gray", str(w), str(h)], out=pbm)
        wbmp = os.path.join(tmp, "wb-%dx%d.wbmp" % (w, h))
        netpbm(["pbmtowbmp", pbm], out=wbmp)
        read_and_judge("pbmtowbmp %dx%d" % (w, h), wbmp, wbmp_judges, tmp, "wbmp")
    for w, h in ((200, 150), (255, 128), (9, 3)):
        src = save_ppm(black_and_white(w, h), os.path.join(tmp, "wbw.ppm"))
        dst = os.path.join(tmp, "ours-%dx%d.wbmp" % (w, h))
        code = write_ours(src, dst, "wbmp", mono=1)
        check(code == 0, "write WBMP %dx%d: our writer failed (%d)" % (w, h, code))
        if code == 0:
            expect = (w, h, black_and_white(w, h).tobytes())
            for judge, decode in wbmp_judges.items():
                theirs = judged("write WBMP", judge, decode, dst)
                if theirs is not None:
                    check(theirs[:3] == expect, "write WBMP %dx%d: %s decodes other pixels" % (w, h, judge))
    # Larger images are scaled to fit 255 x 255, keeping their proportions.
    src = save_ppm(gradient(300, 150), os.path.join(tmp, "big.ppm"))
    dst = os.path.join(tmp, "big.wbmp")
    check(write_ours(src, dst, "wbmp") == 0, "write WBMP 300x150: our writer failed")
    check(judge_netpbm("wbmptopbm")(dst)[:2] == (255, 127), "write WBMP 300x150: not 255x127")
    damaged_files_end_cleanly([os.path.join(tmp, "wb-300x200.wbmp")], tmp, "wbmp")


# ---- TGA ----

def tga_raw_rows(data):
    """Header, ID and map, the rows (bottom first when the descriptor says so) and the rest."""
    id_len, map_type = data[0], data[1]
    map_len, entry_bits = struct.unpack_from("<H", data, 5)[0], data[7]
    w, h, depth = struct.unpack_from("<HH", data, 12) + (data[16],)
    start = 18 + id_len + (map_len * ((entry_bits + 7) // 8) if map_type else 0)
    stride = w * depth // 8
    rows = [data[start + y * stride: start + (y + 1) * stride] for y in range(h)]
    return data[:start], rows, data[start + h * stride:], depth // 8


def tga_origin(data, top_down, right_to_left):
    """The same raw image stored from another corner: rows and pixels reordered, descriptor set."""
    head, rows, rest, bpp = tga_raw_rows(data)
    bottom_up = not head[17] & 0x20
    if bottom_up:
        rows = rows[::-1]  # now top first
    if not top_down:
        rows = rows[::-1]
    if right_to_left:
        rows = [b"".join(r[i:i + bpp] for i in range(len(r) - bpp, -1, -bpp)) for r in rows]
    head = bytearray(head)
    head[17] = (head[17] & 0x0F) | (0x20 if top_down else 0) | (0x10 if right_to_left else 0)
    return bytes(head) + b"".join(rows) + rest


def tga_suite(tmp):
    judges = {"tgatoppm": judge_tgatoppm, "pillow": judge_pillow, "imagemagick": judge_magick}
    files = []
    rgb = gradient(41, 23)
    pal = with_colours(37, 19, 200, 1)
    few = with_colours(33, 17, 12, 2)
    grey_im = gradient(30, 12).convert("L")
    for key, im in (("rgb", rgb), ("pal", pal), ("few", few)):
        save_ppm(im, os.path.join(tmp, key + ".ppm"))
    grey_im.save(os.path.join(tmp, "grey.pgm"))

    def pamtotga(name, source, *args):
        path = os.path.join(tmp, name + ".tga")
        netpbm(["pamtotga"] + list(args), os.path.join(tmp, source), path)
        files.append((name, path, False))

    for rle in ((), ("-norle",)):
        tag = "-norle" if rle else "-rle"
        pamtotga("pamtotga-rgb" + tag, "rgb.ppm", "-rgb", *rle)
        pamtotga("pamtotga-cmap" + tag, "pal.ppm", "-cmap", *rle)
        pamtotga("pamtotga-cmap16" + tag, "few.ppm", "-cmap16", *rle)
        pamtotga("pamtotga-mono" + tag, "grey.pgm", "-mono", *rle)
        pamtotga("pamtotga-greymap" + tag, "grey.pgm", "-cmap", *rle)
    # RGB_ALPHA input gives 32 bits with the alpha byte.
    alpha_im = Image.new("L", rgb.size)
    alpha_im.putdata([(x * 7 + y * 13) % 256 for y in range(rgb.height) for x in range(rgb.width)])
    alpha_im.save(os.path.join(tmp, "alpha.pgm"))
    pam = os.path.join(tmp, "rgba.pam")
    with open(pam, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % rgb.size)
        f.write(bytes(b for px, a in zip(rgb.getdata(), alpha_im.getdata()) for b in px + (a,)))
    path = os.path.join(tmp, "pamtotga-rgba.tga")
    netpbm(["pamtotga", "-rgb", "-norle", pam], out=path)
    files.append(("pamtotga-rgba", path, True))

    rgba_im = rgb.copy()
    rgba_im.putalpha(alpha_im)
    la_im = grey_im.copy()
    la_im.putalpha(alpha_im.resize(grey_im.size))
    for mode, im in (("RGB", rgb), ("RGBA", rgba_im), ("L", grey_im), ("LA", la_im),
                     ("P", pal.quantize(256)), ("1", few.convert("1"))):
        for compression in (None, "tga_rle"):
            for orientation in (1, -1):
                if mode == "1" and compression:
                    continue  # run-length coding of 1-bit pixels is not defined
                name = "pillow-%s-%s-%s" % (mode, compression or "raw", "top" if orientation > 0 else "bottom")
                path = os.path.join(tmp, name + ".tga")
                im.save(path, compression=compression, orientation=orientation)
                files.append((name, path, mode in ("RGBA", "LA")))

    # Every origin, right-to-left included, from raw files.
    for name, path, alpha in list(files):
        if name in ("pamtotga-rgb-norle", "pamtotga-cmap-norle", "pamtotga-rgba", "pillow-L-raw-top"):
            with open(path, "rb") as f:
                data = f.read()
            for top in (False, True):
                for rtl in (False, True):
                    variant = os.path.join(tmp, "%s-%s-%s.tga" % (name, "top" if top else "bottom",
                                                                  "rtl" if rtl else "ltr"))
                    with open(variant, "wb") as f:
                        f.write(tga_origin(data, top, rtl))
                    files.append((os.path.basename(variant), variant, alpha))

    for name, path, alpha in files:
        use, tolerance = dict(judges), {}
        if name.startswith("pamtotga-cmap16"):
            # 5-bit channels: ours scales v * 255 / 31 rounding down; tgatoppm gives maxval 31, which
            # the suite rounds, and ImageMagick repeats the top bits. Pillow 9.4 reads 15-bit map
            # entries as grey.
            use.pop("pillow")
            tolerance = {"tgatoppm": 1, "imagemagick": 1}
        if name.startswith("pillow-LA") or name.startswith("pillow-1") or "pillow-L-raw-top-" in name:
            # Grey with alpha and 1-bit grey: tgatoppm and ImageMagick read only 8-bit grey.
            use = {"pillow": judge_pillow}
        if "greymap" in name:
            use.pop("pillow")  # Pillow 9.4 reads no 8-bit (grey) map entries
        if "-rtl" in name:
            use.pop("tgatoppm", None)  # tgatoppm ignores the right-to-left bit
        read_and_judge(name, path, use, tmp, with_alpha=alpha, tolerance=tolerance)
    damaged_files_end_cleanly([p for n, p, a in files if n in ("pamtotga-rgb-rle", "pamtotga-cmap-rle",
                                                               "pillow-LA-tga_rle-top")], tmp)

    # Writing: every depth, raw and run-length, with a description; alpha for 32 bits and grey.
    sources = {"rgb": rgb, "pal": pal, "few": few, "bw": black_and_white(29, 11), "grey": grey_im.convert("RGB")}
    cases = [("rgb", dict(bits=24)), ("pal", dict(bits=8)), ("few", dict(bits=4)), ("bw", dict(bits=1)),
             ("grey", dict(bits=8, grey=1)), ("rgb", dict(bits=24, alpha="alpha.pgm"))]
    for src_name, opts in cases:
        for rle in (0, 1):
            im = sources[src_name]
            src = save_ppm(im, os.path.join(tmp, "w-%s.ppm" % src_name))
            dst = os.path.join(tmp, "ours.tga")
            o = dict(opts, rle=rle, desc="suite")
            if "alpha" in o:
                o["alpha"] = os.path.join(tmp, o["alpha"])
            name = "write %s %s" % (src_name, " ".join("%s=%s" % kv for kv in sorted(opts.items())))
            code = write_ours(src, dst, **o)
            check(code == 0, "%s rle=%d: our writer failed (%d)" % (name, rle, code))
            if code:
                continue
            expect = grey_of(im) if o.get("grey") else im.tobytes()
            expect_alpha = Image.open(o["alpha"]).tobytes() if "alpha" in o else None
            for judge, decode in judges.items():
                if src_name == "bw" and judge != "pillow":
                    continue  # tgatoppm and ImageMagick read no 1-bit TGA
                theirs = judged(name, judge, decode, dst)
                if theirs is None:
                    continue
                ok = theirs[:3] == (im.width, im.height, expect)
                if ok and judge == "pillow":
                    ok = theirs[3] == expect_alpha
                check(ok, "%s rle=%d: %s decodes other pixels" % (name, rle, judge))
            with open(dst, "rb") as f:
                data = f.read()
            check(data[2] & 8 == (8 if rle and src_name != "bw" and "alpha" not in o else 0),
                  "%s rle=%d: image type %d" % (name, rle, data[2]))
            check(data[18:24] == b"suite\0", "%s: ID field %r" % (name, data[18:24]))


# ---- PCX ----

def pcx_suite(tmp):
    judges = {"pcxtoppm": judge_netpbm("pcxtoppm"), "pillow": judge_pillow, "imagemagick": judge_magick}
    files = []
    sources = {"rgb": gradient(41, 23), "c256": with_colours(37, 19, 200, 1), "c16": with_colours(33, 17, 14, 2),
               "c8": with_colours(31, 9, 7, 3), "c4": with_colours(30, 11, 4, 4), "c2": with_colours(29, 13, 2, 5)}
    for key, im in sources.items():
        save_ppm(im, os.path.join(tmp, key + ".ppm"))

    def ppmtopcx(name, source, *args):
        path = os.path.join(tmp, name + ".pcx")
        netpbm(["ppmtopcx"] + list(args), os.path.join(tmp, source + ".ppm"), path)
        files.append((name, path))

    ppmtopcx("ppmtopcx-24bit", "rgb", "-24bit")
    ppmtopcx("ppmtopcx-auto-256", "c256")
    ppmtopcx("ppmtopcx-8bit", "c16", "-8bit")
    for key in ("c16", "c8", "c4", "c2"):
        ppmtopcx("ppmtopcx-planes-" + key, key)  # one bit in as many planes as the colours need
        ppmtopcx("ppmtopcx-packed-" + key, key, "-packed")
    for planes in (1, 2, 3, 4):
        ppmtopcx("ppmtopcx-%dplanes" % planes, "c2", "-planes=%d" % planes)
    for mode, key in (("RGB", "rgb"), ("P", "c256"), ("L", "rgb"), ("1", "c2")):
        path = os.path.join(tmp, "pillow-%s.pcx" % mode)
        im = sources[key]
        (im.quantize(256) if mode == "P" else im.convert(mode)).save(path)
        files.append(("pillow-" + mode, path))
    path = os.path.join(tmp, "magick-8.pcx")
    assert run([CONVERT, os.path.join(tmp, "c256.ppm"), "-type", "Palette", path]).returncode == 0
    files.append(("magick-8", path))

    for name, path in files:
        use = dict(judges)
        if name.endswith("-c2") or name.endswith("planes"):
            # One bit in two colours: Pillow and ImageMagick read black and white whatever the
            # header's palette says; pcxtoppm and ours take its colours.
            use = {"pcxtoppm": judges["pcxtoppm"]}
        if name == "pillow-1":
            use.pop("imagemagick")  # ImageMagick reads a 1-bit file with a palette of zeros as black
        with open(path, "rb") as f:
            head = f.read(66)
        if head[3] in (2, 4) or (head[3] == 1 and head[65] == 3):
            use.pop("pillow", None)  # Pillow 9.4 reads neither 2 and 4-bit packed pixels nor 3 planes
        read_and_judge(name, path, use, tmp)
    damaged_files_end_cleanly([p for n, p in files if n in ("ppmtopcx-24bit", "ppmtopcx-auto-256",
                                                          "ppmtopcx-planes-c16")], tmp)

    # Writing: 1, 4, 8 and 24 bits, raw and run-length, odd widths included.
    sources["bw"] = black_and_white(29, 13)
    save_ppm(sources["bw"], os.path.join(tmp, "bw.ppm"))
    for key, bits in (("rgb", 24), ("c256", 8), ("c16", 4), ("bw", 1), ("c2", 1)):
        for rle in (0, 1):
            im = sources[key]
            dst = os.path.join(tmp, "ours.pcx")
            name = "write %s at %d bits rle=%d" % (key, bits, rle)
            code = write_ours(os.path.join(tmp, key + ".ppm"), dst, bits=bits, rle=rle)
            check(code == 0, "%s: our writer failed (%d)" % (name, code))
            if code:
                continue
            expect = (im.width, im.height, im.tobytes())
            for judge, decode in judges.items():
                if judge == "pcxtoppm" and not rle:
                    continue  # pcxtoppm reads only run-length coded files
                if judge != "pcxtoppm" and key == "c2":
                    continue  # the two colours of a 1-bit file: see the reading cases
                if judge == "pillow" and (bits == 4 or not rle):
                    continue  # Pillow 9.4 reads no 4-bit packed pixels, and takes every file as run-length
                if judge == "imagemagick" and bits == 1:
                    continue  # ImageMagick 6 misreads 1-bit files, ppmtopcx's as well
                theirs = judged(name, judge, decode, dst)
                if theirs is not None:
                    check(theirs[:3] == expect, "%s: %s decodes other pixels" % (name, judge))
            code, mine, _ = ours(dst, tmp)
            check(code == 0 and mine[:3] == expect, "%s: our reader reads other pixels back" % name)

    # Bytes per line is a 16-bit field: at 8 and 24 bits a width of 65534 is written and read back by
    # Pillow; wider rows are refused (exit 2), never written with a field of 0. (pcxtoppm takes
    # Xmax as signed, and ImageMagick's policy stops at a smaller width.)
    for width in (65534, 65535, 65536):
        im = Image.new("RGB", (width, 2))
        im.putdata([(40, 80, 160) if (x + y) % 3 else (200, 100, 30) for y in range(2) for x in range(width)])
        src = save_ppm(im, os.path.join(tmp, "wide.ppm"))
        for bits in (8, 24):
            dst = os.path.join(tmp, "wide-%d-%d.pcx" % (width, bits))
            name = "write %d wide at %d bits" % (width, bits)
            code = write_ours(src, dst, bits=bits, rle=1)
            if width > 65534:
                check(code == 2 and not os.path.exists(dst), "%s: not refused (exit %d)" % (name, code))
                continue
            check(code == 0, "%s: our writer failed (%d)" % (name, code))
            if code == 0:
                theirs = judged(name, "pillow", judge_pillow, dst)
                check(theirs is not None and theirs[:3] == (width, 2, im.tobytes()),
                      "%s: Pillow decodes other pixels" % name)


if __name__ == "__main__":
    sys.exit(peer_suite.main("va_%s_peers_" % FORMAT, {"pxm": pxm_suite, "tga": tga_suite, "pcx": pcx_suite}[FORMAT]))
