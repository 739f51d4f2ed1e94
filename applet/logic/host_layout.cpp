#include "host_layout.h"

namespace ovt {

namespace {

int Max(int a, int b) { return a > b ? a : b; }

}  // namespace

HostLayout FitHostToSheet(const HostGeometry& g) {
    HostLayout l;
    const int okWidth = g.ok.right - g.ok.left, okHeight = g.ok.bottom - g.ok.top;
    const int cancelWidth = g.cancel.right - g.cancel.left, cancelHeight = g.cancel.bottom - g.cancel.top;
    const int gap = Max(g.ok.top - g.frame.bottom, 0);
    const int edgeX = g.window.right - g.window.left - g.clientWidth;
    const int edgeY = g.window.bottom - g.window.top - g.clientHeight;
    const int workWidth = g.workArea.right - g.workArea.left, workHeight = g.workArea.bottom - g.workArea.top;

    l.okLeft = g.ok.left;
    l.cancelLeft = g.cancel.left;
    l.okTop = g.sheet.bottom + g.ok.top - g.frame.bottom;
    l.cancelTop = g.sheet.bottom + g.cancel.top - g.frame.bottom;
    int width = Max(g.sheet.right, Max(g.ok.right, g.cancel.right)) + g.frame.left;
    int height = Max(l.okTop + okHeight, l.cancelTop + cancelHeight) + g.frame.top;
    if (width + edgeX > workWidth || height + edgeY > workHeight) {
        l.okLeft = l.cancelLeft = g.sheet.right + gap;
        l.okTop = g.sheet.top;
        l.cancelTop = l.okTop + okHeight + gap;
        width = l.okLeft + Max(okWidth, cancelWidth) + g.frame.left;
        height = Max(g.sheet.bottom, l.cancelTop + cancelHeight) + g.frame.top;
    }
    const int cx = width + edgeX, cy = height + edgeY;
    int x = g.window.left, y = g.window.top;
    if (x + cx > g.workArea.right) x = g.workArea.right - cx;
    if (y + cy > g.workArea.bottom) y = g.workArea.bottom - cy;
    if (x < g.workArea.left) x = g.workArea.left;
    if (y < g.workArea.top) y = g.workArea.top;
    l.window = Box{x, y, x + cx, y + cy};
    return l;
}

}  // namespace ovt
