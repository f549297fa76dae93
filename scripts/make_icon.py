#!/usr/bin/env python3
"""Draws the program icon (a blue tile with a white arrow into a tray) and writes it as a
Windows .ico file with 32x32 and 16x16 images in 32-bit colour. Standard library only.

    python3 scripts/make_icon.py src/resources/updater.ico
"""
import struct
import sys

SUPERSAMPLING = 4
TOP_COLOUR = (0x3B, 0x8E, 0xE8)
BOTTOM_COLOUR = (0x1A, 0x4F, 0xA8)
WHITE = (0xFF, 0xFF, 0xFF)

# Shapes in unit coordinates (0..1, y downwards).
ARROW = [(0.40, 0.16), (0.60, 0.16), (0.60, 0.44), (0.75, 0.44), (0.50, 0.70), (0.25, 0.44),
         (0.40, 0.44)]
TRAY = [(0.18, 0.62), (0.28, 0.62), (0.28, 0.74), (0.72, 0.74), (0.72, 0.62), (0.82, 0.62),
        (0.82, 0.84), (0.18, 0.84)]


def inside_polygon(x, y, polygon):
    inside = False
    count = len(polygon)
    for i in range(count):
        (x1, y1), (x2, y2) = polygon[i], polygon[(i + 1) % count]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            inside = not inside
    return inside


def inside_tile(x, y, radius=0.18, margin=0.03):
    low, high = margin + radius, 1 - margin - radius
    dx = max(low - x, 0, x - high)
    dy = max(low - y, 0, y - high)
    return dx * dx + dy * dy <= radius * radius


def sample(x, y):
    """Colour and coverage (0 or 1) of one point."""
    if not inside_tile(x, y):
        return (0, 0, 0), 0
    if inside_polygon(x, y, ARROW) or inside_polygon(x, y, TRAY):
        return WHITE, 1
    colour = tuple(round(t + (b - t) * y) for t, b in zip(TOP_COLOUR, BOTTOM_COLOUR))
    return colour, 1


def render(size):
    """Rows of (b, g, r, a) pixels, top row first, with averaged supersamples."""
    rows = []
    steps = SUPERSAMPLING
    for py in range(size):
        row = []
        for px in range(size):
            totals = [0, 0, 0]
            covered = 0
            for sy in range(steps):
                for sx in range(steps):
                    x = (px + (sx + 0.5) / steps) / size
                    y = (py + (sy + 0.5) / steps) / size
                    colour, coverage = sample(x, y)
                    if coverage:
                        covered += 1
                        totals = [t + c for t, c in zip(totals, colour)]
            if covered:
                r, g, b = (round(t / covered) for t in totals)
            else:
                r = g = b = 0
            row.append((b, g, r, round(255 * covered / (steps * steps))))
        rows.append(row)
    return rows


def bitmap(size):
    """One icon image: header, colour pixels bottom-up, then the transparency mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(channel for pixel in row for channel in pixel)
                      for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def icon(sizes):
    images = [bitmap(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(icon([32, 16]))


if __name__ == "__main__":
    main()
