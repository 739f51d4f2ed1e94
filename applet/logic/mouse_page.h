// Mouse mode page: the driver's mouse mode and the user's double-click
// area and speed.
#ifndef OVTOUCH_APPLET_LOGIC_MOUSE_PAGE_H
#define OVTOUCH_APPLET_LOGIC_MOUSE_PAGE_H

#include "slider_page.h"

namespace ovt {

class MousePage : public SliderPage {
  public:
    MousePage();
    bool OnInitDialog(DialogControls& c) override;

    int32_t Area;
    int32_t Speed;
    LabelText AreaText;
    LabelText SpeedText;
};

}  // namespace ovt

#endif
