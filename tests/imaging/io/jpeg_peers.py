#!/usr/bin/env python3
"""JPEG decoder and encoder judged by independent peers, both ways.

Reading: files that cjpeg writes (baseline, progressive, optimised, arithmetic, restart markers,
grey, RGB, every sampling, each DCT method), Pillow and ImageMagick write (CMYK among them), Go's
JPEG test images and gdk-pixbuf's JPEG files are decoded by our reader and by djpeg -dct int, at
full size and at 1/2, 1/4 and 1/8; the pixels must be equal, and CMYK within 1 (djpeg rounds the
ink product, the library's converter truncates). exiftool names the size, the components, the
encoding and the density our parameters must report. Files gdk-pixbuf keeps because decoders
failed on them must be refused, or read without fault when only modified at random; a 64250 x 64250
picture of 1407 bytes and a 22500 x 33300 one must be refused within bounded memory.

Writing: our encoder saves at several qualities, in every colour space, progressive or not, with
optimal Huffman tables, each DCT method and smoothing; djpeg must decode each file to exactly what
our reader decodes, the picture must stay near the source (a PSNR floor per quality), and exiftool
must find the colour space, the encoding and the density in dots per inch. Comments, XMP and IPTC
that exiftool wrote survive our read and write unchanged.

EXIF, through the I/O component's load and save: exiftool (-a -G1 -s -n) and exiv2 (-pa, and -PEkv for
plain numbers) must find the fields we save; the fields exiftool writes, in either byte order and
with a thumbnail, must load as it reports them, with the resolution from EXIF when the JFIF header
has none; a file loaded and saved unchanged keeps its EXIF whole (GPS and artist included), and
one saved with a changed field has that field changed, the others kept, and its XMP still there.

Usage: jpeg_peers.py <jpeg_peer_tool> <convert> <folder of Go's image test data> <gdk-pixbuf test folder>
                     <exiv2>
"""
import json
import math
import os
import random
import sys

from PIL import Image

from peer_suite import check, max_difference, parse_pnm, run
import peer_suite

TOOL, CONVERT, GO_IMAGE, PIXBUF, EXIV2 = sys.argv[1:6]


def djpeg(path, scale=1):
    r = run(["djpeg", "-dct", "int", "-scale", "1/%d" % scale, "-pnm", path])
    if r.returncode not in (0, 2):  # 2: decoded with warnings
        raise RuntimeError(r.stderr.decode(errors="replace"))
    return parse_pnm(r.stdout)


def ours(path, tmp, *options):
    out = os.path.join(tmp, "ours.pam")
    r = run([TOOL, "read", path, out] + list(options))
    if r.returncode != 0:
        return r.returncode, None, {}
    info = dict(line.split("=", 1) for line in r.stdout.decode().splitlines() if "=" in line)
    with open(out, "rb") as f:
        return 0, parse_pnm(f.read()), info


def exif(path, *tags):
    r = run(["exiftool", "-j", "-n"] + ["-" + t for t in tags] + [path])
    return json.loads(r.stdout)[0] if r.returncode == 0 else {}


def psnr(a, b):
    mse = sum((x - y) ** 2 for x, y in zip(a, b)) / max(1, len(a))
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


# ---- source images ----

def photo(w, h, seed=5):
    rnd = random.Random(seed)
    px = []
    for y in range(h):
        for x in range(w):
            v = 128 + 60 * math.sin(x * 0.09) * math.cos(y * 0.07)
            px.append((int(v) + rnd.randrange(12), int(255 - v) + rnd.randrange(12), (x + y) * 2 % 256))
    return px


def write_ppm(path, w, h, pixels):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(v for p in pixels for v in p))


