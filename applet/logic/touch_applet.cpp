#include "touch_applet.h"

#include <string.h>

#include "common/ovtouch.h"
#include "resource_ids.h"
#include "settings_dialog.h"

namespace ovt {

void CopyField(char* field, unsigned size, const char* text) {
    size_t n = strlen(text);
    if (n >= size) n = size - 1;
    memcpy(field, text, n);
    field[n] = 0;
}

long TouchApplet::Message(WindowHandle window, unsigned message, intptr_t, intptr_t param2) {
    switch (message) {
    case kCplInit: return 1;
    case kCplGetCount: return 1;
    case kCplInquire: return 0;  // the record stays as the host filled it
    case kCplSelect: return 1;
    case kCplDblclk: return Open(window);
    case kCplStop: return 1;
    case kCplExit: return 0;
    case kCplNewInquire: return param2 ? Inquire(reinterpret_cast<NewCplInfo*>(param2)) : 0;
    // CPL_STARTWPARMS and anything newer: handled, so a host that asks
    // before CPL_DBLCLK still opens the dialog.
    default: return 1;
    }
}

long TouchApplet::Inquire(NewCplInfo* info) {
    memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->hIcon = static_cast<decltype(info->hIcon)>(host_.LoadAppletIcon(IDI_APPLET));
    CopyField(info->szName, sizeof info->szName, "OLVATouch \xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // "OLVATouch 设置程序"
    CopyField(info->szInfo, sizeof info->szInfo,
              "OLVA\xbf\xd8\xd6\xc6\xc3\xe6\xb0\xe5\xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // "OLVA控制面板设置程序"
    return 0;
}

long TouchApplet::Open(WindowHandle window) {
    ControlDevice* device = host_.OpenDevice();
    if (!device) {
        host_.ShowMessage(window, "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xce\xb4\xb0\xb2\xd7\xb0\xa3\xa1");  // "驱动程序未安装！"
        return 0;
    }
    {
        SettingsDialog dialog(host_);
        LoadSettings(&settings_, registry_, host_);

        dialog.Sound.SetValues(static_cast<int32_t>(settings_.BeepMode), static_cast<int32_t>(settings_.BeepTime),
                               static_cast<int32_t>(settings_.BeepFreq), device);
        dialog.Mouse.ModeIndex = static_cast<int32_t>(settings_.MouseMode);
        dialog.Mouse.Area = settings_.DoubleClickHeight;
        dialog.Mouse.Speed = settings_.DoubleClickSpeed;
        dialog.Port.PortIndex = OvtListIndexOfPort(settings_.Port);

        if (host_.RunSettingsDialog(window, dialog) == kDialogOk) {
            settings_.BeepFreq = static_cast<uint32_t>(dialog.Sound.Frequency);
            settings_.BeepTime = static_cast<uint32_t>(dialog.Sound.Time);
            settings_.BeepMode = static_cast<uint32_t>(dialog.Sound.ModeIndex);
            settings_.Port = OvtPortOfListIndex(dialog.Port.PortIndex);
            settings_.MouseMode = static_cast<uint32_t>(dialog.Mouse.ModeIndex);
            settings_.DoubleClickHeight = dialog.Mouse.Area;
            settings_.DoubleClickSpeed = dialog.Mouse.Speed;
            SaveSettings(settings_, registry_, host_);
        }

        uint32_t bytes = 0;
        device->Control(IOCTL_TOUCH_RELOAD_PARAMETERS, 0, 0, 0, 0, &bytes);
        host_.CloseDevice(device);
    }
    return 0;
}

}  // namespace ovt
