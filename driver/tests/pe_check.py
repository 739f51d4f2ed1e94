#!/usr/bin/env python3
"""Checks a built OVTouch.SYS: native driver image, kernel imports only,
valid checksum, small. Usage: pe_check.py IMAGE i386|amd64"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from pe_checksum import pe_checksum  # noqa: E402

ALLOWED = {"ntoskrnl.exe", "hal.dll"}


def rva_to_offset(sections, rva):
    for va, size, raw in sections:
        if va <= rva < va + size:
            return rva - va + raw
    raise ValueError(f"rva {rva:#x} outside sections")


def cstr(data, off):
    return data[off:data.index(b"\0", off)].decode("ascii")


def main(path, arch):
    if not os.path.exists(path):
        print(f"{path} not built")
        return 77
    data = open(path, "rb").read()
    errors = []
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    want_machine, want_magic = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}[arch]
    if machine != want_machine or magic != want_magic:
        errors.append(f"machine {machine:#x} magic {magic:#x}")
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    if subsystem != 1:
        errors.append(f"subsystem {subsystem}, not native")
    checksum = struct.unpack_from("<I", data, opt + 64)[0]
    if checksum == 0 or checksum != pe_checksum(data, opt + 64):
        errors.append(f"checksum {checksum:#x} invalid")
    dirs = opt + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
    reloc_size = struct.unpack_from("<I", data, dirs + 5 * 8 + 4)[0]
    if reloc_size == 0:
        errors.append("no relocations")
    sections = []
    sec = opt + opt_size
    for i in range(nsections):
        name = data[sec + 40 * i:sec + 40 * i + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
        sections.append((va, max(vsize, rawsize), raw))
        if name in (".ctors", ".init_array", ".tls"):
            errors.append(f"section {name}: global constructors or thread data")
    dlls = []
    off = rva_to_offset(sections, import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, off + 12)[0]
        if name_rva == 0:
            break
        dlls.append(cstr(data, rva_to_offset(sections, name_rva)))
        off += 20
    if not dlls or any(d.lower() not in ALLOWED for d in dlls):
        errors.append(f"imports from {dlls}")
    if len(data) >= 16 * 1024:
        errors.append(f"{len(data)} bytes, not below 16 KiB")
    print(f"{path}: {len(data)} bytes, imports {dlls}, checksum {checksum:#x}")
    for e in errors:
        print("FAIL", e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
