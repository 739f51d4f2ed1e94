#!/usr/bin/env python3
"""What an installation left in a Wine prefix, one sorted line each: the
package's files (content hash), folders, links (target, description) and
the values of regedit exports, for comparing two prefixes.
  state.py PREFIX EXPORT.reg...
"""
import hashlib
import os
import re
import struct
import sys

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


def main(prefix, exports):
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
    for export in exports:
        raw = open(export, "rb").read()
        text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("utf-8", "replace")
        key = None
        for line in re.sub(r"\\\r?\n\s*", "", text).splitlines():
            if line.startswith("["):
                key = line.strip("[]")
            elif key and "=" in line:
                lines.append("reg %s %s" % (key, line))
    print("\n".join(sorted(lines)))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
