// Calibration page: when to calibrate, and a button that starts the
// calibration program.
#ifndef OVTOUCH_APPLET_TAB_PAGE1_H
#define OVTOUCH_APPLET_TAB_PAGE1_H

#include "applet_host.h"
#include "property_page.h"

namespace ovt {

class TabPage1 : public PropertyPage {
  public:
    explicit TabPage1(AppletHost& host);
    void OnButton(DialogControls& c, int id) override;

  private:
    AppletHost& host_;
};

}  // namespace ovt

#endif
