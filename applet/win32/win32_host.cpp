#include "win32_host.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ovt {

HINSTANCE AppletModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void Win32Host::ShowMessage(WindowHandle owner, const char* text) {
    MessageBoxA(static_cast<HWND>(owner), text, NULL, MB_OK);
}

ControlDevice* Win32Host::OpenDevice() { return device_.Open() ? &device_ : 0; }

void Win32Host::CloseDevice(ControlDevice* device) {
    if (device == &device_) device_.Close();
}

IconHandle Win32Host::LoadAppletIcon(int resourceId) {
    return LoadIconA(AppletModule(), MAKEINTRESOURCEA(resourceId));
}

unsigned Win32Host::StartProgram(const char* commandLine, int show) { return WinExec(commandLine, show); }

}  // namespace ovt
