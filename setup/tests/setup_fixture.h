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

// The writes of a table's values to key, in order; Port takes port. The
// values themselves are checked on an installed system (the Wine tier).
template <size_t N>
void AddWrites(std::vector<Write>& out, const std::string& key, const RegistryValue (&values)[N], uint32_t port = 0) {
    for (const RegistryValue& v : values) {
        const uint32_t number = std::string(v.name) == "Port" ? port : v.number;
        out.push_back({key, v.name, v.type, v.text ? Bytes(v.text, true) : Dword(number)});
    }
}

// What one installation writes, in order, for a system directory S.
inline std::vector<Write> ExpectedWrites(uint32_t port, const std::string& S) {
    std::vector<Write> out;
    AddWrites(out, std::string("HKLM\\") + kServiceKeyPath, kServiceValues);
    AddWrites(out, std::string("HKLM\\") + kParametersPath, kParameterValues, port);
    AddWrites(out, "HKCU\\Control Panel\\Mouse", kMouseValues);
    out.push_back({std::string("HKLM\\") + kRunOncePath, "OVTouch", 1, Bytes(S + "\\ovtcalib.exe", true)});
    return out;
}

// What registering the driver's event log source writes.
inline std::vector<Write> EventSourceWrites() {
    std::vector<Write> out;
    AddWrites(out, "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\System\\OVTouch", kEventSourceValues);
    return out;
}

}  // namespace ovt::setup::test

#endif
