#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "setup/logic/texts.h"
#include "setup/logic/uninstall.h"
#include "setup_fixture.h"

namespace ovt::setup::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ScriptedUi : public UninstallUi {
  public:
    bool Confirm(const char* text, const char* caption) override {
        events.push_back(std::string("ask ") + text + " | " + caption);
        return answer;
    }
    void Message(const char* text, const char* caption) override {
        events.push_back(std::string("tell ") + text + " | " + caption);
    }
    bool answer = true;
    std::vector<std::string> events;
};

const std::string kAsk = std::string("ask ") + kTextUninstConfirm + " | " + kTextUninstTitle;
const std::string kDone = std::string("tell ") + kTextUninstRemoved + kTextUninstRestart + " | " + kTextUninstTitle;

class UninstallTest : public SetupFixture {
  protected:
    void SetUp() override {
        SetupFixture::SetUp();
        InstallAll(2);
        ASSERT_THAT(ui.errors(), IsEmpty());
        sys.log.clear();
    }
    bool Run() { return Uninstall(sys, reg, out, &report); }
    std::string Folder() const { return std::string(kPrograms) + "\\OVTouch"; }

    ScriptedUi out;
    UninstallReport report;
};

TEST_F(UninstallTest, NoLeavesEverythingAsItWas) {
    out.answer = false;
    const auto writes = reg.writes.size();
    EXPECT_FALSE(Run());
    EXPECT_THAT(out.events, ElementsAre(kAsk));
    EXPECT_THAT(sys.log, IsEmpty());
    EXPECT_EQ(reg.writes.size(), writes);
    EXPECT_TRUE(reg.HasKey(RegRoot::LocalMachine, kParametersPath));
}

