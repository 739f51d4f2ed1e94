// The module's Control Panel entry. The library has no C runtime startup
// (it must stay small), so nothing here needs constructing at load: the
// settings are plain data, and the system side is made for each call.
#include <windows.h>

#include "applet/logic/touch_applet.h"
#include "common/user/win32_platform.h"
#include "win32_host.h"

namespace {
// Zero at load; each opening starts from what the previous one left.
ovt::AppletSettings g_settings;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" LONG APIENTRY CPlApplet(HWND window, UINT message, LPARAM param1, LPARAM param2) {
    ovt::Win32Registry registry;
    ovt::Win32Host host;
    return ovt::TouchApplet(host, registry, g_settings).Message(window, message, param1, param2);
}
