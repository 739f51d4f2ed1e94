#include "tab_page4.h"

#include "resource.h"

namespace ovt {

TabPage4::TabPage4() : PropertyPage(IDD_PAGE_PORT), PortIndex(-1) {}

bool TabPage4::OnInitDialog(DialogControls& c) {
    c.AddListItem(IDC_PORT, " COM1 ");
    c.AddListItem(IDC_PORT, " COM2 ");
    ExchangeList(c, IDC_PORT, &PortIndex, false);
    return true;
}

void TabPage4::OnListChange(DialogControls& c, int id) {
    if (id == IDC_PORT) ExchangeList(c, IDC_PORT, &PortIndex, true);
}

}  // namespace ovt
