"""Texture images of the installation, drawn from seeded noise and simple
shapes: ground surfaces, paving, rail bed, water, town blocks, banners and the
vehicle liveries."""

import math
import random

from png import Canvas

# A 5 x 7 pixel alphabet for the banner lettering: '#' is ink.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01111", "10000", "10000", "10011", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00110", "01000", "10000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    " ": ["00000"] * 7,
}


def text(canvas, x, y, message, scale, colour):
    """Letters of the banner alphabet, top-left corner at (x, y)."""
    for char in message:
        glyph = GLYPHS[char]
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "1":
                    canvas.fill_rect(x + col * scale, y + row * scale,
                                     x + (col + 1) * scale, y + (row + 1) * scale, colour)
        x += 6 * scale


def text_width(message, scale):
    return len(message) * 6 * scale - scale


def noise(rng, base, spread, size):
    """A tileable speckle: base colour with per-pixel brightness noise, smoothed once."""
    values = [[rng.uniform(-1, 1) for _ in range(size)] for _ in range(size)]
    canvas = Canvas(size, size)
    for y in range(size):
        for x in range(size):
            v = (values[y][x] * 2 + values[y][(x + 1) % size] + values[(y + 1) % size][x]) / 4
            canvas.set(x, y, tuple(c + spread * v for c in base))
    return canvas


def grass(rng):
    canvas = noise(rng, (78, 118, 52), 22, 128)
    for _ in range(60):  # darker tufts
        cx, cy = rng.randrange(128), rng.randrange(128)
        for _ in range(12):
            x = (cx + rng.randrange(-3, 4)) % 128
            y = (cy + rng.randrange(-3, 4)) % 128
            r, g, b = canvas.get(x, y)
            canvas.set(x, y, (r - 18, g - 14, b - 10))
    return canvas


def farmland(rng):
    canvas = noise(rng, (140, 128, 70), 14, 128)
    for y in range(0, 128, 8):  # furrows
        for x in range(128):
            r, g, b = canvas.get(x, y)
            canvas.set(x, y, (r - 30, g - 30, b - 20))
    return canvas


def asphalt(rng, base=(74, 74, 78)):
    canvas = noise(rng, base, 16, 128)
    for _ in range(400):  # light grains of the aggregate
        x, y = rng.randrange(128), rng.randrange(128)
        canvas.set(x, y, tuple(c + 40 for c in base))
    return canvas


def runway(rng):
    """Dark grooved asphalt with rubber deposits along the centre."""
    canvas = asphalt(rng, (60, 60, 64))
    for y in range(0, 128, 4):
        for x in range(128):
            r, g, b = canvas.get(x, y)
            canvas.set(x, y, (r - 8, g - 8, b - 8))
    for y in range(128):
        for x in range(48, 80):
            if rng.random() < 0.35:
                r, g, b = canvas.get(x, y)
                canvas.set(x, y, (r - 22, g - 22, b - 22))
    return canvas


def concrete(rng):
    """Light slabs with dark joints, four slabs to the image."""
    canvas = noise(rng, (176, 172, 162), 10, 128)
    for i in range(128):
        for j in (0, 64):
            canvas.set(i, j, (110, 108, 104))
            canvas.set(j, i, (110, 108, 104))
    return canvas


def rail_bed(rng):
    """Grey ballast stones."""
    canvas = noise(rng, (120, 114, 106), 30, 64)
    for _ in range(220):
        x, y = rng.randrange(64), rng.randrange(64)
        shade = rng.choice((-45, 35))
        for dx, dy in ((0, 0), (1, 0), (0, 1)):
            r, g, b = canvas.get(x + dx, y + dy)
            canvas.set((x + dx) % 64, (y + dy) % 64, (r + shade, g + shade, b + shade))
    return canvas


