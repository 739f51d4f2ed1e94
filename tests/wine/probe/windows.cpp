// The probe's commands on the programs' windows, seen from outside; texts
// in UTF-8.
//   calib-window [seconds]      the calibration window's geometry
//   calib-msgbox [seconds] [ok] the first message box: caption, texts
//   calib-gone [seconds]        waits until the window has gone
//   calib-keyup-escape          posts an ESC release to the window
//   calib-repaint               invalidates the whole window
//   altclick-close l|r          sends WM_CLOSE to the window titled 左键 / 右键
//   altclick-info l|r           prints that window's class, class style and styles
//   dump-windows                every visible top-level window with its controls
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "probe.h"

namespace {

const char kClassName[] = "OLVA TOUCH Calibration";

void PrintUtf8(const char* label, HWND window) {
    WCHAR text[512];
    const int n = GetWindowTextW(window, text, 512);
    char utf8[2048];
    const int m = WideCharToMultiByte(CP_UTF8, 0, text, n, utf8, sizeof utf8 - 1, NULL, NULL);
    utf8[m > 0 ? m : 0] = 0;
    printf("%s=%s\n", label, utf8);
}

HWND WaitFor(const char* cls, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = FindWindowA(cls, NULL);
        if (w && IsWindowVisible(w)) return w;
        Sleep(100);
    }
    return NULL;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (!IsWindowVisible(child)) return TRUE;
    char label[96];
    if (!strcmp(cls, "Static")) {
        const bool icon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
        snprintf(label, sizeof label, "child %s id=%d icon=%d", cls, GetDlgCtrlID(child), icon ? 1 : 0);
    } else {
        snprintf(label, sizeof label, "child %s id=%d", cls, GetDlgCtrlID(child));
    }
    PrintUtf8(label, child);
    return TRUE;
}

int Window(int seconds) {
    HWND w = WaitFor(kClassName, seconds);
    if (!w) {
        printf("window=none\n");
        return 1;
    }
    RECT wr, cr;
    GetWindowRect(w, &wr);
    GetClientRect(w, &cr);
    const DWORD menu = GetSysColor(COLOR_MENU);
    printf("window=%ld,%ld,%ld,%ld\n", wr.left, wr.top, wr.right, wr.bottom);
    printf("client=%ld,%ld\n", cr.right, cr.bottom);
    printf("screen=%d,%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    printf("style=%08lx\n", static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE)));
    printf("zoomed=%d\n", IsZoomed(w) ? 1 : 0);
    printf("classstyle=%08lx\n", static_cast<unsigned long>(GetClassLongPtrA(w, GCL_STYLE)));
    printf("menucolor=%d,%d,%d\n", GetRValue(menu), GetGValue(menu), GetBValue(menu));
    printf("acp=%u\n", GetACP());
    PrintUtf8("title", w);
    return 0;
}

int MessageBoxInfo(int seconds, bool press) {
    HWND box = WaitFor("#32770", seconds);
    if (!box) {
        printf("msgbox=none\n");
        return 1;
    }
    char cls[64] = "";
    HWND owner = GetWindow(box, GW_OWNER);
    if (owner) GetClassNameA(owner, cls, sizeof cls);
    printf("owner=%s\n", cls);
    PrintUtf8("caption", box);
    EnumChildWindows(box, PrintChild, 0);
    fflush(stdout);
    if (press) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

int Gone(int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (!FindWindowA(kClassName, NULL)) {
            printf("gone=1\n");
            return 0;
        }
        Sleep(100);
    }
    printf("gone=0\n");
    return 1;
}

}  // namespace

