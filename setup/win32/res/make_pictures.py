#!/usr/bin/env python3
"""Draws the setup's banner (bitmap 135, 267x54) and program icon (128,
32x32 and 16x16), both 16 colours, and writes banner.bmp and setup.ico
beside this script. Run it again after changing a picture; the outputs are
committed so that the build needs no Python."""
import os
import struct

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, RED, BLUE, CYAN, WHITE = 0, 4, 7, 8, 9, 12, 14, 15

GLYPHS = {
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "A": ["00100", "01010", "10001", "10001", "11111", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
}


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def banner():
    w, h = 267, 54
    img = canvas(w, h, WHITE)
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
        glyph = GLYPHS[ch]
        gx = left + i * (5 * sx + gap)
        for row in range(7):
            for col in range(5):
                if glyph[row][col] != "1":
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
    img = canvas(size, size, -1)  # -1: transparent
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


def pack4(rows, w):
    """Bottom-up 4-bit rows, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, w, 2):
            hi = max(row[x], 0)
            lo = max(row[x + 1], 0) if x + 1 < w else 0
            line.append(hi << 4 | lo)
        while len(line) % 4:
            line.append(0)
        out += bytes(line)
    return out


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def write_bmp(path, img):
    h, w = len(img), len(img[0])
    bits = pack4(img, w)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(bits), 2835, 2835, 16, 16)
    offset = 14 + len(info) + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes() + bits)


def icon_image(img):
    size = len(img)
    xor = pack4(img, size)
    mask = b""
    for row in reversed(img):
        line = bytearray((size + 7) // 8)
        for x, c in enumerate(row):
            if c < 0:
                line[x // 8] |= 0x80 >> (x % 8)
        while len(line) % 4:
            line.append(0)
        mask += bytes(line)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return info + palette_bytes() + xor + mask


def write_ico(path, images):
    data = [icon_image(i) for i in images]
    out = struct.pack("<HHH", 0, 1, len(data))
    offset = 6 + 16 * len(data)
    for img, blob in zip(images, data):
        size = len(img)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(data))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "banner.bmp"), banner())
    write_ico(os.path.join(here, "setup.ico"), [icon(32), icon(16)])
