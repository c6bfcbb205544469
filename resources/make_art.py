#!/usr/bin/env python3
"""Draws the launcher's application icon.

Usage: make_art.py ICON.ico

The art is ours and made by code so that the build needs no image from elsewhere: a
dusk disc with a dark ridge and a low sun, the main window's background in small (the
window draws that one itself, at its own size: src/launcher/background_art.cpp).
"""
import math
import struct
import sys

HEIGHT = 761  # the background's height at 100%, which its sky's stops divide


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(lerp(x, y, t) for x, y in zip(c1, c2))


SKY_STOPS = [  # (height fraction, colour), as the background's sky
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
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(icon())


if __name__ == "__main__":
    main()