int CmdCalib(const char* what, int argc, char** argv) {
    const int seconds = argc > 0 ? atoi(argv[0]) : 30;
    if (!strcmp(what, "window")) return Window(seconds);
    if (!strcmp(what, "msgbox")) return MessageBoxInfo(seconds, argc > 1 && !strcmp(argv[1], "ok"));
    if (!strcmp(what, "gone")) return Gone(seconds);
    if (!strcmp(what, "repaint")) {
        HWND w = FindWindowA(kClassName, NULL);
        return w && InvalidateRect(w, NULL, TRUE) ? 0 : 1;
    }
    if (!strcmp(what, "keyup-escape")) {
        HWND w = FindWindowA(kClassName, NULL);
        if (!w) return 1;
        PostMessageA(w, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        return 0;
    }
    return 2;
}

int CmdAltclick(const char* what, int argc, char** argv) {
    if (argc < 1) return 2;
    const char* title = argv[0][0] == 'r' ? "\xd3\xd2\xbc\xfc" : "\xd7\xf3\xbc\xfc";
    HWND w = FindWindowA(NULL, title);
    if (!w) return 1;
    if (!strcmp(what, "close")) {
        SendMessageA(w, WM_CLOSE, 0, 0);
        return 0;
    }
    if (strcmp(what, "info")) return 2;
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    printf("class=%s classstyle=0x%lx style=0x%lx exstyle=0x%lx\n", name,
           (unsigned long)GetClassLongPtrA(w, GCL_STYLE), (unsigned long)GetWindowLongA(w, GWL_STYLE),
           (unsigned long)GetWindowLongA(w, GWL_EXSTYLE));
    return 0;
}

namespace {

HANDLE g_out;

void Write(const char* text) {
    DWORD n = 0;
    WriteFile(g_out, text, lstrlenA(text), &n, NULL);
}

void WriteText(HWND hwnd) {
    WCHAR wide[1024];
    char utf8[3072];
    int n = GetWindowTextW(hwnd, wide, 1024);
    wide[n] = 0;
    // Line breaks kept visible as \n.
    WCHAR flat[2048];
    int j = 0;
    for (int i = 0; i < n && j < 2040; ++i) {
        if (wide[i] == L'\n') { flat[j++] = L'\\'; flat[j++] = L'n'; }
        else if (wide[i] != L'\r') flat[j++] = wide[i];
    }
    flat[j] = 0;
    WideCharToMultiByte(CP_UTF8, 0, flat, -1, utf8, sizeof utf8, NULL, NULL);
    Write("\"");
    Write(utf8);
    Write("\"");
}

BOOL CALLBACK DumpChild(HWND hwnd, LPARAM) {
    char line[256];
    char cls[64];
    GetClassNameA(hwnd, cls, sizeof cls);
    int check = -1, sel = -9, count = -1;
    if (lstrcmpiA(cls, "Button") == 0) check = static_cast<int>(SendMessageA(hwnd, BM_GETCHECK, 0, 0));
    if (lstrcmpiA(cls, "ListBox") == 0) {
        sel = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
        count = static_cast<int>(SendMessageA(hwnd, LB_GETCOUNT, 0, 0));
    }
    RECT r;
    GetWindowRect(hwnd, &r);
    wsprintfA(line, "  ctl %d %s en=%d vis=%d chk=%d sel=%d count=%d rect=%d,%d,%d,%d ", GetDlgCtrlID(hwnd), cls,
              IsWindowEnabled(hwnd) ? 1 : 0, IsWindowVisible(hwnd) ? 1 : 0, check, sel, count, r.left, r.top,
              r.right, r.bottom);
    Write(line);
    if (count > 1) {
        // Screen centre of the second item, for a click on it.
        RECT item;
        SendMessageA(hwnd, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
        MapWindowPoints(hwnd, NULL, reinterpret_cast<POINT*>(&item), 2);
        wsprintfA(line, "item1=%d,%d ", (item.left + item.right) / 2, (item.top + item.bottom) / 2);
        Write(line);
    }
    WriteText(hwnd);
    Write("\n");
    return TRUE;
}

BOOL CALLBACK DumpTop(HWND hwnd, LPARAM) {
    if (!IsWindowVisible(hwnd)) return TRUE;
    char line[160];
    char cls[64];
    GetClassNameA(hwnd, cls, sizeof cls);
    RECT r;
    GetWindowRect(hwnd, &r);
    wsprintfA(line, "top %s rect=%d,%d,%d,%d ", cls, r.left, r.top, r.right, r.bottom);
    Write(line);
    WriteText(hwnd);
    Write("\n");
    EnumChildWindows(hwnd, DumpChild, 0);
    return TRUE;
}

}  // namespace

// Every visible top-level window with its controls (id, class, enabled,
// visible, check state, list selection, text), so a tier can read what a
// dialog shows.
int CmdDumpWindows() {
    fflush(stdout);
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    EnumWindows(DumpTop, 0);
    return 0;
}
