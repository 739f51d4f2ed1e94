#!/usr/bin/env python3
"""The setup's pictures: banner.bmp (bitmap 135, 267x54) and setup.ico
(icon 128, 32x32 and 16x16), both 16 colours.
    python3 tools/pictures/setup_pictures.py [FOLDER]"""
import ovt_pictures as pic
from ovt_pictures import BLUE, CYAN, GREY, NAVY, RED, SILVER, WHITE


def banner():
    w, h = 267, 54
    img = pic.canvas(w, h, WHITE)
    # Grey streaks running in from the left, as if the letters were moving.
    for y, x0, x1 in [(14, 6, 60), (19, 14, 70), (24, 4, 52), (30, 10, 66), (35, 20, 58), (40, 8, 48)]:
        for x in range(x0, x1):
            if (x // 3) % 4 != 3:
                img[y][x] = SILVER if x < (x0 + x1) // 2 else GREY
    text = "OLVATOUCH"
    sx, sy, gap = 4, 5, 6
    left, top = 22, 9
    slant = 0.32
    for i, ch in enumerate(text):
        glyph = pic.GLYPHS[ch]
        gx = left + i * (5 * sx + gap)
        for row in range(7):
            for col in range(5):
                if glyph[row][col] != "#":
                    continue
                for dy in range(sy):
                    y = top + row * sy + dy
                    shift = int((top + 7 * sy - y) * slant)
                    for dx in range(sx):
                        x = gx + col * sx + dx + shift
                        if 0 <= x < w:
                            img[y][x] = BLUE
                        # A navy shadow one pixel down and right.
                        if 0 <= x + 1 < w and y + 1 < h and img[y + 1][x + 1] == WHITE:
                            img[y + 1][x + 1] = NAVY
    # Red dotted border.
    for x in range(w):
        for y in (1, h - 2):
            if x % 3 != 2:
                img[y][x] = RED
    for y in range(h):
        for x in (1, w - 2):
            if y % 3 != 2:
                img[y][x] = RED
    return img


def icon(size):
    img = pic.canvas(size, size, None)  # None: transparent
    s = size / 32.0

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                img[y][x] = colour

    box(2, 3, 30, 24, GREY)      # monitor
    box(4, 5, 28, 22, BLUE)      # screen
    box(13, 24, 19, 27, GREY)    # neck
    box(8, 27, 24, 29, GREY)     # foot
    # A touch spark in the middle of the screen.
    cx, cy = int(16 * s), int(13 * s)
    for d in range(-int(5 * s), int(5 * s) + 1):
        for x, y in ((cx + d, cy), (cx, cy + d), (cx + d, cy + d), (cx + d, cy - d)):
            if 0 <= x < size and 0 <= y < size:
                img[y][x] = WHITE if abs(d) > 1 else CYAN
    return img


if __name__ == "__main__":
    out = pic.out_dir("setup")
    pic.write(out, "banner.bmp", pic.bmp4(banner(), ppm=2835, important=16))
    pic.write(out, "setup.ico", pic.ico4([icon(32), icon(16)]))
