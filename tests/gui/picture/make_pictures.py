#!/usr/bin/env python3
"""Writes the PNG files the picture tests embed as resources, with an encoder of its own (Python's
struct and zlib, each row with its own filter), so the reader is checked against files it did
not write. Pixel (x, y) of the RGBA picture is (x * 19, y * 27, x * y, 255 - 3 * x - 5 * y), all
modulo 256; the RGB picture drops the alpha. Run it again only to change the pictures."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def pixel(x, y, alpha):
    values = [x * 19 % 256, y * 27 % 256, x * y % 256, (255 - 3 * x - 5 * y) % 256]
    return values if alpha else values[:3]


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(rows, bpp):
    out = bytearray()
    previous = bytes(len(rows[0]))
    for y, row in enumerate(rows):
        kind = y % 5
        out.append(kind)
        for i, value in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            predicted = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            out.append((value - predicted) % 256)
        previous = row
    return bytes(out)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write(name, width, height, alpha):
    bpp = 4 if alpha else 3
    rows = [bytes(v for x in range(width) for v in pixel(x, y, alpha)) for y in range(height)]
    stream = zlib.compress(filtered(rows, bpp), 9)
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    idats = b"".join(chunk(b"IDAT", stream[i:i + 50]) for i in range(0, len(stream), 50))
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + idats + chunk(b"IEND", b"")
    with open(os.path.join(HERE, "resources", name), "wb") as out:
        out.write(data)


write("pattern_rgba.png", 23, 17, True)
write("pattern_rgb.png", 41, 6, False)
