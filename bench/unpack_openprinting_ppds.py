#!/usr/bin/env python3
"""Unpacks every PPD of Debian's openprinting-ppds into OUTDIR as 00001.ppd, 00002.ppd, ... in
the order of the driver's index, reading the driver only as data; prints how many it wrote."""
import base64, json, lzma, os, re, sys

DRIVER = "/usr/lib/cups/driver/openprinting-ppds"

if len(sys.argv) != 2:
    sys.exit("usage: unpack_openprinting_ppds.py OUTDIR")
with open(DRIVER, "rb") as f:
    found = re.search(rb'^ppds_compressed_b64 = b"([^"]*)"', f.read(), re.M)
if not found:
    sys.exit(f"unpack_openprinting_ppds: {DRIVER}: no PPD archive found")
index = json.loads(lzma.decompress(base64.b64decode(found.group(1))))
archive = lzma.decompress(base64.b64decode(index.pop("ARCHIVE")))
os.makedirs(sys.argv[1], exist_ok=True)
for n, (start, length, _uris) in enumerate(index.values(), 1):
    if start + length > len(archive):
        sys.exit(f"unpack_openprinting_ppds: {DRIVER}: PPD {n} lies past the end of the archive")
    with open(os.path.join(sys.argv[1], f"{n:05d}.ppd"), "wb") as out:
        out.write(archive[start : start + length])
print(len(index))
