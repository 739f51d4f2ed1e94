// The touch screen's Control Panel item: its answers to the Control Panel
// and the opening of the settings dialog.
#ifndef OVTOUCH_APPLET_LOGIC_TOUCH_APPLET_H
#define OVTOUCH_APPLET_LOGIC_TOUCH_APPLET_H

#include "applet_settings.h"
#include "cpl_types.h"

namespace ovt {

class TouchApplet {
  public:
    // `settings` outlives the applet: each opening starts from what the
    // previous one left.
    TouchApplet(AppletHost& host, Registry& registry, AppletSettings& settings)
        : host_(host), registry_(registry), settings_(settings) {}

    // The body of CPlApplet.
    long Message(WindowHandle window, unsigned message, intptr_t param1, intptr_t param2);

    // CPL_DBLCLK: the settings dialog, then the driver's reload.
    long Open(WindowHandle window);
    // CPL_NEWINQUIRE.
    long Inquire(NewCplInfo* info);

  private:
    AppletHost& host_;
    Registry& registry_;
    AppletSettings& settings_;
};

// Copies a text into a fixed field, cut to fit and terminated.
void CopyField(char* field, unsigned size, const char* text);

}  // namespace ovt

#endif
