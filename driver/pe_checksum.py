#!/usr/bin/env python3
"""Writes the PE image checksum that the kernel loader checks for drivers."""
import struct
import sys


def pe_checksum(data: bytes, field: int) -> int:
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for off in range(0, len(padded), 2):
        if field <= off < field + 4:
            continue
        total += padded[off] | (padded[off + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(path: str) -> int:
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if data[:2] != b"MZ":
        print(f"{path}: not a PE image", file=sys.stderr)
        return 1
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        print(f"{path}: no PE header", file=sys.stderr)
        return 1
    field = pe + 24 + 64  # OptionalHeader.CheckSum, same place for PE32 and PE32+
    struct.pack_into("<I", data, field, 0)
    struct.pack_into("<I", data, field, pe_checksum(bytes(data), field))
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
