#!/usr/bin/env python3
"""What an installation left in a stopped Wine prefix, one sorted line each:
the package's files (content hash), folders, links (target, description) and
registry values (as the server stored them), for comparing two prefixes.
  state.py PREFIX
"""
import hashlib
import os
import re
import struct
import sys

KEYS = re.compile(r"(services\\\\ovtouch|eventlog\\\\system\\\\ovtouch|currentversion\\\\runonce|"
                  r"control panel\\\\mouse)(\\\\|$)", re.I)


def link(path):
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos, target = 0x4C, ""
    if flags & 1:
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 2:
        size, header = struct.unpack_from("<II", data, pos)
        base = struct.unpack_from("<I", data, pos + 16)[0]
        target = data[pos + base:data.index(b"\0", pos + base)].decode("gbk")
        pos += size
    strings = []
    for bit in (4, 8, 0x10, 0x20, 0x40):  # description, relative path, folder, arguments, icon
        if flags & bit:
            n = struct.unpack_from("<H", data, pos)[0]
            wide = flags & 0x80
            raw = data[pos + 2:pos + 2 + n * (2 if wide else 1)]
            strings.append((bit, raw.decode("utf-16-le" if wide else "gbk")))
            pos += 2 + len(raw)
    desc = dict(strings).get(4, "")
    return "target=%s desc=%s" % (target, desc)


def main(prefix):
    c = os.path.join(prefix, "drive_c")
    lines = []
    for top in ("windows/system32", "windows/OVTouch", "users", "ProgramData"):
        for root, dirs, files in os.walk(os.path.join(c, top)):
            rel = os.path.relpath(root, c)
            if top == "windows/system32" and rel not in ("windows/system32", "windows/system32/drivers"):
                dirs[:] = []
            for f in files:
                p = os.path.join(root, f)
                if f.lower().endswith(".lnk") and "ovtouch" in rel.lower():
                    who = "common" if rel.startswith("ProgramData") else "user"
                    lines.append("link %s %s %s" % (who, f, link(p)))
                elif f.lower() in ("ovtcalib.exe", "ovtouch.cpl", "ovtouch.sys", "uninst.exe", "altclick.exe") \
                        or rel.startswith("windows/OVTouch"):
                    lines.append("file %s/%s %s" % (rel, f, hashlib.sha1(open(p, "rb").read()).hexdigest()[:12]))
            if os.path.basename(root) == "OVTouch":
                lines.append("folder %s" % ("Programs/OVTouch" if top in ("users", "ProgramData") else rel))
    for hive in ("system.reg", "user.reg"):
        key = None
        for raw in open(os.path.join(prefix, hive), encoding="utf-8", errors="replace"):
            raw = raw.rstrip("\n")
            if raw.startswith("["):
                name = raw[1:raw.index("]")]
                key = name if KEYS.search(name) and "wow6432node" not in name.lower() else None
                key = key and re.sub(r"(?i)controlset001", "CurrentControlSet", key)
            elif key and raw and not raw.startswith("#"):
                lines.append("reg %s %s" % (key, raw))
    print("\n".join(sorted(lines)))


if __name__ == "__main__":
    main(sys.argv[1])
