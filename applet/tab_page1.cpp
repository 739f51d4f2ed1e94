#include "tab_page1.h"

#include "resource.h"

namespace ovt {

TabPage1::TabPage1(AppletHost& host) : PropertyPage(IDD_PAGE_CALIBRATION), host_(host) {}

void TabPage1::OnButton(DialogControls&, int id) {
    // SW_SHOWDEFAULT; a separate process the dialog does not wait for.
    if (id == IDC_CALIBRATE) host_.StartProgram("ovtcalib.exe", 10);
}

}  // namespace ovt
