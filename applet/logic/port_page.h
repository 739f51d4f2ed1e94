// Port page: the serial port the controller is attached to.
#ifndef OVTOUCH_APPLET_LOGIC_PORT_PAGE_H
#define OVTOUCH_APPLET_LOGIC_PORT_PAGE_H

#include "property_page.h"

namespace ovt {

class PortPage : public PropertyPage {
  public:
    PortPage();
    bool OnInitDialog(DialogControls& c) override;
    void OnListChange(DialogControls& c, int id) override;

    int32_t PortIndex;  // the selection, OvtListIndexOfPort of the Port value
};

}  // namespace ovt

#endif
