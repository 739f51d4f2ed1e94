#include "calibration_page.h"

#include "resource_ids.h"

namespace ovt {

CalibrationPage::CalibrationPage(AppletHost& host) : PropertyPage(IDD_PAGE_CALIBRATION), host_(host) {}

void CalibrationPage::OnButton(DialogControls&, int id) {
    // SW_SHOWDEFAULT; a separate process the dialog does not wait for.
    if (id == IDC_CALIBRATE) host_.StartProgram("ovtcalib.exe", 10);
}

}  // namespace ovt