def make_read_corpus(tmp):
    w, h = 61, 45
    src = os.path.join(tmp, "photo.ppm")
    write_ppm(src, w, h, photo(w, h))
    files = []

    def cjpeg(name, *options):
        path = os.path.join(tmp, name + ".jpg")
        r = run(["cjpeg"] + list(options) + ["-outfile", path, src])
        assert r.returncode == 0, r.stderr
        files.append((name, path))

    cjpeg("cjpeg-q75")
    cjpeg("cjpeg-q95-optimize", "-quality", "95", "-optimize")
    cjpeg("cjpeg-progressive", "-progressive")
    cjpeg("cjpeg-arithmetic", "-arithmetic")
    cjpeg("cjpeg-restart", "-restart", "1")
    cjpeg("cjpeg-grey", "-grayscale")
    cjpeg("cjpeg-grey-progressive", "-grayscale", "-progressive")
    cjpeg("cjpeg-rgb", "-rgb")
    cjpeg("cjpeg-float", "-dct", "float")
    for sampling in ("1x1", "2x1", "1x2", "2x2", "4x1", "4x2"):
        cjpeg("cjpeg-sample-" + sampling, "-sample", sampling)
        cjpeg("cjpeg-sample-%s-progressive" % sampling, "-sample", sampling, "-progressive")

    im = Image.open(src)
    for sub in (0, 1, 2):
        path = os.path.join(tmp, "pillow-sub%d.jpg" % sub)
        im.save(path, quality=85, subsampling=sub)
        files.append(("pillow-sub%d" % sub, path))
    path = os.path.join(tmp, "pillow-cmyk.jpg")
    im.convert("CMYK").save(path, quality=95)
    files.append(("pillow-cmyk", path))
    path = os.path.join(tmp, "pillow-dpi.jpg")
    im.save(path, dpi=(150, 200))
    files.append(("pillow-dpi", path))
    path = os.path.join(tmp, "magick-cmyk.jpg")
    r = run([CONVERT, src, "-colorspace", "CMYK", "-quality", "92", path])
    assert r.returncode == 0, r.stderr
    files.append(("magick-cmyk", path))
    path = os.path.join(tmp, "magick-dpcm.jpg")
    r = run([CONVERT, src, "-units", "PixelsPerCentimeter", "-density", "118", path])
    assert r.returncode == 0, r.stderr
    files.append(("magick-dpcm", path))

    files += [("go " + f, os.path.join(GO_IMAGE, f)) for f in sorted(os.listdir(GO_IMAGE)) if f.endswith(".jpeg")]
    for f in ("bug143608-comment.jpg", "bug725582-testrotate.jpg", "dpi.jpeg", "icc-profile.jpeg", "issue70.jpg",
              "premature-end.jpg", "test-images/reftests/cat.jpg", "test-images/randomly-modified/valid.1.jpeg",
              "test-images/randomly-modified/valid.2.jpeg"):
        files.append(("gdk-pixbuf " + f, os.path.join(PIXBUF, f)))
    return files


def expected_dpi(meta):
    """The resolution our parameters must report, from exiftool's JFIF fields."""
    unit = meta.get("ResolutionUnit")
    x, y = meta.get("XResolution"), meta.get("YResolution")
    if "JFIFVersion" not in meta or unit is None:
        return None
    if unit in (0, 1):
        return int(x), int(y)
    if unit == 2:
        return int(x * 2.54), int(y * 2.54)
    return None


