// Version page: the product picture and version texts, nothing to edit.
#ifndef OVTOUCH_APPLET_LOGIC_VERSION_PAGE_H
#define OVTOUCH_APPLET_LOGIC_VERSION_PAGE_H

#include "property_page.h"
#include "resource_ids.h"

namespace ovt {

class VersionPage : public PropertyPage {
  public:
    VersionPage() : PropertyPage(IDD_PAGE_VERSION) {}
};

}  // namespace ovt

#endif
