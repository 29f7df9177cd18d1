"""A small PNG writer and a canvas of RGB pixels for the texture generators."""

import struct
import zlib


class Canvas:
    """An RGB image whose pixels are (r, g, b) tuples of 0..255, row 0 at the top."""

    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = tuple(max(0, min(255, int(c))) for c in colour)

    def get(self, x, y):
        return self.pixels[y % self.height][x % self.width]

    def fill_rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.set(x, y, colour)

    def save(self, path):
        raw = bytearray()
        for row in self.pixels:
            raw.append(0)  # filter: none
            for r, g, b in row:
                raw += bytes((r, g, b))
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(_chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            out.write(_chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
            out.write(_chunk(b"IEND", b""))


def _chunk(kind, data):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)
