#!/usr/bin/python3
"""Checks the i686 package as Windows 2000 would load it, or the x86-64
build of the same sources as 64-bit Wine loads it.

    check_pe.py [--dist DIR] [--arch i686|x86-64] [--allow FILE] [--only NAME]...
                [--require-all] [--list-imports | --lint]

One line per check: PASS, FAIL or SKIP. A deliverable missing from the
package is skipped, or with --require-all fails; a package folder that is
not there at all (a host-only tree) is skipped either way. Exit status: 1 if
anything failed, 77 if everything asked for was skipped (CTest's skip
code), else 0. The x86-64 build is checked for everything but what only
Windows 2000 asks (PE32, subsystem version, the allow-list).
--list-imports prints every imported function as an allow-list line.
"""
import argparse
import os
import re
import struct
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))

WIN2000_SUBSYSTEM = (5, 0)
LANG_ZH_CN = 2052
SUBSYSTEM_NATIVE, SUBSYSTEM_GUI, SUBSYSTEM_CONSOLE = 1, 2, 3
RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION = 2, 3, 5, 6, 14, 16
RT_MESSAGETABLE = 11
PROGRAM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
                "shell32.dll", "ole32.dll", "msvcrt.dll"}
DRIVER_DLLS = {"ntoskrnl.exe", "hal.dll"}
KIB = 1024
# (optional-header magic, machine) per build.
ARCHES = {"i686": (0x10B, 0x14C, "PE32 for i386"), "x86-64": (0x20B, 0x8664, "PE32+ for x86-64")}
# A kernel image or a library without C runtime startup has no one to run
# global constructors or set up thread data.
STARTUP_SECTIONS = (b".ctors", b".init_array", b".tls")


def ctl(cid, text=None, pos=None):
    return {"id": cid, "text": text, "pos": pos}


# Dialogs: id -> caption, size (dialog units), controls with an id (text
# and position where stated) and the texts of the id-less labels.
APPLET_DIALOGS = {
    4004: {"caption": "OlvaTouch控制面板设置程序", "size": (215, 164),
           "controls": [ctl(1, " 确定 ", (26, 143, 50, 14)), ctl(2, " 取消 ", (142, 143, 50, 14)),
                        ctl(4005, None, (7, 7, 165, 133))],
           "labels": []},
    102: {"caption": "鼠标模式", "size": (240, 160),
          "controls": [ctl(4008, None, (105, 32, 72, 73)), ctl(4003, None, (105, 68, 77, 15)),
                       ctl(4016, None, (185, 70, 25, 8)), ctl(4004, None, (105, 105, 78, 15)),
                       ctl(4017, None, (185, 108, 25, 8))],
          "labels": [" 鼠标模式为 ", "双击区域", "双击速度"]},
    4001: {"caption": "声音设置", "size": (239, 159),
           "controls": [ctl(4006, None, (71, 23, 52, 69)), ctl(4003, None, (61, 54, 128, 15)),
                        ctl(4011, None, (194, 57, 25, 8)), ctl(4004, None, (61, 78, 129, 15)),
                        ctl(4012, None, (194, 82, 25, 8)), ctl(4014, "声音测试区", (26, 102, 185, 50))],
           "labels": [" 发出声音 ", " 声音频率(Hz) ", " 声音时长(ms) "]},
    106: {"caption": " 端口选择 ", "size": (240, 160),
          "controls": [ctl(4009, " 设备安装在 ", (50, 38, 45, 8)), ctl(4010, None, (99, 35, 48, 67))],
          "labels": []},
    107: {"caption": "屏幕校准", "size": (239, 159),
          "controls": [ctl(4002, "校准", (87, 112, 58, 24))],
          "labels": [" 在下列情况下，应当进行屏幕校准 ", " 1、第一次安装触摸屏时 ", "2、改变显示器的显示模式后",
                     "3、改变显示器光栅尺寸或位置后", "4、鼠标偏离指尖时"]},
    4006: {"caption": " 版本说明", "size": (240, 160),
           "controls": [ctl(4015, None, (33, 20, 153, 33))],
           "labels": [" OLVATouch声表面波触摸屏 ", " 鼠标仿真驱动 For Win 2000", " 版本1.0"]},
}

