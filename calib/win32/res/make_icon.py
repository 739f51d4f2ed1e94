#!/usr/bin/env python3
"""Draws ovtcalib's icon: a blue screen with a touch spark and an arrow
pointer, 32x32 in the 16 standard colours. Writes a .ico (one 4-bit image
with its transparency mask).

    python3 calib/win32/res/make_icon.py calib/win32/res/ovtcalib.ico
"""
import struct
import sys

# The 16-colour VGA palette, as the platform's 4-bit icons use it.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, YELLOW, BLUE, CYAN, WHITE = 0, 4, 7, 8, 11, 12, 14, 15
CLEAR = None
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
    img = [[CLEAR] * SIZE for _ in range(SIZE)]

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


def encode(img):
    # BITMAPINFOHEADER with double height (colour + mask), bottom-up rows.
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = img[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)  # 32 pixels: already a 4-byte row
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "ovtcalib.ico"
    with open(out, "wb") as f:
        f.write(encode(draw()))


if __name__ == "__main__":
    main()
