// uninst.exe: asks, removes what the setup made, and says that a restart
// finishes the job.
#include <windows.h>

#include "common/user/win32_platform.h"
#include "setup/win32/win32_install_platform.h"
#include "setup/logic/uninstall.h"

using namespace ovt::setup;

namespace {
class MessageBoxUi : public UninstallUi {
  public:
    bool Confirm(const char* text, const char* caption) override {
        return MessageBoxA(NULL, text, caption, MB_YESNO | MB_DEFBUTTON2) == IDYES;
    }
    void Message(const char* text, const char* caption) override { MessageBoxA(NULL, text, caption, MB_OK); }
};
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Win32UninstallPlatform platform;
    ovt::Win32Registry registry;
    MessageBoxUi ui;
    UninstallReport report;
    if (!Uninstall(platform, registry, ui, &report)) return 1;
    return report.failed ? 2 : 0;
}