SETUP_DIALOGS = {
    102: {"caption": "OlvaTouch安装程序", "size": (304, 227),
          "controls": [ctl(1005, None, (11, 7, 285, 41)), ctl(1002, None, (11, 48, 286, 145)),
                       ctl(1000, "上一步", (45, 206, 50, 14)), ctl(1001, "下一步", (119, 206, 50, 14)),
                       ctl(2, "取消", (195, 206, 50, 14))],
          "labels": []},
    129: {"caption": None, "size": (180, 120), "controls": [],
          "labels": ["欢迎使用Olva Touch声表面波触摸屏", "按“下一步”开始安装", "按“取消”放弃安装"]},
    130: {"caption": None, "size": (180, 120), "controls": [ctl(1004, None, (32, 30, 109, 40))],
          "labels": ["请选择控制卡所安装的端口", "注意：用控制面板应用程序可以修改端口设置"]},
    131: {"caption": None, "size": (180, 120), "controls": [ctl(1003, "请立即重新启动", (47, 63, 72, 10))],
          "labels": ["驱动程序需要重新启动"]},
    133: {"caption": None, "size": (187, 99),
          "controls": [ctl(1006, None, (31, 25, 120, 8)), ctl(1007, None, (51, 47, 85, 8))],
          "labels": []},
}

# Texts the program shows from its own code: narrow GBK strings (or, if
# the program keeps them as resources, UTF-16 in a string table).
CALIB_TEXTS = ["驱动程序没有加载！", "系统错误！资源不足", " 鼠标是否正确随指尖移动? y/n", "确认",
               "无法打开注册表中的相关子键！", " 压ESC键放弃屏幕校准 "]
APPLET_TEXTS = ["驱动程序未安装！", "OLVATouch 设置程序", "OLVA控制面板设置程序",
                " 触摸时点击 ", " 离开时点击 ", " 拖动 ", " 拖动、双击 ",
                " 从不 ", " 刚触摸时 ", " 离开时 ", " COM1 ", " COM2 "]
ALTCLICK_TEXTS = ["左键", "右键", "驱动程序没有加载！", "系统错误！资源不足"]
SETUP_TEXTS = ["OlvaTouch已经安装！\n请先卸载", "错误", "正在复制系统文件", "正在初始化注册表参数",
               "正在创建快捷方式", "完成", "屏幕校准", "切换左右键", "卸载驱动", "驱动说明"]

VERSION_APPLET = {"version": (1, 0, 0, 1), "tables": ["080404b0"], "strings": {
    "FileDescription": "ovtouch DLL", "InternalName": "ovtouch", "OriginalFilename": "ovtouch.DLL",
    "ProductName": "ovtouch Dynamic Link Library"}}
VERSION_SETUP = {"version": (1, 0, 0, 1), "strings": {}}

# The driver's System log texts (message table 1): the event codes the
# event source's readers look up, in Chinese (PRC) and US English.
DRIVER_MESSAGES = {"languages": {0x804, 0x409},
                   "ids": {0x80040001, 0xC0040002, 0x40040003, 0x40040004, 0xC0040005}}

DELIVERABLES = [
    {"name": "OVTouch.SYS", "kind": "driver", "max": 16 * KIB, "messages": DRIVER_MESSAGES},
    {"name": "ovtcalib.exe", "kind": "exe", "max": 64 * KIB, "texts": CALIB_TEXTS,
     "icons": {100: [(32, 32, 16)]}},
    {"name": "ovtouch.cpl", "kind": "dll", "max": 64 * KIB, "exports": ["CPlApplet"], "texts": APPLET_TEXTS,
     "functions": {"comctl32.dll": {"InitCommonControls", "InitCommonControlsEx", "PropertySheetA"}},
     "dialogs": APPLET_DIALOGS, "bitmaps": {4007: (267, 54, 24)}, "icons": {4001: []},
     "version": VERSION_APPLET},
    {"name": "altclick.exe", "kind": "exe", "max": 64 * KIB, "texts": ALTCLICK_TEXTS,
     "bitmaps": {103: (62, 41, 4), 133: (57, 41, 4)}, "icons": {131: [(32, 32, 16)]}},
    {"name": "olvaset1.exe", "kind": "exe", "max": 64 * KIB, "texts": SETUP_TEXTS, "dialogs": SETUP_DIALOGS,
     "bitmaps": {135: (267, 54, 4)}, "icons": {128: [(32, 32, 16), (16, 16, 16)]}, "version": VERSION_SETUP},
    # Not a deliverable of its own design; it still has to load on 2000.
    {"name": "uninst.exe", "kind": "any-exe", "max": 64 * KIB},
    # The field engineers' console tool, the C++ runtime linked in.
    {"name": "ovtdump.exe", "kind": "console", "max": 384 * KIB},
    # The unattended install: text for Windows 2000's setup library.
    {"name": "ovtouch.inf", "kind": "inf"},
]