def read_suite(tmp):
    for name, path in make_read_corpus(tmp):
        code, mine, info = ours(path, tmp)
        check(code == 0, "%s: our reader aborted" % name)
        if code:
            continue
        meta = exif(path, "File:all", "JFIF:all", "EncodingProcess", "ColorComponents", "ImageWidth",
                    "ImageHeight")
        cmyk = meta.get("ColorComponents") == 4
        for scale in (1, 2, 4, 8):
            if scale == 1:
                got = mine
            else:
                code, got, _ = ours(path, tmp, "scale=%d" % {2: 2, 4: 3, 8: 4}[scale])
                if code:
                    check(False, "%s: our reader aborted at 1/%d" % (name, scale))
                    continue
            theirs = djpeg(path, scale)
            same = got[:2] == theirs[:2]
            diff = max_difference(got[2], theirs[2]) if same else -1
            check(same and diff <= (1 if cmyk else 0), "%s at 1/%d: differs from djpeg (size %s vs %s, largest "
                  "difference %d)" % (name, scale, got[:2], theirs[:2], diff))
        check((int(info["width"]), int(info["height"])) == (meta.get("ImageWidth"), meta.get("ImageHeight")),
              "%s: size %sx%s, exiftool %s" % (name, info["width"], info["height"], meta.get("ImageWidth")))
        check(int(info["samples"]) == meta.get("ColorComponents"), "%s: %s samples, exiftool %s components" %
              (name, info["samples"], meta.get("ColorComponents")))
        check((info["progressive"] == "1") == (meta.get("EncodingProcess") in (2, 6, 10)),
              "%s: progressive %s, exiftool's encoding process %s" % (name, info["progressive"],
                                                                      meta.get("EncodingProcess")))
        dpi = expected_dpi(meta)
        if dpi:
            check((int(info["dpix"]), int(info["dpiy"])) == dpi, "%s: %sx%s dpi, exiftool says %s" %
                  (name, info["dpix"], info["dpiy"], dpi))

    # Files decoders failed on must be refused; randomly modified ones must end cleanly. The large
    # pictures are refused before anything of their size is allocated.
    refuse = [os.path.join(PIXBUF, f) for f in ("bug775218.jpg", "test-images/fail/CVE-2017-2862.jpg")]
    for path in refuse:
        code, _, _ = ours(path, tmp)
        check(code == 2, "%s: exit %d, must abort" % (os.path.basename(path), code))
    path = os.path.join(PIXBUF, "test-images", "randomly-modified", "bug775697.jpg")
    code, _, _ = ours(path, tmp)
    check(code in (0, 2), "bug775697.jpg: exit %d, must end cleanly" % code)
    for f in ("issue205.jpg", "large.jpg"):
        r = run([TOOL, "read", os.path.join(PIXBUF, f), os.path.join(tmp, "bomb.pam")], timeout=60)
        peak = int(r.stderr.decode().split("peak_kb=")[1].split()[0]) if b"peak_kb=" in r.stderr else -1
        check(r.returncode == 2 and 0 < peak < 100 * 1024, "%s: exit %d, peak %d kB (must be refused within "
              "100 MB)" % (f, r.returncode, peak))


