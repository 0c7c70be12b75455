#!/usr/bin/env python3
"""Draws the effect's About logo: a film frame whose picture breaks into
visible macroblocks (what the effect shows), with the product name below.
Writes a 155 x 120 RGBA PNG (8 bits per channel, not interlaced) with a
transparent background, using only the standard library so it can be made
again anywhere:  scripts/make-logo.py effect/resources/Logo.png
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 155, 120

# 5 x 7 capitals for the name.
GLYPHS = {
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
}


def blend(dst, src):
    """Straight-alpha 'over' of src on dst (both RGBA tuples 0..255)."""
    sa = src[3] / 255.0
    da = dst[3] / 255.0
    oa = sa + da * (1 - sa)
    if oa == 0:
        return (0, 0, 0, 0)
    rgb = tuple(
        round((src[i] * sa + dst[i] * da * (1 - sa)) / oa) for i in range(3)
    )
    return rgb + (round(oa * 255),)


def main(path):
    pixels = [[(0, 0, 0, 0) for _ in range(WIDTH)] for _ in range(HEIGHT)]

    def put(x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            pixels[y][x] = blend(pixels[y][x], colour)

    # The frame: a dark rounded rectangle with sprocket holes.
    left, top, right, bottom = 10, 6, 145, 86
    radius = 7
    for y in range(top, bottom):
        for x in range(left, right):
            dx = max(left + radius - x, 0, x - (right - 1 - radius))
            dy = max(top + radius - y, 0, y - (bottom - 1 - radius))
            if dx * dx + dy * dy <= radius * radius:
                put(x, y, (28, 30, 36, 255))
    for x in range(left + 8, right - 8, 12):
        for y0 in (top + 3, bottom - 8):
            for y in range(y0, y0 + 5):
                for xx in range(x, x + 6):
                    put(xx, y, (200, 204, 210, 255))

    # The picture: a smooth sky-to-sunset gradient with a sun, quantised per
    # 8 x 8 block the way a starved encoder flattens it; the left third keeps
    # the smooth original so the blocks read as compression.
    pl, pt, pr, pb = left + 6, top + 11, right - 6, bottom - 11

    def scene(x, y):
        u = (x - pl) / (pr - pl)
        v = (y - pt) / (pb - pt)
        r = 40 + 200 * v + 15 * u
        g = 60 + 90 * v * (1 - v) * 2 + 20 * u
        b = 170 - 120 * v
        d = math.hypot(x - (pl + 0.62 * (pr - pl)), y - (pt + 0.55 * (pb - pt)))
        if d < 13:
            glow = 1 - d / 13
            r, g, b = r + 120 * glow, g + 110 * glow, b + 40 * glow
        return tuple(max(0, min(255, int(c))) for c in (r, g, b))

    split = pl + (pr - pl) // 3
    for y in range(pt, pb):
        for x in range(pl, pr):
            if x < split:
                put(x, y, scene(x, y) + (255,))
            else:
                bx = pl + ((x - pl) // 8) * 8
                by = pt + ((y - pt) // 8) * 8
                c = scene(min(bx + 4, pr - 1), min(by + 4, pb - 1))
                c = tuple((ch // 24) * 24 for ch in c)
                edge = (x - pl) % 8 == 0 or (y - pt) % 8 == 0
                if edge:
                    c = tuple(max(0, ch - 18) for ch in c)
                put(x, y, c + (255,))
    for y in range(pt, pb):
        put(split, y, (255, 255, 255, 140))

    # The name, 2 pixels per font pixel, centred under the frame.
    name = "RUZIRAZU"
    scale = 2
    advance = 6 * scale
    text_width = len(name) * advance - scale
    x0 = (WIDTH - text_width) // 2
    y0 = 94
    for i, ch in enumerate(name):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    for sy in range(scale):
                        for sx in range(scale):
                            x = x0 + i * advance + col * scale + sx
                            y = y0 + row * scale + sy
                            put(x + 1, y + 1, (0, 0, 0, 120))
                            put(x, y, (236, 238, 242, 255))

    raw = b"".join(
        b"\x00" + b"".join(struct.pack("4B", *p) for p in row) for row in pixels
    )

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0))
    png += chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "effect/resources/Logo.png")
