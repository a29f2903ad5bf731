#!/usr/bin/env python3
"""Draws the program icon: a speech bubble with sound bars and a red "remove" badge.

Writes SAPI5Quillfen.ico beside this script with two images, 32x32 and 16x16, 16 colours each
(4 bits a pixel, the standard 16-colour palette, a 1-bit transparency mask). Run it again after
changing the drawing; the build uses the .ico that is checked in.
"""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
MAROON, NAVY, SILVER, RED, BLUE, WHITE = 1, 4, 7, 9, 12, 15
TRANSPARENT = None


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (x - q[0]) * (p[1] - q[1]) - (p[0] - q[0]) * (y - q[1])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def in_rect(x, y, left, top, right, bottom):
    return left <= x < right and top <= y < bottom


def draw(size):
    """Samples the drawing, laid out on a 32-unit square, at the centre of each pixel."""
    unit = 32.0 / size

    def mask(shape):
        return [[shape((col + 0.5) * unit, (row + 0.5) * unit) for col in range(size)] for row in range(size)]

    bubble = mask(lambda x, y: in_rounded_rect(x, y, 1, 2, 28, 21, 5)
                  or in_triangle(x, y, (6, 18), (14, 18), (5, 28)))
    badge = mask(lambda x, y: (x - 24.5) ** 2 + (y - 24.5) ** 2 <= 7.2 ** 2)
    bars = mask(lambda x, y: in_rect(x, y, 6, 9, 8, 14) or in_rect(x, y, 10, 6, 12, 17)
                or in_rect(x, y, 14, 4, 16, 19) or in_rect(x, y, 18, 7, 20, 16) or in_rect(x, y, 22, 10, 24, 13))
    minus = mask(lambda x, y: in_rect(x, y, 20, 23, 29, 26))

    def edge(m, row, col):
        return any(not (0 <= r < size and 0 <= c < size and m[r][c])
                   for r, c in ((row - 1, col), (row + 1, col), (row, col - 1), (row, col + 1)))

    pixels = [[TRANSPARENT] * size for _ in range(size)]
    for row in range(size):
        for col in range(size):
            if badge[row][col]:
                pixels[row][col] = MAROON if edge(badge, row, col) else WHITE if minus[row][col] else RED
            elif bubble[row][col]:
                pixels[row][col] = NAVY if edge(bubble, row, col) else BLUE if bars[row][col] else WHITE
    return pixels


def icon_image(pixels):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows and 1-bit mask rows, bottom-up."""
    size = len(pixels)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, and_mask = bytearray(), bytearray()
    for row in reversed(pixels):
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for col, colour in enumerate(row):
            index = colour if colour is not None else 0
            line[col // 2] |= index << (4 if col % 2 == 0 else 0)
            if colour is None:
                bits[col // 8] |= 0x80 >> (col % 8)
        xor += line
        and_mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(and_mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(and_mask)


def main():
    images = [(size, icon_image(draw(size))) for size in (32, 16)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset + len(data))
        data += image
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "SAPI5Quillfen.ico")
    with open(path, "wb") as out:
        out.write(directory + entries + data)
    print(f"wrote {path}")


if __name__ == "__main__":
    main()
