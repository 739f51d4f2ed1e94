#!/usr/bin/env python3
"""Checks a built ovtcalib.exe: GUI subsystem, small, imports only from
Windows 2000 system DLLs, and the 32x32 16-colour icon resource 100.

    pe_check.py ovtcalib.exe [more.exe...]
"""
import sys

import pefile

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
           "shell32.dll", "ole32.dll", "msvcrt.dll"}
RT_ICON, RT_GROUP_ICON = 3, 14


def check(path):
    problems = []
    pe = pefile.PE(path)
    size = len(pe.__data__)
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append("subsystem %d, not GUI" % pe.OPTIONAL_HEADER.Subsystem)
    if size >= 64 * 1024:
        problems.append("%d bytes, not under 64 KiB" % size)
    dlls = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    for dll in dlls:
        if dll not in ALLOWED:
            problems.append("imports from " + dll)
    groups = {}
    icons = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in kind.directory.entries:
            data_entry = entry.directory.entries[0].data.struct
            data = pe.get_data(data_entry.OffsetToData, data_entry.Size)
            if kind.id == RT_GROUP_ICON:
                groups[entry.id] = data
            elif kind.id == RT_ICON:
                icons[entry.id] = data
    if 100 not in groups:
        problems.append("no icon group 100 (has %s)" % sorted(groups))
    else:
        g = groups[100]
        count = int.from_bytes(g[4:6], "little")
        sizes = []
        for i in range(count):
            e = g[6 + 14 * i: 20 + 14 * i]
            width, height, colours = e[0], e[1], e[2]
            bits = int.from_bytes(e[6:8], "little")
            sizes.append((width, height, colours, bits))
        if (32, 32, 16, 4) not in sizes:
            problems.append("icon 100 lacks a 32x32 16-colour image: %s" % sizes)
    print("%s: %d bytes, imports %s, problems %d" % (path, size, " ".join(dlls), len(problems)))
    for p in problems:
        print("  FAIL " + p)
    return not problems


def main():
    ok = all([check(p) for p in sys.argv[1:]])
    sys.exit(0 if ok and len(sys.argv) > 1 else 1)


if __name__ == "__main__":
    main()
