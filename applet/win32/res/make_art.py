#!/usr/bin/env python3
"""Draws the applet's pictures: logo.bmp (bitmap 4007, 267x54, 24-bit) and
ovtouch.ico (icon 4001, 32x32 and 16x16, 16 colours). Both outputs are committed;
run this again only to change them:  python3 make_art.py [outdir]"""
import os
import struct
import sys

# 5x7 capitals, one string per row, '#' set.
GLYPHS = {
    'O': [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    'L': ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    'V': ["#   #", "#   #", "#   #", "#   #", " # # ", " # # ", "  #  "],
    'A': [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    'T': ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    'U': ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    'C': [" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"],
    'H': ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
}

WHITE = (255, 255, 255)
BLUE = (24, 64, 192)
RED = (208, 24, 24)


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def logo():
    w, h = 267, 54
    img = canvas(w, h, WHITE)
    # Dotted frame, two pixels in from the edge.
    for x in range(2, w - 2):
        if (x // 2) % 2 == 0:
            img[2][x] = RED
            img[h - 3][x] = RED
    for y in range(2, h - 2):
        if (y // 2) % 2 == 0:
            img[y][2] = RED
            img[y][w - 3] = RED
    word = "OLVATOUCH"
    scale = 4                      # 20x28 per letter
    advance = 6 * scale            # one blank column between letters
    slant = 0.25                   # italic: columns shift right going up
    text_w = len(word) * advance - scale
    x0 = (w - text_w) // 2 - 4
    y0 = (h - 7 * scale) // 2
    for i, ch in enumerate(word):
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, cell in enumerate(row):
                if cell != '#':
                    continue
                for dy in range(scale):
                    y = y0 + gy * scale + dy
                    shift = int((y0 + 7 * scale - y) * slant)
                    for dx in range(scale):
                        x = x0 + i * advance + gx * scale + dx + shift
                        if 0 <= x < w and 0 <= y < h:
                            img[y][x] = BLUE
    return img


def icon(size):
    img = canvas(size, size, WHITE)
    s = size / 32.0
    # A screen: blue bezel around a pale face, and a red touch mark.
    for y in range(size):
        for x in range(size):
            if 2 * s <= x < 30 * s and 4 * s <= y < 26 * s:
                inner = 4 * s <= x < 28 * s and 6 * s <= y < 24 * s
                img[y][x] = (224, 236, 255) if inner else BLUE
            elif 13 * s <= x < 19 * s and 26 * s <= y < 30 * s:
                img[y][x] = BLUE
    cx, cy, r = 16 * s, 15 * s, 4.5 * s
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r:
                img[y][x] = RED
            elif d <= r + 2 * s and (x + y) % 2 == 0:
                img[y][x] = RED
    return img


def dib_rows(img):
    """Bottom-up BGR rows padded to 4 bytes."""
    out = bytearray()
    w = len(img[0])
    pad = (4 - (w * 3) % 4) % 4
    for row in reversed(img):
        for (r, g, b) in row:
            out += bytes((b, g, r))
        out += b"\0" * pad
    return bytes(out)


def bmp(img):
    w, h = len(img[0]), len(img)
    pixels = dib_rows(img)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def ico(images):
    """4-bit icons: the picture uses five colours, and the library stays small."""
    palette = [(0, 0, 0), WHITE, BLUE, (224, 236, 255), RED]
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette) + b"\0" * 4 * (16 - len(palette))
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for img in images:
        n = len(img)
        stride = ((n * 4 + 31) // 32) * 4
        mask_stride = ((n + 31) // 32) * 4
        rows = bytearray()
        for row in reversed(img):
            line = bytearray(stride)
            for x, colour in enumerate(row):
                line[x // 2] |= palette.index(colour) << (4 if x % 2 == 0 else 0)
            rows += line
        data = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
        data += pal + bytes(rows) + b"\0" * (mask_stride * n)   # all opaque
        entries.append(struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset))
        blobs.append(data)
        offset += len(data)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(out, "logo.bmp"), "wb") as f:
        f.write(bmp(logo()))
    with open(os.path.join(out, "ovtouch.ico"), "wb") as f:
        f.write(ico([icon(32), icon(16)]))


if __name__ == "__main__":
    main()