def write_suite(tmp):
    w, h = 67, 43
    pixels = photo(w, h, 8)
    src = os.path.join(tmp, "source.ppm")
    write_ppm(src, w, h, pixels)
    flat = bytes(v for p in pixels for v in p)
    # The library's own luma.
    grey = bytes(v for p in pixels for v in (round(p[0] * 0.299 + p[1] * 0.587 + p[2] * 0.114),) * 3)
    cases = [  # name, options, PSNR floor, components, exiftool colour transform (Adobe) or None
        ("q50", ["quality=50"], 28, 3, None),
        ("q90", ["quality=90"], 35, 3, None),
        ("q100", ["quality=100"], 40, 3, None),
        ("rgb", ["space=0", "quality=95"], 36, 3, 0),
        ("grey", ["space=1", "quality=95"], 36, 1, None),
        ("cmyk", ["space=3", "quality=95"], 34, 4, 0),
        ("ycck", ["space=4", "quality=95"], 34, 4, 2),
        ("progressive", ["progressive=1"], 30, 3, None),
        ("optimal", ["optimal=1", "quality=90"], 35, 3, None),
        ("fast-dct", ["dct=1", "quality=90"], 34, 3, None),
        ("float-dct", ["dct=2", "quality=90"], 35, 3, None),
        ("smooth", ["smooth=30", "quality=90"], 30, 3, None),
        ("dpi", ["dpi=150", "dpiy=75"], 30, 3, None),
    ]
    for name, options, floor, components, transform in cases:
        dst = os.path.join(tmp, name + ".jpg")
        r = run([TOOL, "write", src, dst] + options)
        check(r.returncode == 0, "%s: our encoder failed (%d) %s" % (name, r.returncode, r.stderr.decode()))
        if r.returncode:
            continue
        code, mine, _ = ours(dst, tmp)
        theirs = djpeg(dst)
        check(code == 0 and mine[:2] == theirs[:2] and max_difference(mine[2], theirs[2]) <= (components == 4),
              "%s: djpeg decodes our file otherwise than we do" % name)
        want = grey if components == 1 else flat
        check(theirs[:2] == (w, h) and psnr(theirs[2], want) >= floor, "%s: PSNR %.1f below %d" %
              (name, psnr(theirs[2], want), floor))
        meta = exif(dst, "JFIF:all", "EncodingProcess", "ColorComponents", "ColorTransform")
        check(meta.get("ColorComponents") == components, "%s: exiftool finds %s components" %
              (name, meta.get("ColorComponents")))
        check(meta.get("ColorTransform") == transform, "%s: Adobe colour transform %s" %
              (name, meta.get("ColorTransform")))
        check((meta.get("EncodingProcess") == 2) == ("progressive=1" in options), "%s: encoding process %s" %
              (name, meta.get("EncodingProcess")))
        if components in (1, 3) and transform is None:
            want_dpi = (150, 75) if name == "dpi" else (300, 300)  # the default for none
            check(meta.get("ResolutionUnit") == 1 and (meta.get("XResolution"), meta.get("YResolution")) == want_dpi,
                  "%s: JFIF density %s %s x %s" % (name, meta.get("ResolutionUnit"), meta.get("XResolution"),
                                                   meta.get("YResolution")))

    # Markers made by exiftool survive a read and a write.
    base = os.path.join(tmp, "marked.jpg")
    run(["cjpeg", "-outfile", base, src])
    r = run(["exiftool", "-overwrite_original", "-Comment=made by the peer", "-XMP-dc:Title=a title",
             "-IPTC:Caption-Abstract=a caption", "-EXIF:Artist=someone", base])
    assert r.returncode == 0, r.stderr
    copy = os.path.join(tmp, "copy.jpg")
    check(run([TOOL, "copy", base, copy]).returncode == 0, "copy of the marked file failed")
    tags = ("Comment", "XMP-dc:Title", "IPTC:Caption-Abstract", "EXIF:Artist")
    before, after = exif(base, *tags), exif(copy, *tags)
    for tag in ("Comment", "Title", "Caption-Abstract", "Artist"):
        check(before.get(tag) is not None and before.get(tag) == after.get(tag), "marker %s: %r became %r" %
              (tag, before.get(tag), after.get(tag)))


# ---- EXIF ----

# Our field, exiftool's tag (-G1), exiv2's key, a value to save.
EXIF_FIELDS = [
    ("Make", "IFD0:Make", "Exif.Image.Make", "Maker"),
    ("Model", "IFD0:Model", "Exif.Image.Model", "Model 7"),
    ("Software", "IFD0:Software", "Exif.Image.Software", "writer 1.0"),
    ("DateTime", "IFD0:ModifyDate", "Exif.Image.DateTime", "2024:01:02 03:04:05"),
    ("Copyright", "IFD0:Copyright", "Exif.Image.Copyright", "a holder"),
    ("Orientation", "IFD0:Orientation", "Exif.Image.Orientation", 6),
    ("DateTimeOriginal", "ExifIFD:DateTimeOriginal", "Exif.Photo.DateTimeOriginal", "2023:12:31 23:59:58"),
    ("ExposureTime", "ExifIFD:ExposureTime", "Exif.Photo.ExposureTime", 0.004),
    ("FNumber", "ExifIFD:FNumber", "Exif.Photo.FNumber", 5.6),
    ("ISO", "ExifIFD:ISO", "Exif.Photo.ISOSpeedRatings", 400),
    ("FocalLength", "ExifIFD:FocalLength", "Exif.Photo.FocalLength", 35),
    ("ExposureBiasValue", "ExifIFD:ExposureCompensation", "Exif.Photo.ExposureBiasValue", -0.5),
    ("Flash", "ExifIFD:Flash", "Exif.Photo.Flash", 16),
    ("MeteringMode", "ExifIFD:MeteringMode", "Exif.Photo.MeteringMode", 5),
    ("ExifImageWidth", "ExifIFD:ExifImageWidth", "Exif.Photo.PixelXDimension", 67),
]


