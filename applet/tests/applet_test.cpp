// The Control Panel entry, the applet's slots and the whole opening of
// the item, against the real dispatcher in-process.
#include <gtest/gtest.h>

#include <cstring>

#include "applet/logic/resource_ids.h"
#include "applet/logic/touch_applet.h"
#include "applet_fakes.h"
#include "common/ovtouch.h"
#include "tests/support/inproc_device.h"

namespace ovt::test {
namespace {

WindowHandle const kPanel = reinterpret_cast<WindowHandle>(0x1234);

class AppletTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMouseTexts();
        Store(registry, {1, 3000, 100, 1, 0, "500", "4"});
        registry.SetDword(HKLM, kParams, "ButtonMode", 1);
        registry.writes.clear();
        registry.opens.clear();  // the driver's own load
    }
    long Open() { return applet.Message(kPanel, kCplDblclk, 0, 0); }
    std::vector<uint32_t> Codes() { return device.Codes(); }

    CountingRegistry registry;
    InProcDevice device{&registry};
    RecordingHost host{&device};
    AppletSettings settings{};
    TouchApplet applet{host, registry, settings};
};

TEST_F(AppletTest, EntryTableForwardsToTheApplet) {
    struct Row {
        unsigned message;
        long result;
    } rows[] = {{kCplInit, 1}, {kCplGetCount, 1}, {kCplSelect, 1}, {kCplStop, 1}, {kCplExit, 0},
                {kCplNewInquire, 0},  // no record to fill
                {0, 1},        {9, 1},           {10, 1},         {200, 1}};
    for (const Row& r : rows) {
        EXPECT_EQ(applet.Message(kPanel, r.message, 0, 0), r.result) << r.message;
    }
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.icons.empty());
    EXPECT_TRUE(Codes().empty());
}

TEST_F(AppletTest, InquireLeavesTheRecordAlone) {
    unsigned char record[16];
    memset(record, 0xCC, sizeof record);
    EXPECT_EQ(applet.Message(kPanel, kCplInquire, 0, reinterpret_cast<intptr_t>(record)), 0);
    for (unsigned char b : record) EXPECT_EQ(b, 0xCC);
}

