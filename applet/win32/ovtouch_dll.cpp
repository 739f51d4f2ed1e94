// The module: its one application object holding the applet, and the
// Control Panel entry. The library has no C runtime startup of its own
// (it must stay small), so the application object is built and torn down
// here, at load and unload.
#include <windows.h>

#include <new>

#include "applet/touch_applet.h"
#include "common/user/win32_platform.h"
#include "win32_host.h"

namespace {

class AppletApp {
  public:
    AppletApp() { applet_.Attach(&host_, &registry_); }

  private:
    ovt::Win32Registry registry_;
    ovt::Win32Host host_;
    ovt::TouchApplet applet_;
};

union AppStorage {
    void* align;
    char bytes[sizeof(AppletApp)];
};
AppStorage g_appStorage;
AppletApp* g_app;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_app = new (g_appStorage.bytes) AppletApp;
    } else if (reason == DLL_PROCESS_DETACH && g_app) {
        g_app->~AppletApp();
        g_app = 0;
    }
    return TRUE;
}

extern "C" LONG APIENTRY CPlApplet(HWND window, UINT message, LPARAM param1, LPARAM param2) {
    return ovt::CplDispatch(window, message, param1, param2);
}

// Without the C++ runtime: nothing here is ever allocated with new, and a
// pure call cannot happen on a finished object.
extern "C" void __cxa_pure_virtual() { ExitProcess(3); }
void operator delete(void*) noexcept {}          // NOLINT(cert-dcl54-cpp): no operator new to pair, nothing is heap-made
void operator delete(void*, size_t) noexcept {}  // NOLINT(cert-dcl54-cpp): as above
