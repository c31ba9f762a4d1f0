#!/usr/bin/env python3
"""Writes arrow.png, the arrow pointer drawn into recorded frames, from the pixel map below.

The picture is 32 x 32 pixels: an opaque white arrow with a one-pixel black outline on a transparent
ground, its tip at (8, 8) so that a picture drawn from 8 pixels up and left of the pointer puts the tip
exactly on the pointer. Run it from anywhere: python3 make_arrow.py
"""
import os
import struct
import zlib

SIZE = 32
TIP = (8, 8)
# B black outline, W white body, anything else transparent. Row 0 is the tip's row.
ARROW = [
    "B",
    "BB",
    "BWB",
    "BWWB",
    "BWWWB",
    "BWWWWB",
    "BWWWWWB",
    "BWWWWWWB",
    "BWWWWWWWB",
    "BWWWWWWWWB",
    "BWWWWWWWWWB",
    "BWWWWWWBBBBB",
    "BWWWBWWB",
    "BWWBBWWB",
    "BWB..BWWB",
    "BB...BWWB",
    "B.....BWWB",
    "......BWWB",
    ".......BB",
]
COLOURS = {"B": (0, 0, 0, 255), "W": (255, 255, 255, 255)}


def pixels():
    rows = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for dy, line in enumerate(ARROW):
        for dx, ch in enumerate(line):
            if ch in COLOURS:
                rows[TIP[1] + dy][TIP[0] + dx] = COLOURS[ch]
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "arrow.png")
    with open(out, "wb") as f:
        f.write(png(pixels()))
