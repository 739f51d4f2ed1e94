#include "mouse_page.h"

#include "resource_ids.h"

namespace ovt {

MousePage::MousePage()
    : SliderPage(IDD_PAGE_MOUSE, IDC_MOUSE_MODE, {IDC_DBL_AREA, IDC_DBL_AREA_TEXT, &Area, &AreaText},
                 {IDC_DBL_SPEED, IDC_DBL_SPEED_TEXT, &Speed, &SpeedText}),
      Area(0), Speed(0), AreaText(), SpeedText() {}

bool MousePage::OnInitDialog(DialogControls& c) {
    c.AddListItem(IDC_MOUSE_MODE, " \xb4\xa5\xc3\xfe\xca\xb1\xb5\xe3\xbb\xf7 ");      // " 触摸时点击 "
    c.AddListItem(IDC_MOUSE_MODE, " \xc0\xeb\xbf\xaa\xca\xb1\xb5\xe3\xbb\xf7 ");      // " 离开时点击 "
    c.AddListItem(IDC_MOUSE_MODE, " \xcd\xcf\xb6\xaf ");                              // " 拖动 "
    c.AddListItem(IDC_MOUSE_MODE, " \xcd\xcf\xb6\xaf\xa1\xa2\xcb\xab\xbb\xf7 ");      // " 拖动、双击 "
    c.SetSliderRange(IDC_DBL_AREA, 20, 200);
    c.SetSliderRange(IDC_DBL_SPEED, 200, 2000);
    ShowValues(c);
    return true;
}

}  // namespace ovt
