// Whether a dialog shows everything it holds: every visible window inside
// it, at any depth, lies within the client area of the dialog and of each
// window between (a sheet, a page: each clips what it holds), and no two
// of the dialog's own visible children (buttons, an embedded sheet)
// overlap. Header-only so that the Wine probe and the ReactOS agent judge
// a window alike.
#ifndef OVTOUCH_TESTS_WINE_PROBE_HOST_FIT_H
#define OVTOUCH_TESTS_WINE_PROBE_HOST_FIT_H

#include <windows.h>

#include <stdio.h>

struct HostFitFault {
    HWND window;   // sticking out, or the first of two overlapping
    HWND other;    // the window whose client area it leaves, or the second
    bool overlap;  // of two overlapping
    RECT rect;     // window's rectangle, screen coordinates
    RECT bound;    // other's client area, or its rectangle when overlapping
};
typedef void (*HostFitReport)(const HostFitFault& fault, void* context);

namespace host_fit {

struct Walk {
    HWND host;
    HostFitReport report;
    void* context;
    int faults;
};

inline RECT ScreenClient(HWND w) {
    RECT c = {0, 0, 0, 0};
    GetClientRect(w, &c);
    MapWindowPoints(w, NULL, reinterpret_cast<POINT*>(&c), 2);
    return c;
}

inline BOOL CALLBACK Inside(HWND w, LPARAM p) {
    Walk* walk = reinterpret_cast<Walk*>(p);
    RECT r;
    if (!IsWindowVisible(w) || !GetWindowRect(w, &r)) return TRUE;
    for (HWND a = GetParent(w); a; a = a == walk->host ? NULL : GetParent(a)) {
        const RECT c = ScreenClient(a);
        if (r.left < c.left || r.top < c.top || r.right > c.right || r.bottom > c.bottom) {
            HostFitFault f = {w, a, false, r, c};
            walk->report(f, walk->context);
            walk->faults++;
            break;
        }
    }
    return TRUE;
}

}  // namespace host_fit

// Reports each fault; returns how many there were.
inline int CheckHostFit(HWND host, HostFitReport report, void* context) {
    host_fit::Walk walk = {host, report, context, 0};
    EnumChildWindows(host, host_fit::Inside, reinterpret_cast<LPARAM>(&walk));
    for (HWND a = GetWindow(host, GW_CHILD); a; a = GetWindow(a, GW_HWNDNEXT)) {
        RECT ra, rb, both;
        if (!IsWindowVisible(a) || !GetWindowRect(a, &ra)) continue;
        for (HWND b = GetWindow(a, GW_HWNDNEXT); b; b = GetWindow(b, GW_HWNDNEXT)) {
            if (!IsWindowVisible(b) || !GetWindowRect(b, &rb) || !IntersectRect(&both, &ra, &rb)) continue;
            HostFitFault f = {a, b, true, ra, rb};
            report(f, context);
            walk.faults++;
        }
    }
    return walk.faults;
}

// Wine draws no taskbar and keeps a work area set by SystemParametersInfo
// in the setting process: its tiers hand one to each program that needs it
// as OVT_WORK_AREA=L,T,R,B.
inline void WorkAreaFromEnvironment() {
    char text[64];
    RECT r;
    if (GetEnvironmentVariableA("OVT_WORK_AREA", text, sizeof text) - 1 < sizeof text - 1 &&
        sscanf(text, "%ld,%ld,%ld,%ld", &r.left, &r.top, &r.right, &r.bottom) == 4) {
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &r, 0);
    }
}

// Reports the dialog itself and each of its own visible children (the
// sheet, OK, Cancel) that leaves the work area (other is NULL, bound the
// work area): under a taskbar a touch cannot reach it.
inline int CheckInWorkArea(HWND host, HostFitReport report, void* context) {
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, r;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int faults = 0;
    for (HWND a = host; a; a = a == host ? GetWindow(host, GW_CHILD) : GetWindow(a, GW_HWNDNEXT)) {
        if (!IsWindowVisible(a) || !GetWindowRect(a, &r)) continue;
        if (r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom) continue;
        HostFitFault f = {a, NULL, false, r, work};
        report(f, context);
        faults++;
    }
    return faults;
}

#endif
