// What the applet needs from the system besides the registry: message
// boxes, the control device, running the settings dialog, icons and
// starting programs. Win32 in the library, a recorder in the host tests.
#ifndef OVTOUCH_APPLET_LOGIC_APPLET_HOST_H
#define OVTOUCH_APPLET_LOGIC_APPLET_HOST_H

#include "common/user/control_device.h"
#include "cpl_types.h"

namespace ovt {

class SettingsDialog;

// Results of running the host dialog.
enum : int { kDialogOk = 1, kDialogCancel = 2, kDialogFailed = -1 };

class AppletHost {
  public:
    // Default caption, one OK button, no icon.
    virtual void ShowMessage(WindowHandle owner, const char* text) = 0;
    // "\\.\ovtouch"; null when it cannot be opened.
    virtual ControlDevice* OpenDevice() = 0;
    virtual void CloseDevice(ControlDevice* device) = 0;
    // Runs dialog 4004 modally; returns kDialogOk, kDialogCancel or kDialogFailed.
    virtual int RunSettingsDialog(WindowHandle parent, SettingsDialog& dialog) = 0;
    virtual IconHandle LoadAppletIcon(int resourceId) = 0;
    // WinExec: returns the platform's result (above 31 on success).
    virtual unsigned StartProgram(const char* commandLine, int show) = 0;

  protected:
    // Never deleted through the interface: no deleting destructor, so the
    // applet links without the C++ runtime.
    ~AppletHost() = default;
};

}  // namespace ovt

#endif
