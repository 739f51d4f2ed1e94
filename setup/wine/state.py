#!/usr/bin/env python3
"""state.py PREFIX EXPORT.reg...: what an installation left in a Wine prefix,
one sorted line each: the package's files (content hash), folders, links
(target: Wine's setupapi writes no description) and the exported values."""
import hashlib, os, re, struct, sys  # noqa: E401

NAMES = ("ovtcalib.exe", "ovtouch.cpl", "ovtouch.sys", "uninst.exe", "altclick.exe")


def link(data):  # the target, from LinkInfo's local base path
    flags, pos = struct.unpack_from("<I", data, 0x14)[0], 0x4C
    pos += 2 + struct.unpack_from("<H", data, pos)[0] if flags & 1 else 0
    base = pos + struct.unpack_from("<I", data, pos + 16)[0] if flags & 2 else 0
    return "target=" + (data[base:data.index(b"\0", base)].decode("gbk") if base else "")


lines, c = [], os.path.join(sys.argv[1], "drive_c")
for root, dirs, files in os.walk(c):
    rel = os.path.relpath(root, c)
    for f in files:
        data = open(os.path.join(root, f), "rb").read() if "OVTouch" in rel or f.lower() in NAMES else None
        if data is not None and f.endswith(".lnk"):
            lines.append("link %s %s %s" % ("common" if rel.startswith("ProgramData") else "user", f, link(data)))
        elif data is not None:
            lines.append("file %s/%s %s" % (rel, f, hashlib.sha1(data).hexdigest()[:12]))
    if os.path.basename(root) == "OVTouch":
        lines.append("folder " + ("Programs/OVTouch" if "Programs" in rel else rel))
for export in sys.argv[2:]:
    raw, key = open(export, "rb").read(), None
    for line in re.sub(r"\\\r?\n\s*", "", raw.decode("utf-16" if raw[:2] == b"\xff\xfe" else "utf-8")).splitlines():
        key = line.strip("[]") if line.startswith("[") else key
        if key and "=" in line:
            lines.append("reg %s %s" % (key, line))
print("\n".join(sorted(lines)))