TEST_F(UninstallTest, RemovesLinksRegistryAndFilesInOrderAndNamesTheRestart) {
    EXPECT_TRUE(Run());
    EXPECT_THAT(out.events, ElementsAre(kAsk, kDone));
    const std::string f = Folder();
    EXPECT_THAT(sys.log, ElementsAre("DeleteFile " + f + "\\OVTCalib.lnk", "DeleteFile " + f + "\\AltClick.lnk",
                                     "DeleteFile " + f + "\\Uninst.lnk", "DeleteFile " + f + "\\readme.lnk",
                                     "RemoveDirectory " + f, "DeleteFile C:\\WINNT\\system32\\ovtcalib.exe",
                                     "DeleteFile C:\\WINNT\\system32\\Drivers\\OVTouch.SYS",
                                     "DeleteFile C:\\WINNT\\system32\\ovtouch.cpl",
                                     "DeleteFile C:\\WINNT\\OVTouch\\altclick.exe",
                                     "DeleteFile C:\\WINNT\\OVTouch\\readme.txt",
                                     "DeleteFile C:\\WINNT\\OVTouch\\uninst.exe", "RemoveDirectory C:\\WINNT\\OVTouch"));
    EXPECT_TRUE(sys.FilesUnder("C:\\WINNT\\OVTouch").empty());
    EXPECT_FALSE(sys.HasFolder("C:\\WINNT\\OVTouch"));
    EXPECT_FALSE(sys.HasFolder(f));
    EXPECT_TRUE(sys.HasFolder(kPrograms));
    EXPECT_FALSE(reg.HasKey(RegRoot::LocalMachine, kServiceKeyPath));
    EXPECT_FALSE(reg.HasKey(RegRoot::LocalMachine, kParametersPath));
    EXPECT_FALSE(reg.HasKey(RegRoot::LocalMachine, kEventSourcePath));
    EXPECT_TRUE(reg.HasKey(RegRoot::LocalMachine, kServicesPath));
    EXPECT_FALSE(reg.HasValue(RegRoot::LocalMachine, kRunOncePath, kRunOnceValue));
    // The user's double-click settings are the user's now.
    EXPECT_TRUE(reg.HasValue(RegRoot::CurrentUser, kMousePath, "DoubleClickSpeed"));
    EXPECT_EQ(report.removed, 4 + 1 + 1 + 1 + 1 + 1 + 6 + 1);
    EXPECT_EQ(report.scheduled, 0);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST_F(UninstallTest, FilesInUseAreLeftToTheRestartAndGoneAfterIt) {
    sys.inUse = {"c:\\winnt\\system32\\drivers\\ovtouch.sys", "c:\\winnt\\ovtouch\\uninst.exe"};
    EXPECT_TRUE(Run());
    EXPECT_THAT(out.events, ElementsAre(kAsk, kDone));
    // The folder's own turn comes after its files'.
    EXPECT_THAT(sys.pending, ElementsAre("C:\\WINNT\\system32\\Drivers\\OVTouch.SYS", "C:\\WINNT\\OVTouch\\uninst.exe",
                                         "C:\\WINNT\\OVTouch"));
    EXPECT_EQ(report.scheduled, 3);
    EXPECT_TRUE(sys.HasFile("C:\\WINNT\\system32\\Drivers\\OVTouch.SYS"));
    sys.Restart();
    EXPECT_FALSE(sys.HasFile("C:\\WINNT\\system32\\Drivers\\OVTouch.SYS"));
    EXPECT_FALSE(sys.HasFolder("C:\\WINNT\\OVTouch"));
}

TEST_F(UninstallTest, WhatCannotBeRemovedEvenAtTheRestartIsListed) {
    sys.inUse = {"c:\\winnt\\system32\\drivers\\ovtouch.sys"};
    sys.scheduleFails = {"c:\\winnt\\system32\\drivers\\ovtouch.sys"};
    reg.AddKey(RegRoot::LocalMachine, std::string(kServiceKeyPath) + "\\Other");
    EXPECT_TRUE(Run());
    ASSERT_EQ(out.events.size(), 2u);
    EXPECT_EQ(out.events[1], std::string("tell ") + kTextUninstPartly +
                                 "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\OVTouch\n"
                                 "C:\\WINNT\\system32\\Drivers\\OVTouch.SYS\n" +
                                 kTextUninstRestart + " | " + kTextUninstTitle);
    EXPECT_EQ(report.failed, 2);
    // Everything else went all the same.
    EXPECT_FALSE(sys.HasFile("C:\\WINNT\\system32\\ovtcalib.exe"));
    EXPECT_FALSE(reg.HasKey(RegRoot::LocalMachine, kParametersPath));
}

TEST_F(UninstallTest, SubkeysTheSystemAddsAreRemovedWithTheServiceKey) {
    reg.SetDword(RegRoot::LocalMachine, std::string(kServiceKeyPath) + "\\Enum", "Count", 1);
    reg.AddKey(RegRoot::LocalMachine, std::string(kServiceKeyPath) + "\\Security");
    EXPECT_TRUE(Run());
    EXPECT_THAT(out.events, ElementsAre(kAsk, kDone));
    EXPECT_FALSE(reg.HasKey(RegRoot::LocalMachine, kServiceKeyPath));
}

// A second run, or a Windows directory too long to name the package's
// files: nothing that is not there is left to the restart, and nothing that
// could not be named goes unlisted.
enum class Unusual { SecondRun, WindowsDirectoryTooLong };

class UnusualRunTest : public UninstallTest, public ::testing::WithParamInterface<Unusual> {};

TEST_P(UnusualRunTest, NothingMissingIsScheduledNothingSkippedIsUnlisted) {
    const std::string w = "C:\\" + std::string(300, 'w');
    std::string listed;
    int removed = 0;
    if (GetParam() == Unusual::SecondRun) {
        ASSERT_TRUE(Run());
        out.events.clear();
        report = UninstallReport();
    } else {
        sys.windowsDir = w;
        for (const char* tail :
             {"\\OVTouch\\altclick.exe", "\\OVTouch\\readme.txt", "\\OVTouch\\uninst.exe", "\\OVTouch"}) {
            listed += "path too long: " + w + tail + "\n";
        }
        removed = 4 + 1 + 1 + 1 + 1 + 1 + 3;  // links, their folder, RunOnce, two keys, the event source, the system files
    }
    EXPECT_TRUE(Run());
    EXPECT_THAT(sys.pending, IsEmpty());
    EXPECT_EQ(report.removed, removed);
    EXPECT_THAT(out.events, ElementsAre(kAsk, listed.empty() ? kDone
                                                             : std::string("tell ") + kTextUninstPartly + listed +
                                                                   kTextUninstRestart + " | " + kTextUninstTitle));
}

INSTANTIATE_TEST_SUITE_P(Uninstall, UnusualRunTest,
                         ::testing::Values(Unusual::SecondRun, Unusual::WindowsDirectoryTooLong),
                         [](const ::testing::TestParamInfo<Unusual>& i) {
                             return i.param == Unusual::SecondRun ? "SecondRun" : "WindowsDirectoryTooLong";
                         });

TEST_F(UninstallTest, AnUnreadableStartMenuIsListedAndTheRestStillGoes) {
    reg.SetDword(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, 1);
    EXPECT_TRUE(Run());
    EXPECT_EQ(out.events[1], std::string("tell ") + kTextUninstPartly + "can't read registry value Programs\n" +
                                 kTextUninstRestart + " | " + kTextUninstTitle);
    EXPECT_TRUE(sys.HasFile(Folder() + "\\readme.lnk"));
    EXPECT_FALSE(sys.HasFolder("C:\\WINNT\\OVTouch"));
}

}  // namespace
}  // namespace ovt::setup::test
