// Test doubles for the applet: a host that records what the applet shows
// and starts, page controls that behave like the platform's, and a
// registry that counts its openings.
#ifndef OVTOUCH_APPLET_TESTS_APPLET_FAKES_H
#define OVTOUCH_APPLET_TESTS_APPLET_FAKES_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "applet/logic/applet_host.h"
#include "applet/logic/applet_settings.h"
#include "applet/logic/property_page.h"
#include "applet/logic/settings_dialog.h"
#include "common/ovtouch.h"
#include "common/ovtouch_values.h"
#include "tests/support/fake_registry.h"

namespace ovt::test {

// The two keys the applet reads and writes.
const char* const kParams = OVT_PARAMETERS_KEY_PATH;
const char* const kMouse = OVT_MOUSE_KEY_PATH;
const RegRoot HKLM = RegRoot::LocalMachine;
const RegRoot HKCU = RegRoot::CurrentUser;

// What a test stores before the applet reads: the driver's values and the
// user's double-click texts.
struct StoredValues {
    uint32_t beepMode, beepFreq, beepTime, port, mouseMode;
    const char* speed;
    const char* height;
};

inline void Store(FakeRegistry& registry, const StoredValues& v) {
    registry.SetDword(HKLM, kParams, "BeepMode", v.beepMode);
    registry.SetDword(HKLM, kParams, "BeepFreq", v.beepFreq);
    registry.SetDword(HKLM, kParams, "BeepTime", v.beepTime);
    registry.SetDword(HKLM, kParams, "Port", v.port);
    registry.SetDword(HKLM, kParams, "MouseMode", v.mouseMode);
    registry.SetString(HKCU, kMouse, "DoubleClickSpeed", v.speed);
    registry.SetString(HKCU, kMouse, "DoubleClickHeight", v.height);
}

// Narrow texts as GBK bytes.
#define GBK_DRIVER_MISSING "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xce\xb4\xb0\xb2\xd7\xb0\xa3\xa1"  // 驱动程序未安装！

class FakeControls : public DialogControls {
  public:
    struct Slider {
        int low = 0, high = 100, pos = 0;
    };
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selection;
    std::map<int, Slider> sliders;
    std::map<int, std::string> texts;  // labels start as their template text

    void AddListItem(int id, const char* text) override { lists[id].push_back(text); }
    int ListSelection(int id) override { return selection.count(id) ? selection[id] : -1; }
    void SelectListItem(int id, int index) override {
        // CB_SETCURSEL: an index outside the list clears the selection.
        selection[id] = index >= 0 && index < int(lists[id].size()) ? index : -1;
    }
    void SetSliderRange(int id, int low, int high) override {
        Slider& s = sliders[id];
        s.low = low;
        s.high = high;
        s.pos = Clamp(s, s.pos);
    }
    int SliderPosition(int id) override { return sliders[id].pos; }
    void SetSliderPosition(int id, int position) override { sliders[id].pos = Clamp(sliders[id], position); }
    void GetText(int id, char* buffer, int size) override {
        std::string t = texts.count(id) ? texts[id] : "Static";
        snprintf(buffer, size, "%s", t.c_str());
    }
    void SetText(int id, const char* text) override { texts[id] = text; }

    // The user drags a slider: the position moves, the page hears of it.
    void Drag(PropertyPage& page, int id, int position) {
        SetSliderPosition(id, position);
        page.OnHScroll(*this, id);
    }
    void Choose(PropertyPage& page, int id, int index) {
        SelectListItem(id, index);
        page.OnListChange(*this, id);
    }

  private:
    static int Clamp(const Slider& s, int v) { return v < s.low ? s.low : v > s.high ? s.high : v; }
};

// One line per thing the applet did through its host, in order.
class RecordingHost : public AppletHost {
  public:
    explicit RecordingHost(ControlDevice* device) : device_(device) {}

    void ShowMessage(WindowHandle owner, const char* text) override {
        log.push_back(std::string("message:") + text);
        owners.push_back(owner);
    }
    ControlDevice* OpenDevice() override {
        log.push_back("open");
        return device_;
    }
    void CloseDevice(ControlDevice* device) override {
        log.push_back(device == device_ ? "close" : "close:other");
    }
    int RunSettingsDialog(WindowHandle parent, SettingsDialog& dialog) override {
        log.push_back("dialog");
        dialogParent = parent;
        return script ? script(dialog) : result;
    }
    IconHandle LoadAppletIcon(int id) override {
        icons.push_back(id);
        return reinterpret_cast<IconHandle>(static_cast<intptr_t>(0x10000 + id));
    }
    unsigned StartProgram(const char* commandLine, int show) override {
        programs.push_back({commandLine, show});
        return 33;
    }

    std::vector<std::string> log;
    std::vector<WindowHandle> owners;
    std::vector<int> icons;
    std::vector<std::pair<std::string, int>> programs;
    WindowHandle dialogParent = nullptr;
    // What the user does in the dialog; without a script it ends with `result`.
    std::function<int(SettingsDialog&)> script;
    int result = kDialogOk;

  private:
    ControlDevice* device_;
};

class CountingRegistry : public FakeRegistry {
  public:
    long OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key) override {
        opens.push_back({root == RegRoot::LocalMachine ? std::string("HKLM\\") + path : std::string("HKCU\\") + path,
                         access});
        return FakeRegistry::OpenKey(root, path, access, key);
    }
    std::vector<std::pair<std::string, uint32_t>> opens;
};

}  // namespace ovt::test

#endif
