#!/usr/bin/env python3
"""The applet's pictures: logo.bmp (bitmap 4007, 267x54, 24-bit) and
ovtouch.ico (icon 4001, 32x32 and 16x16, 16 colours).
    python3 tools/pictures/applet_pictures.py [FOLDER]"""
import ovt_pictures as pic

WHITE = (255, 255, 255)
BLUE = (24, 64, 192)
PALE = (224, 236, 255)
RED = (208, 24, 24)
# The icon uses five colours; the rest of its palette stays black.
ICON_PALETTE = [(0, 0, 0), WHITE, BLUE, PALE, RED] + [(0, 0, 0)] * 11


def logo():
    w, h = 267, 54
    img = pic.canvas(w, h, WHITE)
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
        for gy, row in enumerate(pic.GLYPHS_FLAT_A[ch]):
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
    img = pic.canvas(size, size, WHITE)
    s = size / 32.0
    # A screen: blue bezel around a pale face, and a red touch mark.
    for y in range(size):
        for x in range(size):
            if 2 * s <= x < 30 * s and 4 * s <= y < 26 * s:
                inner = 4 * s <= x < 28 * s and 6 * s <= y < 24 * s
                img[y][x] = PALE if inner else BLUE
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
    return [[ICON_PALETTE.index(c) for c in row] for row in img]


if __name__ == "__main__":
    out = pic.out_dir("applet")
    pic.write(out, "logo.bmp", pic.bmp24(logo()))
    pic.write(out, "ovtouch.ico", pic.ico4([icon(32), icon(16)], ICON_PALETTE, size_image=False))
