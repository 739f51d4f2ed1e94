// Version page: the product picture and version texts, nothing to edit.
#ifndef OVTOUCH_APPLET_TAB_PAGE5_H
#define OVTOUCH_APPLET_TAB_PAGE5_H

#include "property_page.h"
#include "resource.h"

namespace ovt {

class TabPage5 : public PropertyPage {
  public:
    TabPage5() : PropertyPage(IDD_PAGE_VERSION) {}
};

}  // namespace ovt

#endif
