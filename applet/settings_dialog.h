// The host dialog 4004 and the five pages of its embedded sheet, in sheet
// order. The window side lives in the Win32 shell.
#ifndef OVTOUCH_APPLET_SETTINGS_DIALOG_H
#define OVTOUCH_APPLET_SETTINGS_DIALOG_H

#include "tab_page1.h"
#include "tab_page2.h"
#include "tab_page3.h"
#include "tab_page4.h"
#include "tab_page5.h"

namespace ovt {

class SettingsDialog {
  public:
    explicit SettingsDialog(AppletHost& host) : Page1(host) {}

    enum { kPageCount = 5 };
    PropertyPage* Page(int index);

    TabPage1 Page1;
    TabPage2 Page2;
    TabPage3 Page3;
    TabPage4 Page4;
    TabPage5 Page5;
};

inline PropertyPage* SettingsDialog::Page(int index) {
    switch (index) {
    case 0: return &Page1;
    case 1: return &Page2;
    case 2: return &Page3;
    case 3: return &Page4;
    case 4: return &Page5;
    default: return 0;
    }
}

}  // namespace ovt

#endif
