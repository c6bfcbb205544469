#!/usr/bin/env python3
"""Draws the launcher's background bitmap and application icon.

Usage: make_art.py BACKGROUND.bmp ICON.ico

The art is ours and made by code so that the build needs no image from elsewhere:
a dusk sky over layered ridges, darkest where the window draws its white text.
"""
import math
import random
import struct
import sys

WIDTH, HEIGHT = 1020, 761  # the main dialog's client area at 1.5 x 1.625 pixels per unit


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(lerp(x, y, t) for x, y in zip(c1, c2))


SKY_STOPS = [  # (height fraction, colour)
    (0.00, (6, 9, 28)),
    (0.30, (22, 26, 66)),
    (0.46, (74, 44, 92)),
    (0.56, (196, 96, 78)),
    (0.60, (246, 168, 96)),
]


def sky(y):
    f = y / HEIGHT
    for (f0, c0), (f1, c1) in zip(SKY_STOPS, SKY_STOPS[1:]):
        if f <= f1:
            return mix(c0, c1, (f - f0) / (f1 - f0))
    return SKY_STOPS[-1][1]


def ridge(x, base, waves):
    return base + sum(a * math.sin(x * f + p) for a, f, p in waves)


# Far to near: each ridge is a skyline height per column and a colour that fades to
# near-black toward the front, so the status line and buttons sit on dark ground.
RIDGES = [
    (lambda x: ridge(x, 430, [(26, 0.011, 0.4), (12, 0.031, 1.9), (5, 0.083, 0.2)]), (96, 60, 104), (60, 38, 78)),
    (lambda x: ridge(x, 470, [(38, 0.007, 2.2), (16, 0.023, 0.7), (6, 0.071, 1.3)])
     - 110 * math.exp(-((x - 190) / 230.0) ** 2), (44, 30, 66), (26, 18, 44)),
    (lambda x: ridge(x, 545, [(30, 0.005, 4.1), (12, 0.019, 2.6), (4, 0.061, 0.9)]), (20, 16, 36), (10, 9, 22)),
    (lambda x: ridge(x, 640, [(22, 0.004, 1.1), (9, 0.015, 3.3), (3, 0.05, 2.0)]), (8, 8, 18), (4, 4, 10)),
]

SUN = (735.0, 452.0, 64.0)


def background():
    rng = random.Random(1020761)
    stars = {}
    for _ in range(420):
        x, y = rng.randrange(WIDTH), rng.randrange(int(HEIGHT * 0.5))
        stars[(x, y)] = rng.random() * (1.0 - y / (HEIGHT * 0.5))
    skylines = [[r[0](x) for x in range(WIDTH)] for r in RIDGES]
    sx, sy, sr = SUN
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # BMP rows run bottom-up
        base = sky(y)
        row = bytearray()
        for x in range(WIDTH):
            colour = base
            d = math.hypot(x - sx, y - sy)
            if d < sr:
                colour = mix((255, 226, 160), (255, 190, 110), d / sr)
            else:
                colour = mix(colour, (255, 180, 110), 0.55 * math.exp(-(d - sr) / 90.0))
            star = stars.get((x, y))
            if star:
                colour = mix(colour, (255, 255, 255), star)
            for (line, top, bottom), heights in zip(RIDGES, skylines):
                h = heights[x]
                if y >= h:
                    colour = mix(top, bottom, (y - h) / 160.0)
                elif y >= h - 1.0:  # soft edge against the sky
                    colour = mix(colour, top, y - (h - 1.0))
            r, g, b = (int(round(c)) for c in colour)
            row += bytes((b, g, r))
        rows.append(bytes(row))
    pixels = b"".join(rows)  # 3060 bytes a row: already a multiple of four
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def icon_image(size):
    """A dusk disc with a dark ridge and a low sun, as 32-bit BGRA with its AND mask."""
    c = (size - 1) / 2.0
    radius = size / 2.0
    pixels = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            alpha = min(max(radius - d, 0.0), 1.0)
            colour = sky(int(HEIGHT * 0.6 * y / size))
            if math.hypot(x - size * 0.66, y - size * 0.56) < size * 0.16:
                colour = (255, 214, 140)
            if y > size * 0.62 - size * 0.22 * math.exp(-((x - size * 0.35) / (size * 0.22)) ** 2):
                colour = (18, 14, 34)
            r, g, b = (int(round(v)) for v in colour)
            pixels += bytes((b, g, r, int(round(255 * alpha))))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return info + bytes(pixels) + mask


def icon():
    images = [icon_image(s) for s in (48, 32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((48, 32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(background())
    with open(sys.argv[2], "wb") as f:
        f.write(icon())


if __name__ == "__main__":
    main()
