#!/usr/bin/env python3
"""Draws the program's images: the icon (a clock face with a crescent moon) at
16 x 16 and 32 x 32, and the "HAND" cursor (32 x 32, black and white, hot spot
at the top-left corner). Run it to redraw them: python3 res/make_images.py"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# --- icon: shapes in a 32-unit square, painted back to front ---------------
NAVY = (0, 0, 128)
FACE = (255, 255, 240)
MOON = (255, 215, 0)
HAND = (128, 0, 0)


def in_disc(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def near_segment(x, y, x0, y0, x1, y1, half_width):
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= half_width


def icon_colour(x, y):
    cx, cy, r = 14.0, 17.5, 13.0
    colour = None
    if in_disc(x, y, cx, cy, r):
        colour = NAVY
    if in_disc(x, y, cx, cy, r - 2.2):
        colour = FACE
        for hour in range(12):
            angle = hour * math.pi / 6
            tx, ty = cx + math.sin(angle) * (r - 4.2), cy - math.cos(angle) * (r - 4.2)
            if in_disc(x, y, tx, ty, 1.3 if hour % 3 == 0 else 0.8):
                colour = NAVY
        # ten past ten
        if near_segment(x, y, cx, cy, cx - 5.2, cy - 3.0, 1.2):
            colour = HAND
        if near_segment(x, y, cx, cy, cx + 6.5, cy - 5.5, 0.9):
            colour = HAND
        if in_disc(x, y, cx, cy, 1.5):
            colour = NAVY
    # a crescent moon over the top-right edge of the face
    if in_disc(x, y, 25.0, 7.0, 6.5) and not in_disc(x, y, 28.5, 4.5, 5.6):
        colour = MOON
    return colour


def render_icon(size, samples=6):
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = {}
            for sy in range(samples):
                for sx in range(samples):
                    c = icon_colour((px + (sx + 0.5) / samples) * scale, (py + (sy + 0.5) / samples) * scale)
                    hits[c] = hits.get(c, 0) + 1
            covered = samples * samples - hits.get(None, 0)
            if covered * 3 < samples * samples:   # mostly outside: transparent
                row.append((0, 0, 0, 0))
                continue
            # The colour most samples saw keeps the picture in a few flat colours.
            best = max((c for c in hits if c is not None), key=lambda c: hits[c])
            row.append(best + (255,))
        rows.append(row)
    return rows


# --- the "HAND" cursor: a pointing hand, finger tip at the top-left corner ---
def hand_cursor():
    size = 32
    inside = [[False] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, round_top=True):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                corner = round_top and y == y0 and x in (x0, x1)
                if not corner:
                    inside[y][x] = True

    fill(1, 1, 4, 14)        # index finger
    fill(5, 7, 8, 14)        # middle finger
    fill(9, 8, 12, 14)       # ring finger
    fill(13, 10, 16, 15)     # little finger
    fill(1, 13, 16, 22, round_top=False)    # palm
    fill(3, 23, 14, 25, round_top=False)    # wrist
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            if inside[y][x]:
                # creases between the fingers
                crease = y <= 14 and x in (5, 9, 13) and y >= 7
                row.append((0, 0, 0, 255) if crease else (255, 255, 255, 255))
                continue
            edge = any(0 <= y + dy < size and 0 <= x + dx < size and inside[y + dy][x + dx]
                       for dy in (-1, 0, 1) for dx in (-1, 0, 1))
            row.append((0, 0, 0, 255) if edge else (0, 0, 0, 0))
        pixels.append(row)
    return pixels


if __name__ == "__main__":
    for size in (16, 32):
        write_png(os.path.join(HERE, "tikora-%d.png" % size), size, size, render_icon(size))
    write_png(os.path.join(HERE, "hand.png"), 32, 32, hand_cursor())
