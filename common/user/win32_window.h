// The window class of the calibration program and the right-button tool.
#ifndef OVTOUCH_COMMON_USER_WIN32_WINDOW_H
#define OVTOUCH_COMMON_USER_WIN32_WINDOW_H

#include <windows.h>

namespace ovt {

// The arrow cursor, the menu colour behind the window, and the icon from
// the program's own resources.
inline ATOM RegisterProgramClass(HINSTANCE instance, const char* name, WNDPROC proc, UINT style, int iconId) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconId));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    wc.lpszClassName = name;
    return RegisterClassA(&wc);
}

}  // namespace ovt

#endif
