// Whether a dialog shows everything it holds: every visible window inside
// it, at any depth, lies within its client area, and no two of its own
// visible children (buttons, an embedded sheet) overlap. Header-only so
// that the Wine probe and the ReactOS agent judge a window alike.
#ifndef OVTOUCH_TESTS_WINE_PROBE_HOST_FIT_H
#define OVTOUCH_TESTS_WINE_PROBE_HOST_FIT_H

#include <windows.h>

struct HostFitFault {
    HWND window;  // outside the client area, or the first of two overlapping
    HWND other;   // the second of two overlapping; NULL when outside
    RECT rect;    // window's rectangle, screen coordinates
    RECT bound;   // the host's client area, or the other's rectangle
};
typedef void (*HostFitReport)(const HostFitFault& fault, void* context);

namespace host_fit {

struct Walk {
    RECT client;
    HostFitReport report;
    void* context;
    int faults;
};

inline BOOL CALLBACK Inside(HWND w, LPARAM p) {
    Walk* walk = reinterpret_cast<Walk*>(p);
    RECT r;
    if (!IsWindowVisible(w) || !GetWindowRect(w, &r)) return TRUE;
    const RECT& c = walk->client;
    if (r.left < c.left || r.top < c.top || r.right > c.right || r.bottom > c.bottom) {
        HostFitFault f = {w, NULL, r, c};
        walk->report(f, walk->context);
        walk->faults++;
    }
    return TRUE;
}

}  // namespace host_fit

// Reports each fault; returns how many there were.
inline int CheckHostFit(HWND host, HostFitReport report, void* context) {
    host_fit::Walk walk = {{0, 0, 0, 0}, report, context, 0};
    GetClientRect(host, &walk.client);
    MapWindowPoints(host, NULL, reinterpret_cast<POINT*>(&walk.client), 2);
    EnumChildWindows(host, host_fit::Inside, reinterpret_cast<LPARAM>(&walk));
    for (HWND a = GetWindow(host, GW_CHILD); a; a = GetWindow(a, GW_HWNDNEXT)) {
        RECT ra, rb, both;
        if (!IsWindowVisible(a) || !GetWindowRect(a, &ra)) continue;
        for (HWND b = GetWindow(a, GW_HWNDNEXT); b; b = GetWindow(b, GW_HWNDNEXT)) {
            if (!IsWindowVisible(b) || !GetWindowRect(b, &rb) || !IntersectRect(&both, &ra, &rb)) continue;
            HostFitFault f = {a, b, ra, rb};
            report(f, context);
            walk.faults++;
        }
    }
    return walk.faults;
}

#endif