TEST_F(AppletTest, NewInquireFillsTheRecord) {
    NewCplInfo info;
    memset(&info, 0xCC, sizeof info);
    EXPECT_EQ(applet.Message(kPanel, kCplNewInquire, 7, reinterpret_cast<intptr_t>(&info)), 0);
    EXPECT_EQ(info.dwSize, sizeof(NewCplInfo));
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(info.dwHelpContext, 0u);
    EXPECT_EQ(info.lData, 0);
    EXPECT_EQ(host.icons, std::vector<int>{IDI_APPLET});
    EXPECT_EQ(info.hIcon, reinterpret_cast<IconHandle>(0x10000 + IDI_APPLET));
    EXPECT_STREQ(info.szName, "OLVATouch \xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // OLVATouch 设置程序
    EXPECT_EQ(strlen(info.szName) + 1, 19u);
    EXPECT_STREQ(info.szInfo, "OLVA\xbf\xd8\xd6\xc6\xc3\xe6\xb0\xe5\xc9\xe8\xd6\xc3\xb3\xcc\xd0\xf2");  // OLVA控制面板设置程序
    EXPECT_EQ(strlen(info.szInfo) + 1, 21u);
    EXPECT_STREQ(info.szHelpFile, "");
}

TEST_F(AppletTest, DriverMissingShowsOnlyTheMessage) {
    RecordingHost noDriver(nullptr);
    TouchApplet alone(noDriver, registry, settings);
    EXPECT_EQ(alone.Message(kPanel, kCplDblclk, 0, 0), 0);
    EXPECT_EQ(noDriver.log, (std::vector<std::string>{"open", "message:" GBK_DRIVER_MISSING}));
    EXPECT_EQ(noDriver.owners, std::vector<WindowHandle>{kPanel});
    EXPECT_TRUE(registry.opens.empty());
    EXPECT_TRUE(registry.writes.empty());
    EXPECT_TRUE(Codes().empty());
}

TEST_F(AppletTest, OkWithoutTouchingWritesBackWhatWasLoaded) {
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(host.log, (std::vector<std::string>{"open", "dialog", "close"}));
    EXPECT_EQ(host.dialogParent, kPanel);
    uint32_t v = 0;
    ASSERT_TRUE(registry.GetDword(HKLM, kParams, "BeepMode", &v));
    EXPECT_EQ(v, 1u);
    ASSERT_TRUE(registry.GetDword(HKLM, kParams, "BeepFreq", &v));
    EXPECT_EQ(v, 3000u);
    ASSERT_TRUE(registry.GetDword(HKLM, kParams, "BeepTime", &v));
    EXPECT_EQ(v, 100u);
    ASSERT_TRUE(registry.GetDword(HKLM, kParams, "Port", &v));
    EXPECT_EQ(v, 1u);
    ASSERT_TRUE(registry.GetDword(HKLM, kParams, "ButtonMode", &v));
    EXPECT_EQ(v, 0u);
    std::string text;
    ASSERT_TRUE(registry.GetString(HKCU, kMouse, "DoubleClickHeight", &text));
    EXPECT_EQ(text, "4");  // below the slider's range, but never moved
    ASSERT_TRUE(registry.GetString(HKCU, kMouse, "DoubleClickWidth", &text));
    EXPECT_EQ(text, "4");
    ASSERT_TRUE(registry.GetString(HKCU, kMouse, "DoubleClickSpeed", &text));
    EXPECT_EQ(text, "500");
    EXPECT_EQ(Codes(), std::vector<uint32_t>{IOCTL_TOUCH_RELOAD_PARAMETERS});
    EXPECT_EQ(device.Requests()[0].in.size(), 0u);
    EXPECT_EQ(device.Requests()[0].outLength, 0u);
}

TEST_F(AppletTest, PagesGetTheLoadedValuesAndOkTakesThemBack) {
    host.script = [&](SettingsDialog& d) {
        EXPECT_EQ(d.Sound.ModeIndex, 1);
        EXPECT_EQ(d.Sound.Frequency, 3000);
        EXPECT_EQ(d.Sound.Time, 100);
        EXPECT_EQ(d.Sound.Device, &device);
        EXPECT_EQ(d.Mouse.ModeIndex, 0);
        EXPECT_EQ(d.Mouse.Area, 4);
        EXPECT_EQ(d.Mouse.Speed, 500);
        EXPECT_EQ(d.Port.PortIndex, 0);
        // The user changes every field of every page: beep on release,
        // higher and longer; drag and double-click mode, a quicker and wider
        // double-click; COM2.
        FakeControls mouse, port, sound;
        d.Mouse.OnInitDialog(mouse);
        mouse.Choose(d.Mouse, IDC_MOUSE_MODE, 3);
        mouse.Drag(d.Mouse, IDC_DBL_SPEED, 300);
        EXPECT_EQ(d.Mouse.Area, 20);  // the other slider took its clamped position
        mouse.Drag(d.Mouse, IDC_DBL_AREA, 150);
        d.Port.OnInitDialog(port);
        port.Choose(d.Port, IDC_PORT, 1);
        d.Sound.OnInitDialog(sound);
        sound.Choose(d.Sound, IDC_BEEP_MODE, 2);
        sound.Drag(d.Sound, IDC_BEEP_FREQ, 4500);
        sound.Drag(d.Sound, IDC_BEEP_TIME, 250);
        return kDialogOk;
    };
    Open();
    const struct {
        const char* name;
        uint32_t value;
    } words[] = {{"BeepMode", 2},  {"BeepFreq", 4500}, {"BeepTime", 250},
                 {"MouseMode", 3}, {"Port", 2},        {"ButtonMode", 0}};
    for (const auto& w : words) {
        uint32_t v = 0xDEAD;
        ASSERT_TRUE(registry.GetDword(HKLM, kParams, w.name, &v)) << w.name;
        EXPECT_EQ(v, w.value) << w.name;
    }
    const struct {
        const char* name;
        const char* text;
    } texts[] = {{"DoubleClickSpeed", "300"}, {"DoubleClickHeight", "150"}, {"DoubleClickWidth", "150"}};
    for (const auto& t : texts) {
        std::string text;
        ASSERT_TRUE(registry.GetString(HKCU, kMouse, t.name, &text)) << t.name;
        EXPECT_EQ(text, t.text) << t.name;
    }
    // The reload after the dialog hands the new values to the driver.
    EXPECT_EQ(Codes(), std::vector<uint32_t>{IOCTL_TOUCH_RELOAD_PARAMETERS});
    EXPECT_EQ(device.State().Settings.MouseMode, 3u);
    EXPECT_EQ(device.State().Settings.BeepFreq, 4500u);
    EXPECT_EQ(device.State().Settings.ButtonMode, 0u);
}

TEST_F(AppletTest, CancelAndFailureWriteNothingButStillReload) {
    const int ends[] = {kDialogCancel, kDialogFailed, 0};
    for (int end : ends) {
        host.script = [end](SettingsDialog& d) {
            d.Port.PortIndex = 1;  // a choice the user then throws away
            return end;
        };
        const size_t before = Codes().size();
        Open();
        EXPECT_TRUE(registry.writes.empty()) << end;
        ASSERT_EQ(Codes().size(), before + 1);
        EXPECT_EQ(Codes().back(), IOCTL_TOUCH_RELOAD_PARAMETERS);
        EXPECT_EQ(host.log.back(), "close");
    }
}

TEST_F(AppletTest, ReloadUndoesTheRightButtonSwitchEvenOnCancel) {
    uint32_t right = 1, bytes = 0;
    device.Control(IOCTL_TOUCH_SET_BUTTON_MODE, &right, 4, nullptr, 0, &bytes);
    registry.SetDword(HKLM, kParams, "ButtonMode", 0);
    host.result = kDialogCancel;
    Open();
    EXPECT_EQ(device.State().Settings.ButtonMode, 0u);
}

TEST_F(AppletTest, MissingKeyMessageComesBeforeTheDialogWhichShowsTheFallbacks) {
    registry.DeleteKey(HKLM, kParams);
    host.script = [](SettingsDialog& d) {
        EXPECT_EQ(d.Sound.ModeIndex, 2);
        EXPECT_EQ(d.Sound.Frequency, 2000);
        EXPECT_EQ(d.Sound.Time, 32);
        EXPECT_EQ(d.Mouse.ModeIndex, 3);
        EXPECT_EQ(d.Port.PortIndex, 0);
        return kDialogCancel;
    };
    Open();
    EXPECT_EQ(host.log, (std::vector<std::string>{"open", "message:registry read fail", "dialog", "close"}));
    EXPECT_EQ(Codes(), std::vector<uint32_t>{IOCTL_TOUCH_RELOAD_PARAMETERS});
}

TEST_F(AppletTest, OkWhenTheParametersKeyCannotBeWritten) {
    registry.openFailures["hklm\\system\\currentcontrolset\\services\\ovtouch\\parameters"] = kErrorAccessDenied;
    Open();
    // Neither read nor write could open it: both messages, the user's
    // values still written, and the reload still sent.
    EXPECT_EQ(host.log, (std::vector<std::string>{"open", "message:registry read fail", "dialog",
                                                  "message:registry write fail", "close"}));
    ASSERT_EQ(registry.writes.size(), 3u);
    EXPECT_EQ(Codes(), std::vector<uint32_t>{IOCTL_TOUCH_RELOAD_PARAMETERS});
}

TEST_F(AppletTest, RegistryAccessIsAsNarrowAsNeeded) {
    Open();
    ASSERT_EQ(registry.opens.size(), 5u);  // the last is the driver's reload
    EXPECT_EQ(registry.opens[0], std::make_pair(std::string("HKLM\\") + kParams, uint32_t(kKeyQueryValue)));
    EXPECT_EQ(registry.opens[1], std::make_pair(std::string("HKCU\\") + kMouse, uint32_t(kKeyAllAccess)));
    EXPECT_EQ(registry.opens[2], std::make_pair(std::string("HKLM\\") + kParams, uint32_t(kKeySetValue)));
    EXPECT_EQ(registry.opens[3], std::make_pair(std::string("HKCU\\") + kMouse, uint32_t(kKeyAllAccess)));
    EXPECT_EQ(registry.openHandles(), 0);
}

TEST_F(AppletTest, EachOpeningStartsFromWhatThePreviousLeft) {
    registry.SetDword(HKLM, kParams, "MouseMode", 2);
    host.result = kDialogCancel;
    Open();
    RegKey k;
    registry.OpenKey(HKLM, kParams, kKeyAllAccess, &k);
    registry.DeleteValue(k, "BeepMode");
    registry.DeleteValue(k, "MouseMode");
    registry.CloseKey(k);
    host.script = [](SettingsDialog& d) {
        EXPECT_EQ(d.Sound.ModeIndex, 1);  // kept from the first opening
        EXPECT_EQ(d.Mouse.ModeIndex, 2);
        return kDialogCancel;
    };
    Open();
}

}  // namespace
}  // namespace ovt::test
