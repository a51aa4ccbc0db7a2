#!/usr/bin/env python3
"""Draws the two full-moon pictures: "MOON_LARGE" (64 x 64) and "MOON_SMALL"
(32 x 32), 16 colours (black and 15 greys), bright highlands with the darker
maria as seen from the northern hemisphere, north up, on black.

The disc is exactly the pixels the moon picture darkens at new moon: centre
(cx, cy), radius R, and on row cy +- y the columns cx +- round(sqrt(R^2 - y^2))
(halves to even, as Python's round). Nothing outside it is lit, so shading
never leaves a grey fringe. Run it to redraw them: python3 res/make_moon_images.py"""
import math
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# (file, width, height, cx, cy, R): the component's geometry for each size.
SIZES = [
    ("moon_large.png", 64, 64, 31, 28, 28),
    ("moon_small.png", 32, 32, 15, 14, 14),
]

# Palette index 0 is the black sky; 1..15 run from the darkest mare to the
# brightest ray crater.
GREYS = [0] + [round(56 + k * (236 - 56) / 14) for k in range(15)]

# The maria as ellipses in disc units (x east to the right, y south down,
# radius 1): centre x, centre y, half-width, half-height, depth 0..1.
MARIA = [
    (-0.62, -0.02, 0.28, 0.50, 0.80),   # Oceanus Procellarum
    (-0.48, -0.35, 0.20, 0.20, 0.80),   # Procellarum's northern arm
    (-0.26, -0.50, 0.28, 0.23, 0.95),   # Mare Imbrium
    (0.02, -0.76, 0.45, 0.07, 0.55),    # Mare Frigoris
    (0.22, -0.44, 0.17, 0.16, 0.90),    # Mare Serenitatis
    (0.06, -0.22, 0.10, 0.07, 0.65),    # Mare Vaporum
    (0.40, -0.14, 0.21, 0.18, 0.95),    # Mare Tranquillitatis
    (0.76, -0.28, 0.11, 0.10, 1.00),    # Mare Crisium
    (0.68, 0.10, 0.11, 0.17, 0.80),     # Mare Fecunditatis
    (0.45, 0.27, 0.09, 0.09, 0.75),     # Mare Nectaris
    (-0.22, 0.34, 0.18, 0.15, 0.80),    # Mare Nubium
    (-0.40, 0.18, 0.14, 0.14, 0.65),    # Mare Cognitum
    (-0.05, 0.08, 0.08, 0.07, 0.55),    # Sinus Medii
    (-0.60, 0.40, 0.10, 0.10, 0.90),    # Mare Humorum
]

# Bright young craters: centre x, centre y, radius, ray length.
CRATERS = [
    (-0.13, 0.72, 0.05, 0.55),   # Tycho
    (-0.34, -0.16, 0.04, 0.25),  # Copernicus
    (-0.62, -0.28, 0.03, 0.15),  # Kepler
    (-0.75, -0.40, 0.03, 0.05),  # Aristarchus
]


def ellipse_weight(x, y, cx, cy, rx, ry):
    """1 inside the ellipse, falling to 0 over a soft rim."""
    dx, dy = (x - cx) / rx, (y - cy) / ry
    # Ragged shores: the radius wobbles with the direction.
    angle = math.atan2(dy, dx)
    d = math.hypot(dx, dy) / (1 + 0.12 * math.sin(3 * angle + 7 * cx) + 0.08 * math.sin(5 * angle + 11 * cy))
    return max(0.0, min(1.0, (1.25 - d) / 0.4))


def brightness(x, y, mottle):
    """Surface brightness 0..1 at disc point (x, y)."""
    level = 0.78
    dark = 0.0
    for cx, cy, rx, ry, depth in MARIA:
        dark = max(dark, depth * ellipse_weight(x, y, cx, cy, rx, ry))
    level -= 0.50 * dark
    for cx, cy, r, ray in CRATERS:
        d = math.hypot(x - cx, y - cy)
        if d < r:
            level = 1.0
        elif d < r + ray:
            level += 0.10 * (1 - (d - r) / ray)
    # The southern highlands are the brightest ground; the limb dims a little.
    level += 0.05 * max(0.0, y)
    level -= 0.10 * (x * x + y * y) ** 2
    return max(0.0, min(1.0, level + mottle(x, y)))


def make_mottle(seed):
    """Small craters and patches, the same for both sizes."""
    rng = random.Random(seed)
    spots = [(rng.uniform(-1, 1), rng.uniform(-1, 1), rng.uniform(0.03, 0.09), rng.uniform(-0.08, 0.06))
             for _ in range(60)]

    def mottle(x, y):
        return sum(v for cx, cy, r, v in spots if (x - cx) ** 2 + (y - cy) ** 2 < r * r)
    return mottle


def in_disc(px, py, cx, cy, radius):
    y = abs(py - cy)
    if y > radius:
        return False
    return abs(px - cx) <= round(math.sqrt(radius * radius - y * y))


def render(width, height, cx, cy, radius, samples=5):
    mottle = make_mottle(1969)
    scale = radius + 0.5   # disc units per pixel: the outermost pixels sit at the limb
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            if not in_disc(px, py, cx, cy, radius):
                row.append(0)
                continue
            total = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples - 0.5 - cx) / scale
                    y = (py + (sy + 0.5) / samples - 0.5 - cy) / scale
                    total += brightness(x, y, mottle)
            # Never index 0: a lit pixel must never read as shaded.
            row.append(1 + min(14, int(total / (samples * samples) * 15)))
        rows.append(row)
    return rows


def write_png16(path, width, height, rows):
    """A 4-bit palette PNG: rows of indices 0..15 into GREYS."""
    raw = b""
    for row in rows:
        padded = row + [0] * (len(row) % 2)
        raw += b"\x00" + bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0)
    palette = b"".join(bytes((g, g, g)) for g in GREYS)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette) +
                  chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    for name, width, height, cx, cy, radius in SIZES:
        write_png16(os.path.join(HERE, name), width, height, render(width, height, cx, cy, radius))