def same_value(got, want):
    """A value as a tool printed it against the one expected: numbers within rounding, the first
    of several (ISO is written as two)."""
    if isinstance(want, str):
        return str(got) == want
    try:
        text = str(got).split()[0]
        num = float(text.split("/")[0]) / float(text.split("/")[1]) if "/" in text else float(text)
    except (ValueError, IndexError, ZeroDivisionError):
        return False
    return abs(num - want) <= 1e-6 * max(1.0, abs(want))


def exiftool_tags(path):
    """exiftool -a -G1 -s -n as {"Group:Tag": value}; repeated tags keep the first."""
    r = run(["exiftool", "-a", "-G1", "-s", "-n", path])
    tags = {}
    for line in r.stdout.decode(errors="replace").splitlines():
        if line.startswith("[") and " : " in line:
            head, value = line.split(" : ", 1)
            group, tag = head[1:].split("]", 1)
            tags.setdefault(group.strip() + ":" + tag.strip(), value.strip())
    return tags


def exiv2_tags(path, *options):
    """exiv2's lines (-pa by default) as {key: the rest}; -PEkv gives plain values."""
    r = run([EXIV2] + list(options or ["-pa"]) + [path])
    out = {}
    for line in r.stdout.decode(errors="replace").splitlines():
        parts = line.split(None, 1)
        if len(parts) == 2:
            out.setdefault(parts[0], parts[1].strip())
    return out


def our_exif(path):
    r = run([TOOL, "exif", path])
    return dict(line.split("=", 1) for line in r.stdout.decode().splitlines() if "=" in line) if not r.returncode else {}


