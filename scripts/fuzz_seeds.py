#!/usr/bin/env python3
"""Makes the seeds of the fuzz targets that do not take whole documents.

fuzz_seeds.py CORPUS_FILES OUT writes OUT/descriptor (the descriptors of the
effect and fill blocks found in the documents below CORPUS_FILES) and
OUT/packbits (rows packed as Photoshop packs them, each after its size as two
big-endian bytes). Works without the corpus too: then the seeds are only
the made rows and one small descriptor.
"""
import os
import struct
import sys

# Blocks whose data is a descriptor after version fields of this many bytes.
DESCRIPTOR_BLOCKS = {b"lfx2": 8, b"SoCo": 4, b"GdFl": 4, b"PtFl": 4, b"vscg": 8, b"vstk": 4}


def descriptors(data):
    """The descriptors of the blocks in a document's bytes."""
    for key, skip in DESCRIPTOR_BLOCKS.items():
        at = data.find(b"8BIM" + key)
        while at >= 0:
            if at + 12 <= len(data):
                size = struct.unpack(">I", data[at + 8:at + 12])[0]
                block = data[at + 12:at + 12 + size]
                if len(block) == size and size > skip:
                    yield block[skip:]
            at = data.find(b"8BIM" + key, at + 1)


def pack_row(row):
    """PackBits as Photoshop writes it: runs of 3 or more, literals between."""
    out, i = bytearray(), 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 128 and row[i + run] == row[i]:
            run += 1
        if run >= 3:
            out += bytes([257 - run, row[i]])
            i += run
            continue
        start = i
        while i < len(row) and i - start < 128:
            if i + 2 < len(row) and row[i] == row[i + 1] == row[i + 2]:
                break
            i += 1
        out += bytes([i - start - 1]) + row[start:i]
    return bytes(out)


def made_rows():
    rows = [bytes(range(40)), bytes([7]) * 200, bytes([0, 0, 0, 9, 9, 1, 2, 3, 3, 3, 3]) * 5, bytes([255]) * 16 + bytes(range(17))]
    return [struct.pack(">H", len(r)) + pack_row(r) for r in rows]


def main():
    corpus, out = sys.argv[1], sys.argv[2]
    for sub in ("descriptor", "packbits"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    seen = set()
    # A descriptor of one integer item: class name "", class id "null", 1 item "Scl " long 5.
    found = [b"\0\0\0\0" + b"\0\0\0\0null" + b"\0\0\0\1" + b"\0\0\0\0Scl long" + b"\0\0\0\5"]
    if os.path.isdir(corpus):
        for folder, _, names in os.walk(corpus):
            for name in sorted(names):
                with open(os.path.join(folder, name), "rb") as f:
                    found.extend(descriptors(f.read()))
    for d in found:
        if d not in seen and len(d) <= 65536:
            seen.add(d)
            with open(os.path.join(out, "descriptor", "d%03d" % len(seen)), "wb") as f:
                f.write(d)
    for n, row in enumerate(made_rows()):
        with open(os.path.join(out, "packbits", "r%d" % n), "wb") as f:
            f.write(row)
    print("fuzz seeds: %d descriptors, %d packed rows" % (len(seen), len(made_rows())))


if __name__ == "__main__":
    main()
