#!/usr/bin/env python3
"""Draws the tool's pictures as 16-colour resources:
mouse_left.bmp (62 x 41, left button shaded), mouse_right.bmp (57 x 41,
right button shaded) and altclick.ico (32 x 32). Run from anywhere; writes
next to this script."""
import os
import struct

# The standard 16-colour palette (RGB).
PALETTE = [
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
]
BLACK, SILVER, GREY, WHITE = 0, 7, 8, 15


def mouse(width, height, shaded, body_w, body_h, left=None, bottom=1, background=SILVER):
    """A mouse seen from above, cable leaving at the top; `shaded` is
    'left', 'right' or None. `bottom` rows stay free below it."""
    grid = [[background] * width for _ in range(height)]
    if left is None:
        left = (width - body_w) // 2
    top = height - body_h - bottom
    cx = left + (body_w - 1) / 2.0
    radius = body_w / 2.0

    def inside(x, y):
        if not (left <= x < left + body_w and top <= y < top + body_h):
            return False
        # Round front and back, straight sides between.
        front, back = top + radius - 0.5, top + body_h - radius + 0.5
        centre = front if y < front else back if y > back else None
        return centre is None or (x - cx) ** 2 + (y - centre) ** 2 <= radius ** 2

    split_y = top + int(body_h * 0.42)
    for y in range(height):
        for x in range(width):
            if not inside(x, y):
                continue
            edge = any(not inside(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge or y == split_y or (y < split_y and abs(x - cx) < 0.6):
                grid[y][x] = BLACK
            elif y < split_y and ((shaded == 'left' and x < cx) or (shaded == 'right' and x > cx)):
                grid[y][x] = GREY
            else:
                grid[y][x] = WHITE
    # The cable, wavy, from the front edge to the top border.
    x = int(round(cx))
    for y in range(0, top + 1):
        wiggle = (0, 1, 1, 0, -1, -1)[y % 6] if y < top - 1 else 0
        grid[y][x + wiggle] = BLACK
    return grid


def palette_bytes():
    return b''.join(struct.pack('<BBBB', c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in PALETTE)


def pixel_rows(grid):
    """4-bit rows, bottom-up, each padded to 32 bits."""
    out = b''
    for row in reversed(grid):
        data = bytearray()
        for i in range(0, len(row), 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < len(row) else 0
            data.append(hi << 4 | lo)
        while len(data) % 4:
            data.append(0)
        out += bytes(data)
    return out


def info_header(width, height, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def write_bmp(path, grid):
    width, height = len(grid[0]), len(grid)
    pixels = pixel_rows(grid)
    header_size = 14 + 40 + 64
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', header_size + len(pixels), 0, 0, header_size))
        f.write(info_header(width, height, len(pixels)))
        f.write(palette_bytes())
        f.write(pixels)


def write_ico(path, grid, transparent):
    width, height = len(grid[0]), len(grid)
    xor = pixel_rows([[0 if c == transparent else c for c in row] for row in grid])
    mask = b''
    for row in reversed(grid):
        bits = bytearray((width + 31) // 32 * 4)
        for x, c in enumerate(row):
            if c == transparent:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    dib = info_header(width, height * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1))
        f.write(struct.pack('<BBBBHHII', width, height, 16, 0, 1, 4, len(dib), 6 + 16))
        f.write(dib)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    # Both at the same place, centred in the client area of the 64 x 64
    # window (58 wide), clear of the bottom edge when the caption is tall.
    write_bmp(os.path.join(here, 'mouse_left.bmp'), mouse(62, 41, 'left', 26, 32, left=16, bottom=4))
    write_bmp(os.path.join(here, 'mouse_right.bmp'), mouse(57, 41, 'right', 26, 32, left=16, bottom=4))
    # Magenta marks the icon's transparent pixels; the picture never uses it.
    write_ico(os.path.join(here, 'altclick.ico'), mouse(32, 32, None, 18, 27, background=13), 13)


if __name__ == '__main__':
    main()
