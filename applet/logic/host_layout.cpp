#include "host_layout.h"

namespace ovt {

namespace {

int Max(int a, int b) { return a > b ? a : b; }

}  // namespace

HostLayout FitHostToSheet(const HostGeometry& g) {
    HostLayout l;
    l.okTop = g.sheet.bottom + g.ok.top - g.frame.bottom;
    l.cancelTop = g.sheet.bottom + g.cancel.top - g.frame.bottom;
    const int bottom = Max(l.okTop + g.ok.bottom - g.ok.top, l.cancelTop + g.cancel.bottom - g.cancel.top);
    const int width = Max(g.sheet.right, Max(g.ok.right, g.cancel.right)) + g.frame.left;
    const int height = bottom + g.frame.top;
    const int cx = g.window.right - g.window.left + width - g.clientWidth;
    const int cy = g.window.bottom - g.window.top + height - g.clientHeight;
    int x = g.window.left, y = g.window.top;
    if (x + cx > g.workArea.right) x = g.workArea.right - cx;
    if (y + cy > g.workArea.bottom) y = g.workArea.bottom - cy;
    if (x < g.workArea.left) x = g.workArea.left;
    if (y < g.workArea.top) y = g.workArea.top;
    l.window = Box{x, y, x + cx, y + cy};
    return l;
}

}  // namespace ovt
