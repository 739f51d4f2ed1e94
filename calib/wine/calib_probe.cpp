// Test helper for the Wine tier: looks at ovtcalib's window and message
// boxes from outside and prints what it finds, texts in UTF-8.
//   calib_probe window [seconds]      the calibration window's geometry
//   calib_probe msgbox [seconds] [ok] the first message box: caption, texts
//   calib_probe gone [seconds]        waits until the window has gone
//   calib_probe keyup-escape          posts an ESC release to the window
//   calib_probe repaint               invalidates the whole window
#include <windows.h>

#include <stdio.h>
#include <string.h>

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

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const int seconds = argc > 2 ? atoi(argv[2]) : 30;
    if (!strcmp(argv[1], "window")) return Window(seconds);
    if (!strcmp(argv[1], "msgbox")) return MessageBoxInfo(seconds, argc > 3 && !strcmp(argv[3], "ok"));
    if (!strcmp(argv[1], "gone")) return Gone(seconds);
    if (!strcmp(argv[1], "repaint")) {
        HWND w = FindWindowA(kClassName, NULL);
        return w && InvalidateRect(w, NULL, TRUE) ? 0 : 1;
    }
    if (!strcmp(argv[1], "keyup-escape")) {
        HWND w = FindWindowA(kClassName, NULL);
        if (!w) return 1;
        PostMessageA(w, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        return 0;
    }
    return 2;
}
