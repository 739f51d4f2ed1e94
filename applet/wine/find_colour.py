#!/usr/bin/python3
"""Prints the centre "x y" of the pixels of one exact colour in a binary
PPM (P6) screenshot, within an optional box; exits 1 when there are none.
usage: find_colour.py FILE R G B [X0 Y0 X1 Y1]"""
import sys


def main():
    data = open(sys.argv[1], "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    w, h = int(fields[1]), int(fields[2])
    want = bytes(int(v) for v in sys.argv[2:5])
    box = [int(v) for v in sys.argv[5:9]] if len(sys.argv) >= 9 else [0, 0, w, h]
    xs = ys = n = 0
    for y in range(max(0, box[1]), min(h, box[3])):
        row = pos + y * w * 3
        x = max(0, box[0])
        while True:
            i = data.find(want, row + x * 3, row + min(w, box[2]) * 3)
            if i < 0:
                break
            if (i - row) % 3 == 0:
                xs += (i - row) // 3
                ys += y
                n += 1
                x = (i - row) // 3 + 1
            else:
                x = (i - row) // 3 + 1
    if not n:
        return 1
    print(xs // n, ys // n)
    return 0


if __name__ == "__main__":
    sys.exit(main())
