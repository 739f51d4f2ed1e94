// The settings window grown at run time around its sheet: the templates
// keep their sizes, but the sheet, in its pages' font, is larger than the
// frame the host keeps for it.
#ifndef OVTOUCH_APPLET_LOGIC_HOST_LAYOUT_H
#define OVTOUCH_APPLET_LOGIC_HOST_LAYOUT_H

namespace ovt {

struct Box {
    int left, top, right, bottom;
};

// Inputs in the host's client pixels (frame, sheet, buttons) and screen
// pixels (window, work area); the client size is the current one.
struct HostGeometry {
    Box frame, sheet, ok, cancel;
    Box window;
    int clientWidth, clientHeight;
    Box workArea;
};

struct HostLayout {
    Box window;  // screen
    int okLeft, okTop, cancelLeft, cancelTop;
};

// The client holds the sheet with the frame's left margin at the right and
// the buttons below it, as far below the sheet as they were below the frame,
// then the frame's top margin. A window that high would not fit the work
// area (a touch-only user could not reach OK): the buttons go beside the
// sheet instead, one above the other from its top, that far from it. The
// window moves only to stay in the work area; one larger than that keeps
// its top-left corner (caption) on it.
HostLayout FitHostToSheet(const HostGeometry& g);

}  // namespace ovt

#endif