# What Windows 2000's setupapi does in an install section: nothing else there.
INF_DIRECTIVES = {"copyfiles", "delfiles", "renfiles", "addreg", "delreg", "bitreg", "ini2reg", "updateinis",
                  "updateinifields", "profileitems"}


def check_inf(rep, path):
    """ANSI (GBK) text, CRLF; every section, file and string it names there;
    only directives Windows 2000 knows."""
    name, raw = os.path.basename(path), open(path, "rb").read()
    rep.check(b"\0" not in raw and not raw.startswith((b"\xef\xbb\xbf", b"\xff\xfe")), name, "ANSI text, no BOM")
    rep.check(raw.endswith(b"\r\n") and raw.count(b"\n") == raw.count(b"\r\n"), name, "CRLF line ends")
    sections, current, text = {}, [], raw.decode("gbk")
    for line in (l.strip() for l in text.splitlines()):
        if line.startswith("["):
            current = sections.setdefault(line[1:line.index("]")].lower(), [])
        elif line and not line.startswith(";"):
            current.append(line)
    entry = lambda sec: {l.split("=")[0].strip().lower(): l.split("=", 1)[1].strip() for l in sections.get(sec, [])
                         if "=" in l}
    rep.check(entry("version").get("signature", "").lower() == '"$windows nt$"', name, "Signature $Windows NT$")
    dests, disks, strings = entry("destinationdirs"), entry("sourcedisksfiles"), entry("strings")
    for install in ("defaultinstall", "defaultuninstall"):
        rep.check(install in sections, name, f"[{install}] present")
        for key, value in entry(install).items():
            rep.check(key in INF_DIRECTIVES, name, f"{install}: {key} is a Windows 2000 directive")
            for sec in value.lower().split(","):
                rep.check(sec in sections and (sec in dests or key not in ("copyfiles", "delfiles")), name,
                          f"{install}: {key} section [{sec}] present, with its DestinationDirs if of files")
                for f in (l.split(",")[0] for l in sections.get(sec, []) if key == "copyfiles"):
                    rep.check(f.lower() in disks and os.path.isfile(os.path.join(os.path.dirname(path), f)), name,
                              f"{f} in [SourceDisksFiles] and beside the INF")
    used = {k.lower() for k in re.findall(r"%([^%\r\n]*)%", text.replace("%%", "")) if not k.isdigit()}
    rep.check("port" in strings and used <= set(strings), name, "Port and every %string% in [Strings]",
              " ".join(sorted(used - set(strings))))


class Report:
    def __init__(self):
        self.counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}

    def line(self, verdict, name, what, detail=""):
        self.counts[verdict] += 1
        print(f"{verdict} {name}: {what}" + (f" ({detail})" if detail else ""))

    def check(self, ok, name, what, detail=""):
        self.line("PASS" if ok else "FAIL", name, what, "" if ok else detail)
        return ok


def load_allow_list(path):
    allowed = set()
    with open(path, encoding="ascii") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if line:
                dll, func = line.split("!", 1)
                allowed.add((dll.lower(), func))
    return allowed


def imports_of(pe):
    out = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            dll = entry.dll.decode("ascii", "replace").lower()
            for imp in entry.imports:
                func = imp.name.decode("ascii", "replace") if imp.name else f"#{imp.ordinal}"
                out.append((dll, func))
    return out


# --- resources ---------------------------------------------------------------
def resources(pe):
    """(type, id, lang) -> bytes, for numeric types and ids."""
    out = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return out
    for t in root.entries:
        for n in t.directory.entries if hasattr(t, "directory") else []:
            for lang in n.directory.entries if hasattr(n, "directory") else []:
                d = lang.data.struct
                data = pe.get_data(d.OffsetToData, d.Size)
                key = (t.id if t.name is None else str(t.name), n.id if n.name is None else str(n.name), lang.id)
                out[key] = data
    return out


