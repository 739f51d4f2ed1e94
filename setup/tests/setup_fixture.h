// A fresh Windows 2000 machine with the package beside the setup program.
#ifndef OVTOUCH_SETUP_TESTS_SETUP_FIXTURE_H
#define OVTOUCH_SETUP_TESTS_SETUP_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "setup/logic/actions.h"
#include "tests/support/fake_registry.h"

namespace ovt::setup::test {

using ovt::test::FakeRegistry;

constexpr char kPrograms[] = "C:\\Documents and Settings\\Administrator\\Start Menu\\Programs";

inline std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline std::vector<uint8_t> Bytes(const std::string& s, bool nul) {
    std::vector<uint8_t> v(s.begin(), s.end());
    if (nul) v.push_back(0);
    return v;
}

inline std::vector<uint8_t> Dword(uint32_t x) {
    return {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)};
}

struct Write {
    std::string key, name;
    uint32_t type;
    std::vector<uint8_t> data;
    bool operator==(const Write& o) const {
        return Lower(key) == Lower(o.key) && name == o.name && type == o.type && data == o.data;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Write& w) {
    os << w.key << " [" << w.name << "] type " << w.type << " " << w.data.size() << " bytes:";
    for (auto b : w.data) os << ' ' << int(b);
    return os;
}

class SetupFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        reg.AddKey(RegRoot::LocalMachine, kServicesPath);
        reg.SetString(RegRoot::CurrentUser, kMousePath, "DoubleClickSpeed", "500");
        reg.SetString(RegRoot::CurrentUser, kMousePath, "MouseSpeed", "1");
        reg.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, kPrograms);
        sys.AddFolder(kPrograms);
        for (const OvtPackageFile& file : kOvtPackageFiles) sys.sources[file.Name] = std::string("v1 ") + file.Name;
    }

    std::vector<Write> Writes() const {
        std::vector<Write> out;
        for (auto& w : reg.writes) out.push_back({w.key, w.name, w.type, w.data});
        return out;
    }

    void InstallAll(uint32_t port = 1) {
        installer.CopyPackageFiles(ui);
        installer.WriteRegistrySettings(ui, port);
        installer.RegisterEventSource();
        installer.CreateStartMenuShortcuts(ui);
    }

    std::string S() const { return sys.systemDir; }
    std::string W() const { return sys.windowsDir; }

    FakeSystem sys;
    FakeRegistry reg;
    FakeUi ui;
    Installer installer{sys, reg};
};

inline Write Sz(const std::string& key, const char* name, const std::string& text, uint32_t type = 1) {
    return {key, name, type, Bytes(text, true)};
}
inline Write Dw(const std::string& key, const char* name, uint32_t value) { return {key, name, 4, Dword(value)}; }

// What one installation writes, in order, for a system directory S: the
// literal values, never the tables under test.
inline std::vector<Write> ExpectedWrites(uint32_t port, const std::string& S) {
    const std::string svc = "HKLM\\System\\CurrentControlSet\\Services\\OVTouch";
    const std::string par = svc + "\\Parameters", mouse = "HKCU\\Control Panel\\Mouse";
    return {Sz(svc, "", "OLVATouch AcousticWave TouchScreen "), Sz(svc, "DisplayName", "OVTouch Driver"),
            Dw(svc, "ErrorControl", 1), Sz(svc, "Provider", "OlvaTouch Co. Ltd. "), Dw(svc, "Start", 0),
            Dw(svc, "Type", 1), Dw(par, "BeepMode", 1), Dw(par, "BeepFreq", 2000), Dw(par, "BeepTime", 20),
            Dw(par, "BeepFreq2", 2000), Dw(par, "BeepTime2", 20), Dw(par, "DblClkRegion", 25),
            Dw(par, "ButtonMode", 2), Dw(par, "MouseMode", 2), Dw(par, "Port", port), Dw(par, "XHigh", 2048),
            Dw(par, "XLow", 1), Dw(par, "XOffset", 1), Dw(par, "YHigh", 2048), Dw(par, "YLow", 1),
            Dw(par, "YOffset", 1), Sz(mouse, "DoubleClickHeight", "30"), Sz(mouse, "DoubleClickSpeed", "800"),
            Sz(mouse, "DoubleClickWidth", "30"),
            Sz("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "OVTouch", S + "\\ovtcalib.exe")};
}

// What registering the driver's event log source writes: the driver's
// entries are errors, warnings and information (1 | 2 | 4).
inline std::vector<Write> EventSourceWrites() {
    const std::string key = "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\System\\OVTouch";
    return {Sz(key, "EventMessageFile", "%SystemRoot%\\System32\\Drivers\\OVTouch.SYS", 2),
            Dw(key, "TypesSupported", 7)};
}

}  // namespace ovt::setup::test

#endif
