#include "mouse_page.h"

#include "applet_settings.h"
#include "applet/win32/resource.h"

namespace ovt {

MousePage::MousePage() : PropertyPage(IDD_PAGE_MOUSE), ModeIndex(-1), Area(0), Speed(0), AreaText(), SpeedText() {}

void MousePage::Transfer(DialogControls& c, bool save) {
    ExchangeList(c, IDC_MOUSE_MODE, &ModeIndex, save);
    ExchangeSlider(c, IDC_DBL_AREA, &Area, save);
    ExchangeSlider(c, IDC_DBL_SPEED, &Speed, save);
    ExchangeLabel(c, IDC_DBL_AREA_TEXT, &AreaText, save);
    ExchangeLabel(c, IDC_DBL_SPEED_TEXT, &SpeedText, save);
}

void MousePage::FormatLabels() {
    FormatDecimal(Area, AreaText.Text);
    FormatDecimal(Speed, SpeedText.Text);
}

bool MousePage::OnInitDialog(DialogControls& c) {
    c.AddListItem(IDC_MOUSE_MODE, " \xb4\xa5\xc3\xfe\xca\xb1\xb5\xe3\xbb\xf7 ");      // " 触摸时点击 "
    c.AddListItem(IDC_MOUSE_MODE, " \xc0\xeb\xbf\xaa\xca\xb1\xb5\xe3\xbb\xf7 ");      // " 离开时点击 "
    c.AddListItem(IDC_MOUSE_MODE, " \xcd\xcf\xb6\xaf ");                              // " 拖动 "
    c.AddListItem(IDC_MOUSE_MODE, " \xcd\xcf\xb6\xaf\xa1\xa2\xcb\xab\xbb\xf7 ");      // " 拖动、双击 "
    c.SetSliderRange(IDC_DBL_AREA, 20, 200);
    c.SetSliderRange(IDC_DBL_SPEED, 200, 2000);
    FormatLabels();
    Transfer(c, false);
    return true;
}

void MousePage::OnListChange(DialogControls& c, int id) {
    if (id == IDC_MOUSE_MODE) Transfer(c, true);
}

void MousePage::OnHScroll(DialogControls& c, int id) {
    if (id != IDC_DBL_AREA && id != IDC_DBL_SPEED) return;
    Transfer(c, true);
    FormatLabels();
    Transfer(c, false);
}

}  // namespace ovt
