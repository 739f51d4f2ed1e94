// Calibration page: when to calibrate, and a button that starts the
// calibration program.
#ifndef OVTOUCH_APPLET_LOGIC_CALIBRATION_PAGE_H
#define OVTOUCH_APPLET_LOGIC_CALIBRATION_PAGE_H

#include "applet_host.h"
#include "property_page.h"

namespace ovt {

class CalibrationPage : public PropertyPage {
  public:
    explicit CalibrationPage(AppletHost& host);
    void OnButton(DialogControls& c, int id) override;

  private:
    AppletHost& host_;
};

}  // namespace ovt

#endif