def water(rng):
    canvas = Canvas(128, 128)
    phase = [rng.uniform(0, 2 * math.pi) for _ in range(3)]
    for y in range(128):
        for x in range(128):
            w = (math.sin(2 * math.pi * (x / 64 + y / 128) + phase[0]) +
                 math.sin(2 * math.pi * (x / 32 - y / 64) + phase[1]) * 0.5 +
                 math.sin(2 * math.pi * y / 16 + phase[2]) * 0.3)
            canvas.set(x, y, (38 + 8 * w, 84 + 12 * w, 140 + 16 * w))
    return canvas


def town(rng):
    """Town blocks from above: roofs of many colours between grey streets."""
    canvas = noise(rng, (96, 96, 96), 6, 256)
    roofs = [(150, 60, 50), (120, 120, 130), (70, 90, 130), (180, 170, 150), (90, 110, 80),
             (160, 150, 140), (200, 200, 196)]
    block = 64
    for by in range(0, 256, block):
        for bx in range(0, 256, block):
            x = bx + 6
            while x < bx + block - 10:
                w = rng.randrange(8, 20)
                y = by + 6
                while y < by + block - 10:
                    h = rng.randrange(8, 20)
                    colour = rng.choice(roofs)
                    x1, y1 = min(x + w, bx + block - 6), min(y + h, by + block - 6)
                    canvas.fill_rect(x, y, x1, y1, colour)
                    canvas.fill_rect(x, y, x1, y + 1, tuple(c + 30 for c in colour))
                    y = y1 + 2
                x += w + 2
    return canvas


def banner(width, height, background, colour, lines, rng):
    canvas = Canvas(width, height, background)
    canvas.fill_rect(0, 0, width, 6, colour)
    canvas.fill_rect(0, height - 6, width, height, colour)
    scale = 4
    top = (height - len(lines) * 9 * scale) // 2 + scale
    for index, line in enumerate(lines):
        x = (width - text_width(line, scale)) // 2
        text(canvas, x, top + index * 9 * scale, line, scale, colour)
    return canvas


def livery(body, stripe, window, width=256, height=64, windows=30, door_every=0):
    """A side view: body colour, a cheat line and a row of windows along the
    length (u runs along the vehicle, v down its height)."""
    canvas = Canvas(width, height, body)
    canvas.fill_rect(0, height * 5 // 8, width, height * 6 // 8, stripe)
    canvas.fill_rect(0, height * 7 // 8, width, height, tuple(c * 0.7 for c in stripe))
    pitch = width / windows
    for i in range(windows):
        x = int(i * pitch + pitch * 0.25)
        canvas.fill_rect(x, height * 3 // 8, x + max(2, int(pitch * 0.5)), height // 2, window)
        if door_every and i % door_every == door_every // 2:
            canvas.fill_rect(x - 1, height * 2 // 8, x + int(pitch * 0.7), height * 7 // 8,
                             tuple(c * 0.8 for c in body))
    return canvas


def generate(folder):
    """Writes every texture into folder; returns their file names."""
    rng = random.Random(20261208)
    images = {
        "grass.png": grass(rng),
        "farmland.png": farmland(rng),
        "asphalt.png": asphalt(rng),
        "runway.png": runway(rng),
        "taxiway.png": asphalt(rng, (92, 90, 88)),
        "concrete.png": concrete(rng),
        "railbed.png": rail_bed(rng),
        "water.png": water(rng),
        "town.png": town(rng),
        "banner_airport.png": banner(256, 128, (250, 250, 245), (20, 60, 160),
                                     ["VELMORA", "AIRPORT"], rng),
        "banner_race.png": banner(256, 128, (20, 20, 24), (240, 200, 20), ["RACEWAY"], rng),
        "banner_station.png": banner(256, 128, (240, 244, 250), (0, 120, 70),
                                     ["VELMORA", "RAILWAY"], rng),
        "livery_airliner.png": livery((236, 238, 242), (20, 60, 160), (40, 50, 70)),
        "livery_train.png": livery((225, 225, 220), (0, 120, 70), (50, 70, 90), windows=12,
                                   door_every=4),
        "livery_express.png": livery((240, 236, 210), (200, 40, 30), (40, 50, 70), windows=16),
    }
    for name, canvas in images.items():
        canvas.save(f"{folder}/{name}")
    return sorted(images)