def find_res(res, rtype, rid):
    return {lang: data for (t, i, lang), data in res.items() if t == rtype and i == rid}


def sz_or_ord(data, off):
    first = struct.unpack_from("<H", data, off)[0]
    if first == 0:
        return None, off + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, off + 2)[0], off + 4
    end = off
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[off:end].decode("utf-16-le"), end + 2


def align4(off):
    return (off + 3) & ~3


def parse_dialog(data):
    """Caption, size and controls [(id, class, text, (x, y, cx, cy))]."""
    ex = struct.unpack_from("<HH", data, 0) == (1, 0xFFFF)
    if ex:
        _, _, _help, _exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
        off = 26
    else:
        style, _exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
        off = 18
    _menu, off = sz_or_ord(data, off)
    _cls, off = sz_or_ord(data, off)
    caption, off = sz_or_ord(data, off)
    if style & 0x40:  # DS_SETFONT
        off += 6 if ex else 2
        _face, off = sz_or_ord(data, off)
    controls = []
    for _ in range(count):
        off = align4(off)
        if ex:
            _help, _exs, _st, x, y, w, h, cid = struct.unpack_from("<IIIhhhhI", data, off)
            off += 24
            cid &= 0xFFFFFFFF
            if cid == 0xFFFFFFFF:
                cid = -1
        else:
            _st, _exs, x, y, w, h, cid = struct.unpack_from("<IIhhhhH", data, off)
            off += 18
            if cid == 0xFFFF:
                cid = -1
        cls, off = sz_or_ord(data, off)
        text, off = sz_or_ord(data, off)
        extra = struct.unpack_from("<H", data, off)[0]
        off += 2 + extra
        controls.append((cid, cls, text, (x, y, w, h)))
    return caption, (cx, cy), controls


def bitmap_header(data):
    _size, w, h, _planes, bits = struct.unpack_from("<IiiHH", data, 0)
    return w, abs(h), bits


def check_dialogs(rep, name, res, dialogs):
    for did, want in sorted(dialogs.items()):
        where = f"dialog {did}"
        found = find_res(res, RT_DIALOG, did)
        if not rep.check(bool(found), name, f"{where} present", "missing"):
            continue
        if not rep.check(LANG_ZH_CN in found, name, f"{where} in language 2052", f"languages {sorted(found)}"):
            continue
        try:
            caption, size, controls = parse_dialog(found[LANG_ZH_CN])
        except (struct.error, UnicodeDecodeError) as e:
            rep.check(False, name, f"{where} parses", str(e))
            continue
        rep.check(size == want["size"], name, f"{where} size {want['size']}", f"is {size}")
        if want["caption"] is not None:
            rep.check(caption == want["caption"], name, f"{where} caption {want['caption']!r}", f"is {caption!r}")
        by_id = {c[0]: c for c in controls}
        for c in want["controls"]:
            have = by_id.get(c["id"])
            if not rep.check(have is not None, name, f"{where} control {c['id']}", "missing"):
                continue
            if c["text"] is not None:
                rep.check(have[2] == c["text"], name, f"{where} control {c['id']} text {c['text']!r}",
                          f"is {have[2]!r}")
            if c["pos"] is not None:
                rep.check(have[3] == c["pos"], name, f"{where} control {c['id']} at {c['pos']}", f"is {have[3]}")
        texts = [c[2] for c in controls]
        for label in want["labels"]:
            rep.check(label in texts, name, f"{where} label {label!r}", f"labels {texts}")


def check_bitmaps(rep, name, res, bitmaps):
    for bid, want in sorted(bitmaps.items()):
        found = find_res(res, RT_BITMAP, bid)
        if not rep.check(bool(found), name, f"bitmap {bid} present", "missing"):
            continue
        have = bitmap_header(next(iter(found.values())))
        rep.check(have == want, name, f"bitmap {bid} {want[0]}x{want[1]} {want[2]} bpp",
                  f"is {have[0]}x{have[1]} {have[2]} bpp")


