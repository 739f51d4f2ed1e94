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
        for (const char* name : {"ovtcalib.exe", "OVTouch.SYS", "ovtouch.cpl", "uninst.exe", "altclick.exe", "readme.txt"}) {
            sys.sources[name] = std::string("v1 ") + name;
        }
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

// What one installation writes, in order, for a system directory S.
inline std::vector<Write> ExpectedWrites(uint32_t port, const std::string& S) {
    const std::string svc = std::string("HKLM\\") + kServiceKeyPath;
    const std::string par = std::string("HKLM\\") + kParametersPath;
    const std::string mouse = std::string("HKCU\\") + kMousePath;
    const std::string run = std::string("HKLM\\") + kRunOncePath;
    auto d = [](uint32_t x) { return Dword(x); };
    return {
        {svc, "", 1, Bytes("OLVATouch AcousticWave TouchScreen ", true)},
        {svc, "DisplayName", 1, Bytes("OVTouch Driver", true)},
        {svc, "ErrorControl", 4, d(1)},
        {svc, "Provider", 1, Bytes("OlvaTouch Co. Ltd. ", true)},
        {svc, "Start", 4, d(0)},
        {svc, "Type", 4, d(1)},
        {par, "BeepMode", 4, d(1)},
        {par, "BeepFreq", 4, d(2000)},
        {par, "BeepTime", 4, d(20)},
        {par, "BeepFreq2", 4, d(2000)},
        {par, "BeepTime2", 4, d(20)},
        {par, "DblClkRegion", 4, d(25)},
        {par, "ButtonMode", 4, d(2)},
        {par, "MouseMode", 4, d(2)},
        {par, "Port", 4, d(port)},
        {par, "XHigh", 4, d(2048)},
        {par, "XLow", 4, d(1)},
        {par, "XOffset", 4, d(1)},
        {par, "YHigh", 4, d(2048)},
        {par, "YLow", 4, d(1)},
        {par, "YOffset", 4, d(1)},
        {mouse, "DoubleClickHeight", 1, Bytes("30", true)},
        {mouse, "DoubleClickSpeed", 1, Bytes("800", true)},
        {mouse, "DoubleClickWidth", 1, Bytes("30", true)},
        {run, "OVTouch", 1, Bytes(S + "\\ovtcalib.exe", true)},
    };
}

// What registering the driver's event log source writes.
inline std::vector<Write> EventSourceWrites() {
    const std::string key = "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\System\\OVTouch";
    return {{key, "EventMessageFile", 2, Bytes("%SystemRoot%\\System32\\Drivers\\OVTouch.SYS", true)},
            {key, "TypesSupported", 4, Dword(7)}};
}

}  // namespace ovt::setup::test

#endif
