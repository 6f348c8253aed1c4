#!/usr/bin/env python3
"""Packs the icon's PNG images into one Windows .ico file (PNG-compressed entries).

Usage: pack-icon.py OUT.ico IMAGE.png...   (each PNG square, 1 to 256 pixels)
"""
import struct
import sys


def png_size(data):
    width, height = struct.unpack(">II", data[16:24])
    return width, height


def main(out, images):
    blobs = [open(path, "rb").read() for path in images]
    header = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    entries = b""
    for blob in blobs:
        width, height = png_size(blob)
        # 256 is written as 0 in the one-byte size fields.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(blob), offset)
        offset += len(blob)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(blobs))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
