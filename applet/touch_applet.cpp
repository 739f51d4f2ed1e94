#include "touch_applet.h"

#include <string.h>

#include "common/ovtouch.h"
#include "resource.h"
#include "settings_dialog.h"

namespace ovt {

long TouchApplet::OnNewInquire(long, NewCplInfo* info) {
    memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->hIcon = static_cast<decltype(info->hIcon)>(host_->LoadAppletIcon(IDI_APPLET));
    CopyField(info->szName, sizeof info->szName, "OLVATouch \xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // "OLVATouch 设置程序"
    CopyField(info->szInfo, sizeof info->szInfo,
              "OLVA\xbf\xd8\xd6\xc6\xc3\xe6\xb0\xe5\xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // "OLVA控制面板设置程序"
    return 0;
}

long TouchApplet::OnDblclk(WindowHandle window, long, intptr_t) {
    settings_.Device = host_->OpenDevice();
    if (!settings_.Device) {
        host_->ShowMessage(window, "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xce\xb4\xb0\xb2\xd7\xb0\xa3\xa1");  // "驱动程序未安装！"
        return 0;
    }
    ControlDevice* device = settings_.Device;
    {
        SettingsDialog dialog(*host_);
        LoadSettings(&settings_, *registry_, *host_);

        dialog.Page2.SetValues(static_cast<int32_t>(settings_.BeepMode), static_cast<int32_t>(settings_.BeepTime),
                               static_cast<int32_t>(settings_.BeepFreq), device);
        dialog.Page3.ModeIndex = static_cast<int32_t>(settings_.MouseMode);
        dialog.Page3.Area = settings_.DoubleClickHeight;
        dialog.Page3.Speed = settings_.DoubleClickSpeed;
        dialog.Page4.PortIndex = static_cast<int32_t>(settings_.Port) - 1;

        if (host_->RunSettingsDialog(window, dialog) == kDialogOk) {
            settings_.BeepFreq = static_cast<uint32_t>(dialog.Page2.Frequency);
            settings_.BeepTime = static_cast<uint32_t>(dialog.Page2.Time);
            settings_.BeepMode = static_cast<uint32_t>(dialog.Page2.ModeIndex);
            settings_.Port = static_cast<uint32_t>(dialog.Page4.PortIndex + 1);
            settings_.MouseMode = static_cast<uint32_t>(dialog.Page3.ModeIndex);
            settings_.DoubleClickHeight = dialog.Page3.Area;
            settings_.DoubleClickSpeed = dialog.Page3.Speed;
            SaveSettings(settings_, *registry_, *host_);
        }

        uint32_t bytes = 0;
        device->Control(IOCTL_TOUCH_RELOAD_PARAMETERS, 0, 0, 0, 0, &bytes);
        host_->CloseDevice(device);
        settings_.Device = 0;
    }
    return 0;
}

}  // namespace ovt
