#include "port_page.h"

#include "resource_ids.h"

namespace ovt {

PortPage::PortPage() : PropertyPage(IDD_PAGE_PORT), PortIndex(-1) {}

bool PortPage::OnInitDialog(DialogControls& c) {
    c.AddListItem(IDC_PORT, " COM1 ");
    c.AddListItem(IDC_PORT, " COM2 ");
    ExchangeList(c, IDC_PORT, &PortIndex, false);
    return true;
}

void PortPage::OnListChange(DialogControls& c, int id) {
    if (id == IDC_PORT) ExchangeList(c, IDC_PORT, &PortIndex, true);
}

}  // namespace ovt
