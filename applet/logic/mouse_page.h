// Mouse mode page: the driver's mouse mode and the user's double-click
// area and speed.
#ifndef OVTOUCH_APPLET_LOGIC_MOUSE_PAGE_H
#define OVTOUCH_APPLET_LOGIC_MOUSE_PAGE_H

#include "property_page.h"

namespace ovt {

class MousePage : public PropertyPage {
  public:
    MousePage();
    bool OnInitDialog(DialogControls& c) override;
    void OnListChange(DialogControls& c, int id) override;
    void OnHScroll(DialogControls& c, int id) override;

    int32_t ModeIndex;
    int32_t Area;
    int32_t Speed;
    LabelText AreaText;
    LabelText SpeedText;

  private:
    void Transfer(DialogControls& c, bool save);
    void FormatLabels();
};

}  // namespace ovt

#endif
