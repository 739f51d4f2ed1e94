#include "panel_applet.h"

#include <string.h>

namespace ovt {

namespace {
PanelApplet* g_applet = 0;
}

PanelApplet::PanelApplet() : host_(0) { g_applet = this; }

PanelApplet::~PanelApplet() {
    if (g_applet == this) g_applet = 0;
}

PanelApplet* PanelApplet::Current() { return g_applet; }

long PanelApplet::OnDblclk(WindowHandle, long, intptr_t) { return 0; }
long PanelApplet::OnExit() { return 0; }
long PanelApplet::OnGetCount() { return 1; }
long PanelApplet::OnInit() { return 1; }
long PanelApplet::OnSelect(long, intptr_t) { return 1; }
long PanelApplet::OnStop(long, intptr_t) { return 1; }

void CopyField(char* field, unsigned size, const char* text) {
    size_t n = strlen(text);
    if (n >= size) n = size - 1;
    memcpy(field, text, n);
    field[n] = 0;
}

long PanelApplet::OnNewInquire(long, NewCplInfo* info) {
    memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->hIcon = static_cast<decltype(info->hIcon)>(host_ ? host_->LoadAppletIcon(1) : 0);
    CopyField(info->szName, sizeof info->szName, "Applet");
    CopyField(info->szInfo, sizeof info->szInfo, "Raw Cpl Applet");
    return 0;
}

long CplDispatch(WindowHandle window, unsigned message, intptr_t param1, intptr_t param2) {
    PanelApplet* applet = PanelApplet::Current();
    if (!applet) return 0;
    switch (message) {
    case kCplInit: return applet->OnInit();
    case kCplGetCount: return applet->OnGetCount();
    case kCplInquire: return 0;  // the record stays as the host filled it
    case kCplSelect: return applet->OnSelect(static_cast<long>(param1), param2);
    case kCplDblclk: return applet->OnDblclk(window, static_cast<long>(param1), param2);
    case kCplStop: return applet->OnStop(static_cast<long>(param1), param2);
    case kCplExit: return applet->OnExit();
    case kCplNewInquire:
        if (!param2) return 0;
        return applet->OnNewInquire(static_cast<long>(param1), reinterpret_cast<NewCplInfo*>(param2));
    default: return 1;
    }
}

}  // namespace ovt
