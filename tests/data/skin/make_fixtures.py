#!/usr/bin/env python3
# Builds the skin archives the skin reader tests read, with zipfile and Info-ZIP zip as
# independent writers. Run from anywhere; needs python3 and zip (for the encrypted ones)
# and unzip (to check the one archive encrypted here).
import os, random, shutil, struct, subprocess, tempfile, zipfile, zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "skin-pw"


def bmp24(width, height, seed):
    rng = random.Random(seed)
    row = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(height):
        line = bytearray()
        for x in range(width):
            # gradients with a little noise: compressible, yet not trivially
            line += bytes(((x * 7 + rng.randrange(4)) & 0xFF, (y * 5) & 0xFF, (x ^ y) & 0xFF))
        line += b"\0" * (row - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + bytes(pixels)


def bmp8(width, height):
    row = (width + 3) // 4 * 4
    palette = b"".join(bytes((i, 255 - i, i // 2, 0)) for i in range(256))
    pixels = b"".join(bytes((x + y) & 0xFF for x in range(width)) + b"\0" * (row - width)
                      for y in range(height))
    info = struct.pack("<IiiHHIIiiII", 40, width, -height, 1, 8, 0, len(pixels), 0, 0, 256, 0)
    off = 14 + len(info) + len(palette)
    return struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off) + info + palette + pixels


def skin_data(records, terminator=True, first=24):
    """records: (name, type, value bytes); each record is followed by its value."""
    out = bytearray(b"VARNELOSKIN2" + struct.pack("<III", 24, 2, first))
    out += b"\0" * (first - len(out))
    for i, (name, kind, value) in enumerate(records):
        pos = len(out)
        value_off = pos + 77
        nxt = value_off + len(value)
        out += name.encode("latin-1").ljust(64, b"\0") + struct.pack("<BIII", kind, value_off, len(value), nxt)
        out += value
    if terminator:
        out += b"\0" * 64 + struct.pack("<BIII", 2, 0, 0, 0)
    return bytes(out)


def i32(v):
    return struct.pack("<i", v)


def full_records():
    recs = [
        ("SKIN2_TITLEBAR1", 0, bmp24(200, 120, 1)),  # larger than the inflate window
        ("SKIN2_BUTTON", 0, bmp8(21, 7)),
        ("SKIN2_TRANSCOLOR", 1, i32(0x00FF00FF)),
        ("SKIN2_FORMCOLOR", 1, i32(0x00C08040)),
        ("SKIN2_TITLEBARICONPOSX", 1, i32(7)),
        ("SKIN2_TITLEBARCAPTIONTOP", 1, i32(-3)),
        ("SKIN2_SYSTEMCOLOR1", 1, i32(0x123456)),
        ("SKIN2_TITLEFIVESECT", 2, b"\x01"),
        ("SKIN2_BUTTONTRANS", 2, b"\x00"),
        ("SKIN2_TABCONTROLTRANS", 2, b"\x02"),
        ("SKIN2_AUTHOR", 3, b"Varnelo skin team"),
        ("SKIN2_FUTURE", 9, b"ignored"),
    ]
    return recs


def write_zip(path, name, data, level=9, comment=b"", signature=b"SK\x03\x04"):
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=level) as z:
        z.writestr(zipfile.ZipInfo(name, (2020, 5, 17, 10, 30, 0)), data,
                   compress_type=zipfile.ZIP_DEFLATED, compresslevel=level)
        z.comment = comment
    patch_signature(path, signature)


def patch_signature(path, signature):
    with open(path, "r+b") as f:
        assert f.read(4) == b"PK\x03\x04"
        f.seek(0)
        f.write(signature)


def write_encrypted(path, data, password):
    tmp = tempfile.mkdtemp()
    try:
        with open(os.path.join(tmp, "SKINDATA.SK2"), "wb") as f:
            f.write(data)
        out = os.path.join(tmp, "out.zip")
        subprocess.run(["zip", "-q", "-X", "-9", "-P", password, out, "SKINDATA.SK2"], cwd=tmp, check=True)
        shutil.copy(out, path)
    finally:
        shutil.rmtree(tmp)
    patch_signature(path, b"SK\x03\x04")


CRC_TABLE = [0] * 256
for n in range(256):
    c = n
    for _ in range(8):
        c = 0xEDB88320 ^ (c >> 1) if c & 1 else c >> 1
    CRC_TABLE[n] = c


def encrypt_with_crc_check(path, data, password):
    """Traditional encryption with the CRC byte as check (flag bit 3 clear), which zip does not
    write for files; unzip checks the result."""
    keys = [0x12345678, 0x23456789, 0x34567890]

    def update(b):
        keys[0] = CRC_TABLE[(keys[0] ^ b) & 0xFF] ^ (keys[0] >> 8)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = CRC_TABLE[(keys[2] ^ (keys[1] >> 24)) & 0xFF] ^ (keys[2] >> 8)

    def encrypt(plain):
        out = bytearray()
        for b in plain:
            t = (keys[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            update(b)
        return bytes(out)

    for ch in password.encode():
        update(ch)
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("SKINDATA.SK2", (2021, 1, 2, 3, 4, 6)), data,
                   compress_type=zipfile.ZIP_DEFLATED)
    raw = bytearray(open(tmp, "rb").read())
    os.remove(tmp)
    name_len, extra_len = struct.unpack_from("<HH", raw, 26)
    csize = struct.unpack_from("<I", raw, 18)[0]
    crc = struct.unpack_from("<I", raw, 14)[0]
    start = 30 + name_len + extra_len
    header = bytes(random.Random(5).randrange(256) for _ in range(11)) + bytes([crc >> 24])
    body = encrypt(header + bytes(raw[start:start + csize]))
    rest = raw[start + csize:]
    cd = rest.index(b"PK\x01\x02")
    end = rest.index(b"PK\x05\x06")
    local = bytearray(raw[:start])
    struct.pack_into("<H", local, 6, struct.unpack_from("<H", local, 6)[0] | 1)
    struct.pack_into("<I", local, 18, csize + 12)
    central = bytearray(rest[cd:end])
    struct.pack_into("<H", central, 8, struct.unpack_from("<H", central, 8)[0] | 1)
    struct.pack_into("<I", central, 20, csize + 12)
    endrec = bytearray(rest[end:])
    struct.pack_into("<I", endrec, 16, struct.unpack_from("<I", endrec, 16)[0] + 12)
    archive = bytes(local) + body + bytes(rest[:cd]) + bytes(central) + bytes(endrec)
    with open(path, "wb") as f:
        f.write(archive)
    check = subprocess.run(["unzip", "-p", "-P", password, path, "SKINDATA.SK2"], capture_output=True)
    assert check.returncode == 0 and check.stdout == data, "unzip does not accept the archive"
    assert struct.unpack_from("<H", archive, 6)[0] & 8 == 0
    patch_signature(path, b"SK\x03\x04")


def main():
    full = skin_data(full_records())
    with open(os.path.join(HERE, "full.sk2"), "wb") as f:
        f.write(full)  # the entry itself, for tests that compare extraction byte for byte
    write_zip(os.path.join(HERE, "full.skn"), "SKINDATA.SK2", full)
    write_zip(os.path.join(HERE, "full_fast.skn"), "SKINDATA.SK2", full, level=1)
    small = skin_data(full_records()[1:])
    with open(os.path.join(HERE, "small.sk2"), "wb") as f:
        f.write(small)
    write_zip(os.path.join(HERE, "small.skn"), "SKINDATA.SK2", small)
    write_zip(os.path.join(HERE, "plain_zip.zip"), "SKINDATA.SK2", small, signature=b"PK\x03\x04")
    write_zip(os.path.join(HERE, "with_comment.skn"), "SKINDATA.SK2", small, comment=b"made by hand")
    write_zip(os.path.join(HERE, "other_entry.skn"), "README.TXT", small)
    write_zip(os.path.join(HERE, "lowercase_entry.skn"), "skindata.sk2", small)
    write_zip(os.path.join(HERE, "terminator_only.skn"), "SKINDATA.SK2", skin_data([]))
    write_zip(os.path.join(HERE, "duplicate_bitmaps.skn"), "SKINDATA.SK2",
              skin_data([("SKIN2_BUTTON", 0, bmp8(3, 2)), ("skin2_button", 0, bmp8(5, 4))]))
    # A chain whose last record points back at the first.
    looped = bytearray(skin_data([("SKIN2_TRANSCOLOR", 1, i32(1)), ("SKIN2_FORMCOLOR", 1, i32(2))],
                                 terminator=False))
    struct.pack_into("<I", looped, 24 + 77 + 4 + 73, 24)
    write_zip(os.path.join(HERE, "looped_chain.skn"), "SKINDATA.SK2", bytes(looped))
    # A value that claims to run past the end of the data.
    outside = bytearray(skin_data([("SKIN2_TITLEBAR1", 0, bmp8(3, 2))]))
    struct.pack_into("<I", outside, 24 + 69, 0x7FFFFFF0)
    write_zip(os.path.join(HERE, "value_outside.skn"), "SKINDATA.SK2", bytes(outside))
    # A header that claims fewer bytes than it has fields.
    short = bytearray(small)
    struct.pack_into("<I", short, 12, 16)
    write_zip(os.path.join(HERE, "short_header.skn"), "SKINDATA.SK2", bytes(short))
    # A bitmap value that is no BMP.
    write_zip(os.path.join(HERE, "bad_bitmap.skn"), "SKINDATA.SK2",
              skin_data([("SKIN2_TITLEBAR1", 0, b"GIF89a" + b"\0" * 40)]))
    write_encrypted(os.path.join(HERE, "encrypted.skn"), full, PASSWORD)
    write_encrypted(os.path.join(HERE, "encrypted_small.skn"), skin_data(full_records()[2:]), PASSWORD)
    encrypt_with_crc_check(os.path.join(HERE, "encrypted_crc_check.skn"), small, PASSWORD)
    # Encrypted with the empty password: only the reader's own refusal of an empty password keeps
    # it from reading.
    encrypt_with_crc_check(os.path.join(HERE, "encrypted_empty_password.skn"), small, "")


if __name__ == "__main__":
    main()
