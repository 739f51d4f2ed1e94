#!/usr/bin/env python3
"""The calibration program's icon, ovtcalib.ico: a blue screen with a touch
spark and an arrow pointer, 32x32 in the 16 standard colours.
    python3 tools/pictures/calib_pictures.py [FOLDER]"""
import ovt_pictures as pic
from ovt_pictures import BLACK, BLUE, CYAN, GREY, NAVY, SILVER, WHITE, YELLOW

SIZE = 32

ARROW = [
    "X",
    "XX",
    "XWX",
    "XWWX",
    "XWWWX",
    "XWWWWX",
    "XWWWWWX",
    "XWWWWWWX",
    "XWWWWWWWX",
    "XWWWWWXXXX",
    "XWWXWWX",
    "XWX XWWX",
    "XX  XWWX",
    "X    XWWX",
    "     XWWX",
    "      XX",
]


def draw():
    img = pic.canvas(SIZE, SIZE, None)  # None: transparent

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = c

    # Monitor: bezel, blue screen with a lighter top band, stand and foot.
    rect(1, 2, 30, 23, GREY)
    rect(2, 3, 29, 22, SILVER)
    rect(4, 5, 27, 20, NAVY)
    rect(4, 5, 27, 11, BLUE)
    rect(13, 24, 18, 25, GREY)
    rect(8, 26, 23, 27, GREY)
    rect(9, 26, 22, 26, SILVER)
    # Touch spark around (11, 10): eight rays and a white core.
    cx, cy = 11, 10
    for d in range(1, 5):
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            img[cy + dy * d][cx + dx * d] = YELLOW if d < 4 else CYAN
    for d in range(1, 3):
        for dx, dy in ((1, 1), (-1, 1), (1, -1), (-1, -1)):
            img[cy + dy * d][cx + dx * d] = YELLOW
    img[cy][cx] = WHITE
    # Arrow pointer, tip just below-right of the spark.
    ox, oy = 14, 13
    for r, row in enumerate(ARROW):
        for c, ch in enumerate(row):
            if ch == "X":
                img[oy + r][ox + c] = BLACK
            elif ch == "W":
                img[oy + r][ox + c] = WHITE
    return img


if __name__ == "__main__":
    pic.write(pic.out_dir("calib"), "ovtcalib.ico", pic.ico4([draw()], size_image=False))
