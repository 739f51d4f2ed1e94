// The applet's system side on Windows.
#ifndef OVTOUCH_APPLET_WIN32_WIN32_HOST_H
#define OVTOUCH_APPLET_WIN32_WIN32_HOST_H

#include <windows.h>

#include "applet/logic/applet_host.h"
#include "common/user/win32_platform.h"

namespace ovt {

HINSTANCE AppletModule();

class Win32Host : public AppletHost {
  public:
    void ShowMessage(WindowHandle owner, const char* text) override;
    ControlDevice* OpenDevice() override;
    void CloseDevice(ControlDevice* device) override;
    int RunSettingsDialog(WindowHandle parent, SettingsDialog& dialog) override;
    IconHandle LoadAppletIcon(int resourceId) override;
    unsigned StartProgram(const char* commandLine, int show) override;

  private:
    Win32ControlDevice device_;
};

}  // namespace ovt

#endif