def exif_segments(path):
    """The APP1 segments of a JPEG: (is EXIF, is XMP) for each, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    found, pos = [], 2
    while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] not in (0xDA, 0xD9):
        length = data[pos + 2] << 8 | data[pos + 3]
        body = data[pos + 4:pos + 2 + length]
        if data[pos + 1] == 0xE1:
            found.append((body.startswith(b"Exif\0\0"), body.startswith(b"http://ns.adobe.com/xap/1.0/\0")))
        pos += 2 + length
    return found


def exif_suite(tmp):
    w, h = 67, 43
    src = os.path.join(tmp, "exif-source.ppm")
    write_ppm(src, w, h, photo(w, h, 11))

    # Our save: the peers find every field as we set it.
    ours_file = os.path.join(tmp, "exif-ours.jpg")
    required = ["ExifVersion=0230", "FlashPixVersion=0100", "ColorSpace=1", "YCbCrPositioning=1"]
    r = run([TOOL, "relay", src, ours_file] + ["%s=%s" % (f[0], f[3]) for f in EXIF_FIELDS] + required)
    check(r.returncode == 0, "EXIF save failed: %s" % r.stderr.decode())
    tags, pa, plain = exiftool_tags(ours_file), exiv2_tags(ours_file), exiv2_tags(ours_file, "-PEkv")
    for ours_name, tool_tag, exiv2_key, value in EXIF_FIELDS:
        check(same_value(tags.get(tool_tag), value), "our %s: exiftool reads %r" % (ours_name, tags.get(tool_tag)))
        check(exiv2_key in pa and same_value(plain.get(exiv2_key), value), "our %s: exiv2 reads %r / %r" %
              (ours_name, pa.get(exiv2_key), plain.get(exiv2_key)))
    check(tags.get("IFD0:XResolution") == tags.get("JFIF:XResolution") == "300", "our EXIF resolution %s, JFIF %s" %
          (tags.get("IFD0:XResolution"), tags.get("JFIF:XResolution")))
    check(exif_segments(ours_file) == [(True, False)], "our file's APP1 segments: %s" % exif_segments(ours_file))
    valid = run(["exiftool", "-validate", "-warning", "-a", ours_file]).stdout.decode()
    check("Validate                        : OK" in valid and "Warning" not in valid, "exiftool -validate: " + valid)

    # Files exiftool writes: their fields load as it reads them. cjpeg's JFIF header has no density
    # (1 x 1), so the resolution comes from EXIF, in dots per inch whatever the unit.
    base = os.path.join(tmp, "exif-base.jpg")
    run(["cjpeg", "-outfile", base, src])
    thumb = os.path.join(tmp, "exif-thumb.jpg")
    run([CONVERT, src, "-resize", "24x16!", thumb])
    setters = ["-IFD0:%s=%s" % (t.split(":")[1], v) if t.startswith("IFD0") else
               "-ExifIFD:%s=%s" % (t.split(":")[1], v) for _, t, _, v in EXIF_FIELDS]
    setters = [s.replace("-IFD0:Orientation=", "-IFD0:Orientation#=").replace("-ExifIFD:Flash=", "-ExifIFD:Flash#=")
               .replace("-ExifIFD:MeteringMode=", "-ExifIFD:MeteringMode#=") for s in setters]
    extra = ["-IFD0:Artist=someone", "-GPSLatitude=51.5", "-GPSLatitudeRef=N", "-XMP-dc:Title=a title",
             "-IPTC:Caption-Abstract=a caption", "-Comment=a comment"]
    variants = [  # name, exiftool options, the resolution we must report
        ("inch-big-endian", ["-IFD0:XResolution=72", "-IFD0:YResolution=96", "-IFD0:ResolutionUnit=inches"],
         (72, 96)),
        ("cm-little-endian", ["-ExifByteOrder=Little-endian", "-IFD0:XResolution=28", "-IFD0:YResolution=28",
                              "-IFD0:ResolutionUnit=cm"], (71, 71)),
        ("jfif-density", ["-JFIF:XResolution=150", "-JFIF:YResolution=150", "-JFIF:ResolutionUnit=inches",
                          "-IFD0:XResolution=72", "-IFD0:YResolution=72", "-IFD0:ResolutionUnit=inches"], (150, 150)),
        ("thumbnail", ["-IFD0:XResolution=300", "-IFD0:YResolution=300", "-ThumbnailImage<=" + thumb], (300, 300)),
    ]
    for name, options, dpi in variants:
        theirs = os.path.join(tmp, "exif-%s.jpg" % name)
        with open(base, "rb") as f, open(theirs, "wb") as g:
            g.write(f.read())
        r = run(["exiftool", "-q", "-overwrite_original"] + setters + extra + options + [theirs])
        check(r.returncode == 0, "%s: exiftool failed: %s" % (name, r.stderr.decode()))
        mine, tags = our_exif(theirs), exiftool_tags(theirs)
        check(mine.get("hasexif") == "1", "%s: no EXIF loaded" % name)
        for ours_name, tool_tag, _, _ in EXIF_FIELDS:
            check(same_value(mine.get(ours_name), float(tags[tool_tag].split()[0])
                             if ours_name not in ("Make", "Model", "Software", "DateTime", "Copyright",
                                                  "DateTimeOriginal") else tags.get(tool_tag)),
                  "%s: our %s %r, exiftool %r" % (name, ours_name, mine.get(ours_name), tags.get(tool_tag)))
        check((int(mine.get("dpix", -1)), int(mine.get("dpiy", -1))) == dpi, "%s: %sx%s dpi, must be %s" %
              (name, mine.get("dpix"), mine.get("dpiy"), dpi))
        if name == "thumbnail":
            check(mine.get("thumbnail") == "24x16", "thumbnail: we read %s, exiftool wrote 24x16" %
                  mine.get("thumbnail"))

        # Loaded and saved unchanged: every EXIF, GPS, thumbnail and XMP tag as it was.
        copy = os.path.join(tmp, "exif-%s-copy.jpg" % name)
        check(run([TOOL, "relay", theirs, copy]).returncode == 0, "%s: relay failed" % name)
        kept = ("IFD0", "ExifIFD", "GPS", "IFD1", "XMP-x", "XMP-dc")
        before = {k: v for k, v in tags.items() if k.split(":")[0] in kept}
        after = {k: v for k, v in exiftool_tags(copy).items() if k.split(":")[0] in kept}
        check(before == after, "%s: saved unchanged, EXIF differs: %s" %
              (name, sorted(set(before.items()) ^ set(after.items()))))
        check({k: v for k, v in exiv2_tags(theirs).items() if k.startswith("Exif.")} ==
              {k: v for k, v in exiv2_tags(copy).items() if k.startswith("Exif.")}, "%s: exiv2 reads the "
              "unchanged copy otherwise" % name)

        # A changed field: the block is built anew, XMP stays beside it.
        changed = os.path.join(tmp, "exif-%s-changed.jpg" % name)
        r = run([TOOL, "relay", theirs, changed, "Model=Other model", "FNumber=8"])
        check(r.returncode == 0, "%s: relay with changes failed" % name)
        after = exiftool_tags(changed)
        check(after.get("IFD0:Model") == "Other model" and same_value(after.get("ExifIFD:FNumber"), 8),
              "%s: changed fields read %r, %r" % (name, after.get("IFD0:Model"), after.get("ExifIFD:FNumber")))
        check(exiv2_tags(changed).get("Exif.Image.Model", "").endswith("Other model"), "%s: exiv2 misses the "
              "changed model" % name)
        for ours_name, tool_tag, _, _ in EXIF_FIELDS:
            if ours_name not in ("Model", "FNumber"):
                check(same_value(after.get(tool_tag), tags[tool_tag]) if tool_tag.split(":")[1] in (
                      "Make", "Software", "ModifyDate", "Copyright", "DateTimeOriginal") else
                      same_value(after.get(tool_tag), float(tags[tool_tag].split()[0])),
                      "%s: %s became %r (was %r)" % (name, tool_tag, after.get(tool_tag), tags.get(tool_tag)))
        for tag in ("XMP-dc:Title", "IPTC:Caption-Abstract", "File:Comment"):
            check(after.get(tag) is not None and after.get(tag) == tags.get(tag), "%s: %s became %r" %
                  (name, tag, after.get(tag)))
        check(exif_segments(changed) == [(True, False), (False, True)], "%s: APP1 segments %s" %
              (name, exif_segments(changed)))

    # A file with XMP and no EXIF gains an EXIF block beside its XMP.
    xmp_only = os.path.join(tmp, "exif-xmp-only.jpg")
    with open(base, "rb") as f, open(xmp_only, "wb") as g:
        g.write(f.read())
    run(["exiftool", "-q", "-overwrite_original", "-XMP-dc:Title=only xmp", xmp_only])
    gained = os.path.join(tmp, "exif-gained.jpg")
    check(run([TOOL, "relay", xmp_only, gained, "Make=Maker"]).returncode == 0, "relay of the XMP file failed")
    after = exiftool_tags(gained)
    check(after.get("IFD0:Make") == "Maker" and after.get("XMP-dc:Title") == "only xmp",
          "XMP file: make %r, title %r" % (after.get("IFD0:Make"), after.get("XMP-dc:Title")))
    check(sorted(exif_segments(gained)) == [(False, True), (True, False)], "XMP file: APP1 segments %s" %
          exif_segments(gained))


if __name__ == "__main__":
    sys.exit(peer_suite.main("va_jpeg_peers_", read_suite, write_suite, exif_suite))
