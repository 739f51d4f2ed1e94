// The touch screen's Control Panel item.
#ifndef OVTOUCH_APPLET_TOUCH_APPLET_H
#define OVTOUCH_APPLET_TOUCH_APPLET_H

#include "applet_settings.h"
#include "panel_applet.h"

namespace ovt {

class TouchApplet : public PanelApplet {
  public:
    TouchApplet() : registry_(0), settings_() {}
    void Attach(AppletHost* host, Registry* registry) {
        SetHost(host);
        registry_ = registry;
    }

    long OnDblclk(WindowHandle window, long appletNumber, intptr_t appletData) override;
    long OnNewInquire(long appletNumber, NewCplInfo* info) override;

    AppletSettings& Settings() { return settings_; }

  private:
    Registry* registry_;
    // Lives as long as the module: each opening starts from what the
    // previous one left.
    AppletSettings settings_;
};

}  // namespace ovt

#endif
