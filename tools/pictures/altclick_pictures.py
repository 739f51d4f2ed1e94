#!/usr/bin/env python3
"""The right-button tool's pictures, 16 colours: mouse_left.bmp (62x41,
left button shaded), mouse_right.bmp (57x41, right button shaded) and
altclick.ico (32x32).
    python3 tools/pictures/altclick_pictures.py [FOLDER]"""
import ovt_pictures as pic
from ovt_pictures import BLACK, GREY, MAGENTA, SILVER, WHITE


def mouse(width, height, shaded, body_w, body_h, left=None, bottom=1, background=SILVER):
    """A mouse seen from above, cable leaving at the top; `shaded` is
    'left', 'right' or None. `bottom` rows stay free below it."""
    grid = pic.canvas(width, height, background)
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


if __name__ == '__main__':
    out = pic.out_dir("altclick")
    # Both at the same place, centred in the client area of the 64 x 64
    # window (58 wide), clear of the bottom edge when the caption is tall.
    pic.write(out, 'mouse_left.bmp', pic.bmp4(mouse(62, 41, 'left', 26, 32, left=16, bottom=4)))
    pic.write(out, 'mouse_right.bmp', pic.bmp4(mouse(57, 41, 'right', 26, 32, left=16, bottom=4)))
    # Magenta marks the icon's transparent pixels; the picture never uses it.
    icon = mouse(32, 32, None, 18, 27, background=MAGENTA)
    pic.write(out, 'altclick.ico', pic.ico4([icon], transparent=MAGENTA))
