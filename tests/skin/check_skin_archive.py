#!/usr/bin/env python3
# Checks a skin archive with Python's zipfile: the one entry SKINDATA.SK2, its CRC-32 and size,
# and the record chain's header. The local header's "SK" is put back to "PK" first.
import io, struct, sys, zipfile

data = bytearray(open(sys.argv[1], "rb").read())
if data[:4] != b"SK\x03\x04":
    sys.exit("local header does not begin SK 3 4")
data[0:2] = b"PK"
with zipfile.ZipFile(io.BytesIO(bytes(data))) as z:
    names = z.namelist()
    if names != ["SKINDATA.SK2"]:
        sys.exit("entries: %r" % names)
    bad = z.testzip()
    if bad is not None:
        sys.exit("CRC-32 differs in " + bad)
    entry = z.read("SKINDATA.SK2")
header_size, _, first = struct.unpack_from("<III", entry, 12)
if header_size != 24 or first != 24:
    sys.exit("skin data header %d, first record at %d" % (header_size, first))
count = 0
at = first
while True:
    name, kind, off, size, nxt = struct.unpack_from("<64sBIII", entry, at)
    if nxt == 0:
        break
    if off + size > len(entry):
        sys.exit("value of %r lies outside the data" % name)
    count += 1
    at = nxt
print("SKINDATA.SK2: %d records, %d bytes" % (count, len(entry)))
