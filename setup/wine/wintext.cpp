// Test tool: prints every visible top-level window with its controls (id,
// class, enabled, visible, check state, list selection, text) in UTF-8, so
// that the Wine test can read what a dialog shows. "wintext device" opens
// the driver's control device instead and prints what it answers.
#include <windows.h>

#include "common/ovtouch.h"
#include <string.h>

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

BOOL CALLBACK Child(HWND hwnd, LPARAM) {
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

BOOL CALLBACK Top(HWND hwnd, LPARAM) {
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
    EnumChildWindows(hwnd, Child, 0);
    return TRUE;
}

}  // namespace

int Device() {
    HANDLE h = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        char line[64];
        wsprintfA(line, "open failed %lu\n", GetLastError());
        Write(line);
        return 1;
    }
    DWORD mode = 0xFFFFFFFF, n = 0;
    DWORD beep[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    BOOL a = DeviceIoControl(h, IOCTL_TOUCH_GET_MOUSE_MODE, NULL, 0, &mode, 4, &n, NULL);
    BOOL b = DeviceIoControl(h, IOCTL_TOUCH_GET_BEEP, NULL, 0, beep, 12, &n, NULL);
    char line[128];
    wsprintfA(line, "open ok mousemode=%lu(%d) beep=%lu,%lu,%lu(%d)\n", mode, a ? 1 : 0, beep[0], beep[1], beep[2],
              b ? 1 : 0);
    Write(line);
    CloseHandle(h);
    return 0;
}

int main() {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (strstr(GetCommandLineA(), "device")) return Device();
    EnumWindows(Top, 0);
    return 0;
}
