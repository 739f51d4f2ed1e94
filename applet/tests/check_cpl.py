#!/usr/bin/python3
"""Checks a built ovtouch.cpl: the one export, imports from Windows 2000
system DLLs only, the resources in language 2052 and the size limit.
usage: check_cpl.py PATH win32|win64   (exit 77 when PATH is missing)"""
import os
import struct
import sys

import pefile

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
           "shell32.dll", "ole32.dll", "msvcrt.dll"}
DIALOGS = {4004: "OlvaTouch控制面板设置程序", 107: "屏幕校准", 4001: "声音设置", 102: "鼠标模式",
           106: " 端口选择 ", 4006: " 版本说明"}
VERSION = {"FileDescription": "ovtouch DLL", "InternalName": "ovtouch", "OriginalFilename": "ovtouch.DLL",
           "ProductName": "ovtouch Dynamic Link Library"}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def resources(pe):
    """{(type, id): (lang, bytes)}"""
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                out[(t.id, n.id)] = (lang.id, pe.get_data(d.OffsetToData, d.Size))
    return out


def dialog_caption(data):
    style, = struct.unpack_from("<I", data, 0)
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        off = 26
    else:
        off = 18
    texts = []
    for _ in range(3):  # menu, class, caption
        if struct.unpack_from("<H", data, off)[0] == 0xFFFF:
            texts.append(None)
            off += 4
            continue
        end = off
        while struct.unpack_from("<H", data, end)[0]:
            end += 2
        texts.append(data[off:end].decode("utf-16-le"))
        off = end + 2
    return texts[2]


def main():
    path, preset = sys.argv[1], sys.argv[2]
    if not os.path.exists(path):
        print("not built:", path)
        return 77
    size = os.path.getsize(path)
    print(f"{path}: {size} bytes")
    check(size < 65536, f"size {size} is not under 64 KiB")
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Characteristics & 0x2000, "not a DLL")
    machine = {"win32": 0x14C, "win64": 0x8664}[preset]
    check(pe.FILE_HEADER.Machine == machine, f"machine {pe.FILE_HEADER.Machine:#x}")
    exports = [e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols]
    check(exports == ["CPlApplet"], f"exports {exports}")
    for imp in pe.DIRECTORY_ENTRY_IMPORT:
        name = imp.dll.decode().lower()
        check(name in ALLOWED, f"imports from {name}")
        if name == "comctl32.dll":
            funcs = {i.name.decode() for i in imp.imports if i.name}
            check(funcs <= {"InitCommonControls", "InitCommonControlsEx", "PropertySheetA"},
                  f"comctl32 imports {sorted(funcs)}")

    res = resources(pe)
    for ident, caption in DIALOGS.items():
        lang, data = res.get((5, ident), (None, None))
        check(lang == 2052, f"dialog {ident} language {lang}")
        if data:
            check(dialog_caption(data) == caption, f"dialog {ident} caption {dialog_caption(data)!r}")
    lang, bmp = res.get((2, 4007), (None, b""))
    check(lang == 2052, "bitmap 4007 missing")
    if bmp:
        _, w, h, _, bits = struct.unpack_from("<IiiHH", bmp, 0)
        check((w, abs(h), bits) == (267, 54, 24), f"bitmap 4007 is {w}x{h}x{bits}")
    check((14, 4001) in res, "icon group 4001 missing")

    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x10000, 1), "file version is not 1.0.0.1")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x10000, 1), "product version is not 1.0.0.1")
    strings, langs = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                langs.append(table.LangID.decode())
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    check(langs == ["080404b0"], f"version string tables {langs}")
    for k, v in VERSION.items():
        check(strings.get(k) == v, f"version {k} = {strings.get(k)!r}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