def icon_images(res, gid):
    """(width, height, colours) of each image of group icon gid."""
    groups = find_res(res, RT_GROUP_ICON, gid)
    if not groups:
        return None
    data = next(iter(groups.values()))
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = []
    for i in range(count):
        w, h, colours, _, _planes, bits, _size, iid = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        image = find_res(res, RT_ICON, iid)
        if image:
            blob = next(iter(image.values()))
            if blob[:4] != b"\x89PNG":
                _, bw, bh, _, bits = struct.unpack_from("<IiiHH", blob, 0)
                w, h = bw, bh // 2
        colours = 1 << bits if bits and bits <= 8 else (colours or 0)
        images.append((w or 256, h or 256, colours))
    return images


def check_icons(rep, name, res, icons):
    for gid, want in sorted(icons.items()):
        images = icon_images(res, gid)
        if not rep.check(images is not None, name, f"icon {gid} present", "missing"):
            continue
        for w in want:
            rep.check(w in images, name, f"icon {gid} has {w[0]}x{w[1]} {w[2]} colours", f"has {images}")


def message_table(data):
    """id -> (UTF-16 entry?, text) of a MESSAGE_RESOURCE_DATA."""
    out = {}
    (blocks,) = struct.unpack_from("<I", data, 0)
    for b in range(blocks):
        low, high, off = struct.unpack_from("<III", data, 4 + 12 * b)
        for mid in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", data, off)
            raw = data[off + 4:off + length]
            wide = bool(flags & 1)
            out[mid] = (wide, raw.decode("utf-16-le" if wide else "latin-1").rstrip("\0"))
            off += length
    return out


def check_messages(rep, name, res, want):
    tables = find_res(res, RT_MESSAGETABLE, 1)
    rep.check(set(tables) == want["languages"], name, "message table languages",
              f"has {sorted(hex(lang) for lang in tables)}")
    for lang, data in sorted(tables.items()):
        try:
            msgs = message_table(data)
        except struct.error as e:
            rep.check(False, name, f"message table {lang:#x} readable", str(e))
            continue
        rep.check(set(msgs) == want["ids"], name, f"message table {lang:#x} ids",
                  f"has {sorted(hex(i) for i in msgs)}")
        rep.check(all(wide for wide, _ in msgs.values()), name, f"message table {lang:#x} in UTF-16", "ANSI entries")
        if lang == 0x804:
            rep.check(all(any("\u4e00" <= c <= "\u9fff" for c in text) for _, text in msgs.values()), name,
                      "message texts in Chinese", "a text without Chinese")


def check_version(rep, name, pe, want):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not rep.check(bool(fixed), name, "version resource present", "missing"):
        return
    f = fixed[0]
    file_v = (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF, f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF)
    prod_v = (f.ProductVersionMS >> 16, f.ProductVersionMS & 0xFFFF, f.ProductVersionLS >> 16,
              f.ProductVersionLS & 0xFFFF)
    rep.check(file_v == want["version"] and prod_v == want["version"], name,
              f"file and product version {'.'.join(map(str, want['version']))}", f"are {file_v}, {prod_v}")
    tables = []
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            tables += [t for t in getattr(entry, "StringTable", [])]
    langs = [t.LangID.decode() if isinstance(t.LangID, bytes) else t.LangID for t in tables]
    zh = [t for t, lang in zip(tables, langs) if lang.lower().startswith("0804")]
    rep.check(bool(zh), name, "version strings in language 2052", f"string tables {langs}")
    if "tables" in want:
        rep.check(langs == want["tables"], name, f"version string tables exactly {want['tables']}", f"are {langs}")
    strings = {}
    for t in zh:
        strings.update({k.decode(): v.decode() for k, v in t.entries.items()})
    for key, value in want["strings"].items():
        rep.check(strings.get(key) == value, name, f"version {key} {value!r}", f"is {strings.get(key)!r}")


def narrow_data(pe):
    """Every section but the resources: where narrow strings live."""
    return b"".join(s.get_data() for s in pe.sections if not s.Name.startswith(b".rsrc"))


def resource_data(pe):
    return b"".join(s.get_data() for s in pe.sections if s.Name.startswith(b".rsrc"))


def utf8_chinese_strings(blob):
    """NUL-separated runs that are UTF-8 Chinese: texts compiled without GBK."""
    found = []
    for run in blob.split(b"\0"):
        if len(run) < 6 or max(run) < 0x80:
            continue
        try:
            text = run.decode("utf-8")
        except UnicodeDecodeError:
            continue
        if any("\u4e00" <= ch <= "\u9fff" for ch in text):
            found.append(text)
    return found


