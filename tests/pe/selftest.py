#!/usr/bin/python3
"""The checker against an image made here: one dialog as stated, one with
faults, in both template formats; texts in GBK and in UTF-8."""
import os
import subprocess
import sys
import tempfile

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_pe  # noqa: E402

RC = """#pragma code_page(936)
#include <windows.h>
LANGUAGE 4, 2
106 DIALOG 0, 0, 240, 160
STYLE DS_SETFONT | WS_CHILD | WS_CAPTION
CAPTION " 端口选择 "
FONT 10, "MS Sans Serif"
BEGIN
  LTEXT " 设备安装在 ", 4009, 50, 38, 45, 8
  COMBOBOX 4010, 99, 35, 48, 67, CBS_DROPDOWNLIST | WS_TABSTOP
END
107 DIALOGEX 0, 0, 239, 159
STYLE DS_SETFONT | WS_CHILD | WS_CAPTION
CAPTION "屏幕校准"
FONT 10, "宋体"
BEGIN
  LTEXT " 1、第一次安装触摸屏时 ", -1, 34, 45, 144, 8
  PUSHBUTTON "校准", 4002, 87, 112, 58, 25, WS_TABSTOP
END
"""
SOURCE = r"""
extern "C" __declspec(dllexport) long __stdcall CPlApplet(void*, unsigned, long, long) { return 0; }
extern "C" const char kGbk[] = "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2";
extern "C" const char kUtf8[] = "\xe9\xa9\xb1\xe5\x8a\xa8\xe7\xa8\x8b\xe5\xba\x8f";
"""


def main():
    with tempfile.TemporaryDirectory() as tmp:
        rc, src, res, dll = (os.path.join(tmp, n) for n in ("t.rc", "t.cpp", "t.res", "t.dll"))
        with open(rc, "wb") as f:
            f.write(RC.encode("gbk"))
        with open(src, "w") as f:
            f.write(SOURCE)
        subprocess.run(["i686-w64-mingw32-windres", "-c", "936", rc, "-O", "coff", "-o", res], check=True)
        subprocess.run(["i686-w64-mingw32-g++", "-shared", "-s", "-Os", src, res, "-o", dll], check=True)
        pe = pefile.PE(dll)
        res_map = check_pe.resources(pe)

        rep = check_pe.Report()
        check_pe.check_dialogs(rep, "t", res_map, {106: check_pe.APPLET_DIALOGS[106]})
        good = dict(rep.counts)
        check_pe.check_dialogs(rep, "t", res_map, {107: check_pe.APPLET_DIALOGS[107]})
        check_pe.check_texts(rep, "t", pe, ["驱动程序", "不在这里"])
        c = rep.counts

    # 107: the button one unit too tall and four labels missing; texts: one
    # absent, and a UTF-8 string present.
    want = 1 + 4 + 1 + 1
    ok = good["FAIL"] == 0 and good["PASS"] >= 9 and c["FAIL"] == want
    print(f"selftest: {c['PASS']} passed, {c['FAIL']} failed (expected {want})")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
