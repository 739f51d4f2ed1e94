// The host dialog 4004 and the five pages of its embedded sheet, in sheet
// order. The window side lives in the Win32 shell.
#ifndef OVTOUCH_APPLET_LOGIC_SETTINGS_DIALOG_H
#define OVTOUCH_APPLET_LOGIC_SETTINGS_DIALOG_H

#include "calibration_page.h"
#include "sound_page.h"
#include "mouse_page.h"
#include "port_page.h"
#include "version_page.h"

namespace ovt {

class SettingsDialog {
  public:
    explicit SettingsDialog(AppletHost& host) : Calibration(host) {}

    enum { kPageCount = 5 };
    PropertyPage* Page(int index);

    CalibrationPage Calibration;
    SoundPage Sound;
    MousePage Mouse;
    PortPage Port;
    VersionPage Version;
};

inline PropertyPage* SettingsDialog::Page(int index) {
    switch (index) {
    case 0: return &Calibration;
    case 1: return &Sound;
    case 2: return &Mouse;
    case 3: return &Port;
    case 4: return &Version;
    default: return 0;
    }
}

}  // namespace ovt

#endif