def check_texts(rep, name, pe, texts):
    narrow = narrow_data(pe)
    wide = resource_data(pe)
    for text in texts:
        gbk = text.encode("gbk")
        ok = (gbk + b"\0") in narrow or text.encode("utf-16-le") in wide
        rep.check(ok, name, f"text {text!r} as GBK", "not found as a GBK string or a resource string")
    bad = utf8_chinese_strings(narrow)
    rep.check(not bad, name, "no UTF-8 Chinese strings", f"found {bad[:3]}")


def check_image(rep, path, deliverable, allowed, new_imports, arch="i686"):
    name = deliverable["name"]
    kind = deliverable["kind"]
    size = os.path.getsize(path)
    # The bounds are the shipped package's; the x86-64 build only carries the sources to Wine.
    if arch == "i686":
        rep.check(size < deliverable["max"], name, f"size under {deliverable['max'] // KIB} KiB", f"{size} bytes")
    try:
        pe = pefile.PE(path)
    except pefile.PEFormatError as e:
        rep.check(False, name, "PE image", str(e))
        return
    oh = pe.OPTIONAL_HEADER
    magic, machine, what = ARCHES[arch]
    rep.check(oh.Magic == magic and pe.FILE_HEADER.Machine == machine, name, what,
              f"magic {oh.Magic:#x}, machine {pe.FILE_HEADER.Machine:#x}")
    win2000 = arch == "i686"
    if win2000:
        sub_v = (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)
        rep.check(sub_v <= WIN2000_SUBSYSTEM, name, "subsystem version at most 5.0", f"is {sub_v[0]}.{sub_v[1]}")
    is_dll = bool(pe.FILE_HEADER.Characteristics & 0x2000)

    imports = imports_of(pe)
    if kind == "driver":
        rep.check(oh.Subsystem == SUBSYSTEM_NATIVE, name, "native subsystem", f"subsystem {oh.Subsystem}")
        dlls = DRIVER_DLLS
        rep.check(oh.CheckSum != 0 and oh.CheckSum == pe.generate_checksum(), name, "valid checksum",
                  f"stored {oh.CheckSum:#x}, computed {pe.generate_checksum():#x}")
    else:
        if kind == "console":
            rep.check(oh.Subsystem == SUBSYSTEM_CONSOLE, name, "console subsystem", f"subsystem {oh.Subsystem}")
        elif kind in ("any-exe", "dll"):
            # The loader looks at a DLL's subsystem no more than at a
            # console program's: either Windows subsystem loads.
            rep.check(oh.Subsystem in (2, 3), name, "Windows subsystem", f"subsystem {oh.Subsystem}")
        else:
            rep.check(oh.Subsystem == SUBSYSTEM_GUI, name, "GUI subsystem", f"subsystem {oh.Subsystem}")
        dlls = PROGRAM_DLLS
        if kind == "dll":
            rep.check(is_dll, name, "a DLL", "DLL flag not set")
        else:
            rep.check(not is_dll, name, "an executable", "DLL flag set")
    if kind in ("driver", "dll"):
        # Loaded wherever there is room: without relocations it fails.
        relocs = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]].Size
        stripped = pe.FILE_HEADER.Characteristics & 0x0001
        rep.check(relocs > 0 and not stripped, name, "relocatable", "no base relocations")
        # Windows 2000 sets up static TLS only for images loaded with the
        # process: a DLL from LoadLibrary or a driver would run without it.
        tls = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]].Size
        rep.check(tls == 0, name, "no static TLS directory", "has one")
        startup = [sec.Name.rstrip(b"\0").decode() for sec in pe.sections
                   if sec.Name.rstrip(b"\0") in STARTUP_SECTIONS]
        rep.check(not startup, name, "no constructor or thread-data sections", f"has {startup}")
    used = sorted({d for d, _ in imports})
    rep.check(bool(used) and set(used) <= dlls, name, f"imports only from {', '.join(sorted(dlls))}",
              f"imports from {used}")
    for dll, funcs in sorted(deliverable.get("functions", {}).items()):
        have = {f for d, f in imports if d == dll}
        rep.check(have <= funcs, name, f"{dll} functions only {sorted(funcs)}", f"also {sorted(have - funcs)}")
    if win2000:
        unknown = sorted({f"{d}!{f}" for d, f in imports if (d, f) not in allowed})
        new_imports.update(unknown)
        rep.check(not unknown, name, f"all {len(imports)} imported functions on the Windows 2000 allow-list",
                  f"not on the list: {', '.join(unknown)}")

    if "exports" in deliverable:
        names = [e.name.decode() for e in getattr(getattr(pe, "DIRECTORY_ENTRY_EXPORT", None), "symbols", [])
                 if e.name]
        rep.check(names == deliverable["exports"], name, f"exports exactly {deliverable['exports']}",
                  f"exports {names}")

    res = resources(pe)
    if "dialogs" in deliverable:
        check_dialogs(rep, name, res, deliverable["dialogs"])
    if "bitmaps" in deliverable:
        check_bitmaps(rep, name, res, deliverable["bitmaps"])
    if "icons" in deliverable:
        check_icons(rep, name, res, deliverable["icons"])
    if "version" in deliverable:
        check_version(rep, name, pe, deliverable["version"])
    if "messages" in deliverable:
        check_messages(rep, name, res, deliverable["messages"])
    if "texts" in deliverable:
        check_texts(rep, name, pe, deliverable["texts"])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dist", default=os.path.join(HERE, "..", "..", "dist", "OVTouch"))
    ap.add_argument("--arch", choices=sorted(ARCHES), default="i686")
    ap.add_argument("--allow", default=os.path.join(HERE, "allowed_imports.txt"))
    ap.add_argument("--only", action="append")
    ap.add_argument("--list-imports", action="store_true")
    ap.add_argument("--lint", action="store_true", help="check the allow-list itself")
    ap.add_argument("--require-all", action="store_true", help="a missing deliverable fails")
    args = ap.parse_args()

    if args.lint:
        rep = Report()
        seen = set()
        with open(args.allow, encoding="ascii") as f:
            for number, raw in enumerate(f, 1):
                line = raw.split("#", 1)[0].strip()
                if not line:
                    continue
                dll, _, func = line.partition("!")
                where = f"allow-list line {number}"
                if not rep.check(bool(func) and " " not in line, "allowed_imports.txt", f"{where} is DLL!function",
                                 line):
                    continue
                rep.check(dll in PROGRAM_DLLS | DRIVER_DLLS, "allowed_imports.txt",
                          f"{where} names a Windows 2000 system DLL", dll)
                rep.check((dll, func) not in seen, "allowed_imports.txt", f"{where} listed once", line)
                seen.add((dll, func))
        print(f"{len(seen)} functions allowed")
        return 1 if rep.counts["FAIL"] else 0

    if args.list_imports:
        for deliverable in DELIVERABLES:
            path = os.path.join(args.dist, deliverable["name"])
            if os.path.exists(path):
                for dll, func in sorted(set(imports_of(pefile.PE(path)))):
                    print(f"{dll}!{func}  # {deliverable['name']}")
        return 0

    allowed = load_allow_list(args.allow)
    rep = Report()
    new_imports = set()
    # The pe tests ask for every image of the package manifest by name.
    for name in sorted(set(args.only or []) - {d["name"] for d in DELIVERABLES}):
        rep.line("FAIL", name, "a package file with no row in DELIVERABLES")
    for deliverable in DELIVERABLES:
        if args.only and deliverable["name"] not in args.only:
            continue
        path = os.path.join(args.dist, deliverable["name"])
        if not os.path.exists(path):
            missed = args.require_all and os.path.isdir(args.dist)
            rep.line("FAIL" if missed else "SKIP", deliverable["name"], "not in the package yet", path)
            continue
        if deliverable["kind"] == "inf":
            check_inf(rep, path)
        else:
            check_image(rep, path, deliverable, allowed, new_imports, args.arch)
    if new_imports:
        print("imports to review against Windows 2000 before adding them to the allow-list:")
        for line in sorted(new_imports):
            print(f"  {line}")
    c = rep.counts
    print(f"{c['PASS']} checks passed, {c['FAIL']} failed, {c['SKIP']} skipped")
    if c["FAIL"]:
        return 1
    return 77 if c["PASS"] == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
