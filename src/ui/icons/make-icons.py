#!/usr/bin/env python3
"""Draws the application icon (a relay on a circuit board with three status LEDs) and writes
it as vornak-<size>.png for every size the window uses. Standard library only.

Run from anywhere: python3 src/ui/icons/make-icons.py
"""
import math
import os
import struct
import zlib

SIZES = (16, 32, 48, 64, 128, 256)
SAMPLES = 4  # per axis, for anti-aliased edges


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return (x0, y0, x1, y1), inside


def circle(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(ax, ay, bx, by, width):
    half = width / 2

    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    box = (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half)
    return box, inside


def frame(x0, y0, x1, y1, width):
    def inside(x, y):
        outer = x0 <= x <= x1 and y0 <= y <= y1
        inner = x0 + width < x < x1 - width and y0 + width < y < y1 - width
        return outer and not inner
    return (x0, y0, x1, y1), inside


def hexcolor(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


# Painted in order, later shapes over earlier ones; coordinates are fractions of the size.
BOARD, EDGE, COPPER, HOLE = (hexcolor(c) for c in ("#1e6b40", "#14502f", "#d9a521", "#0d3520"))
RELAY, RELAY_TOP, SYMBOL = (hexcolor(c) for c in ("#2456a8", "#3a78d6", "#ffffff"))
LEDS = [hexcolor(c) for c in ("#e53935", "#7ed321", "#ffb300")]

SHAPES = [
    (rounded_rect(0.03, 0.03, 0.97, 0.97, 0.15), EDGE),
    (rounded_rect(0.07, 0.07, 0.93, 0.93, 0.12), BOARD),
    # traces from the relay pins to the LEDs
    (segment(0.32, 0.60, 0.28, 0.79, 0.045), COPPER),
    (segment(0.50, 0.60, 0.50, 0.79, 0.045), COPPER),
    (segment(0.68, 0.60, 0.72, 0.79, 0.045), COPPER),
    # mounting holes
    (circle(0.17, 0.17, 0.05), COPPER),
    (circle(0.83, 0.17, 0.05), COPPER),
    (circle(0.17, 0.17, 0.022), HOLE),
    (circle(0.83, 0.17, 0.022), HOLE),
    # the relay with its coil symbol: a box crossed by a diagonal
    (rounded_rect(0.24, 0.14, 0.76, 0.62, 0.06), RELAY),
    (rounded_rect(0.24, 0.14, 0.76, 0.24, 0.06), RELAY_TOP),
    (frame(0.35, 0.31, 0.65, 0.53, 0.045), SYMBOL),
    (segment(0.37, 0.51, 0.63, 0.33, 0.045), SYMBOL),
    # status LEDs
    (circle(0.28, 0.81, 0.08), LEDS[0]),
    (circle(0.50, 0.81, 0.08), LEDS[1]),
    (circle(0.72, 0.81, 0.08), LEDS[2]),
]


def render(size):
    # premultiplied RGBA per pixel, composited shape by shape
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    step = 1.0 / SAMPLES
    for (box, inside), color in SHAPES:
        px0 = max(0, int(math.floor(box[0] * size)))
        py0 = max(0, int(math.floor(box[1] * size)))
        px1 = min(size, int(math.ceil(box[2] * size)) + 1)
        py1 = min(size, int(math.ceil(box[3] * size)) + 1)
        for py in range(py0, py1):
            for px in range(px0, px1):
                hits = 0
                for sy in range(SAMPLES):
                    y = (py + (sy + 0.5) * step) / size
                    for sx in range(SAMPLES):
                        if inside((px + (sx + 0.5) * step) / size, y):
                            hits += 1
                if hits == 0:
                    continue
                a = hits / (SAMPLES * SAMPLES)
                p = pixels[py * size + px]
                for i in range(3):
                    p[i] = color[i] / 255.0 * a + p[i] * (1 - a)
                p[3] = a + p[3] * (1 - a)
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type None
        for px in range(size):
            r, g, b, a = pixels[py * size + px]
            if a > 0:
                r, g, b = r / a, g / a, b / a
            row += bytes(int(round(v * 255)) for v in (r, g, b, a))
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, size, raw):
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in SIZES:
        path = os.path.join(here, "vornak-%d.png" % size)
        write_png(path, size, render(size))
        print(path)


if __name__ == "__main__":
    main()
