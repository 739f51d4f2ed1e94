"""What the package's pictures share: the standard 16-colour palette, the
5x7 capitals of the maker's name, and the writers of the bitmap and icon
files. One script beside this one draws each program's pictures into its
win32/res/ folder (or the folder given); the outputs are committed, so the
build needs no Python: run a script again only to change its pictures.

A picture is a list of rows, top row first: (r, g, b) for a 24-bit bitmap,
palette indices for the 4-bit ones."""
import os
import struct
import sys

# The 16-colour VGA palette, as (r, g, b), as the platform's 4-bit pictures use it.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, RED, YELLOW, BLUE, MAGENTA, CYAN, WHITE = 0, 4, 7, 8, 9, 11, 12, 13, 14, 15

# 5x7 capitals, one string per row, '#' set.
GLYPHS = {
    'O': [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    'L': ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    'V': ["#   #", "#   #", "#   #", "#   #", " # # ", " # # ", "  #  "],
    'A': ["  #  ", " # # ", "#   #", "#   #", "#####", "#   #", "#   #"],
    'T': ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    'U': ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    'C': [" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"],
    'H': ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
}
# The applet's logo has an A with a flat top.
GLYPHS_FLAT_A = dict(GLYPHS, A=[" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"])


def canvas(w, h, fill):
    return [[fill] * w for _ in range(h)]


def out_dir(program):
    """The folder named on the command line, else the program's resources."""
    if len(sys.argv) > 1:
        return sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "..", "..", program, "win32", "res")


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def _info(w, h, bits, image_size, ppm=0, colours=16, important=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, image_size, ppm, ppm, colours, important)


def _file(info, palette, pixels):
    offset = 14 + len(info) + len(palette)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def _palette(colours):
    return b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)


def _rows24(img):
    """Bottom-up BGR rows padded to 4 bytes."""
    pad = b"\0" * ((4 - (len(img[0]) * 3) % 4) % 4)
    return b"".join(b"".join(bytes((b, g, r)) for (r, g, b) in row) + pad for row in reversed(img))


def _rows4(grid):
    """Bottom-up rows of two pixels a byte, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(grid):
        line = bytearray()
        for x in range(0, len(row), 2):
            line.append(row[x] << 4 | (row[x + 1] if x + 1 < len(row) else 0))
        out += line + b"\0" * (-len(line) % 4)
    return bytes(out)


def bmp24(img, ppm=2835):
    pixels = _rows24(img)
    return _file(_info(len(img[0]), len(img), 24, len(pixels), ppm, 0), b"", pixels)


def bmp4(grid, palette=VGA, ppm=0, important=0):
    pixels = _rows4(grid)
    return _file(_info(len(grid[0]), len(grid), 4, len(pixels), ppm, 16, important), _palette(palette), pixels)


def ico4(images, palette=VGA, transparent=None, size_image=True):
    """4-bit icons; pixels equal to `transparent` are masked out (and drawn
    in colour 0). `size_image` fills in the image size, which may be 0."""
    blobs = []
    for grid in images:
        w, h = len(grid[0]), len(grid)
        xor = _rows4([[0 if c == transparent else c for c in row] for row in grid])
        mask = bytearray()
        for row in reversed(grid):
            bits = bytearray((w + 31) // 32 * 4)
            for x, c in enumerate(row):
                if c == transparent:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = _info(w, 2 * h, 4, len(xor) + len(mask) if size_image else 0)
        blobs.append(info + _palette(palette) + xor + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for grid, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", len(grid[0]) % 256, len(grid) % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)
