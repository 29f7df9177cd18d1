"""Draws the desktop icon, dist/velmora.png: an airliner seen from above over a
runway, on a rounded tile of evening sky. 64 x 64 pixels with an alpha channel,
each pixel averaged over 4 x 4 samples. Deterministic; standard library only.

    python3 dist/make_icon.py        # rewrites dist/velmora.png
"""

import math
import os
import struct
import zlib

SIZE = 64
SAMPLES = 4  # per pixel and axis

SKY_TOP = (40, 70, 140)
SKY_BOTTOM = (235, 150, 90)
RUNWAY = (60, 60, 66)
MARKING = (240, 240, 240)
AIRLINER = (250, 250, 252)
OUTLINE = (20, 30, 60)


def inside_tile(x, y):
    """The rounded square: corners of radius 12 on a 2-pixel margin."""
    margin, radius = 2.0, 12.0
    lo, hi = margin + radius, SIZE - margin - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and margin <= x <= SIZE - margin and margin <= y <= SIZE - margin


def inside_polygon(x, y, points):
    """Even-odd rule."""
    inside = False
    for i in range(len(points)):
        x0, y0 = points[i]
        x1, y1 = points[(i + 1) % len(points)]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            inside = not inside
    return inside


def airliner_shape():
    """Top view, nose up, centred at (32, 30), 44 pixels long and 44 wide."""
    half = [(0, -22), (2.2, -19), (3, -14), (3, -4), (21, 6), (21, 9), (3, 4), (3, 13),
            (9, 19), (9, 21), (1.5, 19), (0, 22)]
    right = [(32 + dx, 30 + dy) for dx, dy in half]
    left = [(32 - dx, 30 + dy) for dx, dy in reversed(half)]
    return right + left


def colour_at(x, y, plane, plane_outline):
    if not inside_tile(x, y):
        return None
    t = y / SIZE
    colour = tuple(a + (b - a) * t for a, b in zip(SKY_TOP, SKY_BOTTOM))
    # The runway runs up the middle from the bottom edge, in perspective.
    half_width = 3 + 9 * (y - 30) / 34
    if y > 30 and abs(x - 32) < half_width:
        colour = RUNWAY
        if abs(x - 32) < 0.6 + 0.6 * (y - 30) / 34 and int(y) % 6 < 3:
            colour = MARKING
    if inside_polygon(x, y, plane_outline):
        colour = OUTLINE
    if inside_polygon(x, y, plane):
        colour = AIRLINER
    return colour


def scaled(points, factor, centre=(32, 30)):
    cx, cy = centre
    return [(cx + (px - cx) * factor, cy + (py - cy) * factor) for px, py in points]


def draw():
    plane = airliner_shape()
    plane_outline = scaled(plane, 1.08)
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES, plane,
                                  plane_outline)
                    if c is None:
                        continue
                    covered += 1
                    for i in range(3):
                        total[i] += c[i]
            if covered == 0:
                row += bytes((0, 0, 0, 0))
            else:
                row += bytes(int(round(v / covered)) for v in total)
                row.append(int(round(255 * covered / SAMPLES ** 2)))
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def save(path, rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter: none
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    save(os.path.join(os.path.dirname(os.path.abspath(__file__)), "velmora.png"), draw())
