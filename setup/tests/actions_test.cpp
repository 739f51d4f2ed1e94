#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "setup/logic/paths.h"
#include "setup/logic/texts.h"
#include "setup_fixture.h"

namespace ovt::setup::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class CopyTest : public SetupFixture {};

TEST_F(CopyTest, CopiesTheSixFilesInOrderAndCreatesThePackageFolderBeforeRow4) {
    EXPECT_TRUE(installer.CopyPackageFiles(ui));
    EXPECT_THAT(ui.events, ElementsAre("file ovtcalib.exe", "file OVTouch.SYS", "file ovtouch.cpl", "file uninst.exe",
                                       "file altclick.exe", "file readme.txt"));
    EXPECT_THAT(sys.log, ElementsAre("copy ovtcalib.exe -> C:\\WINNT\\system32\\ovtcalib.exe",
                                     "copy OVTouch.SYS -> C:\\WINNT\\system32\\Drivers\\OVTouch.SYS",
                                     "copy ovtouch.cpl -> C:\\WINNT\\system32\\ovtouch.cpl",
                                     "mkdir C:\\WINNT\\OVTouch",
                                     "copy uninst.exe -> C:\\WINNT\\OVTouch\\uninst.exe",
                                     "copy altclick.exe -> C:\\WINNT\\OVTouch\\altclick.exe",
                                     "copy readme.txt -> C:\\WINNT\\OVTouch\\readme.txt"));
    // The driver goes below Drivers, not into the system directory itself.
    EXPECT_EQ(sys.Content(S() + "\\Drivers\\OVTouch.SYS"), "v1 OVTouch.SYS");
    EXPECT_FALSE(sys.HasFile(S() + "\\OVTouch.SYS"));
    EXPECT_EQ(sys.Content(W() + "\\OVTouch\\readme.txt"), "v1 readme.txt");
}

// The destinations are those of the test above, as the copy log names them.
class CopyFailureTest : public SetupFixture, public ::testing::WithParamInterface<int> {};

TEST_P(CopyFailureTest, AMissingSourceNamesItsDestinationAndTheOthersAreStillCopied) {
    const OvtPackageFile& row = kOvtPackageFiles[GetParam()];
    const char* const failures[] = {"copy Ovtcalib failure", "copy OVTouch.SYS failure", "copy OVTouch.cpl fail",
                                    "copy Uninst.exe fail",  "copy AltClick.exe fail",   "copy readme.txt fail"};
    const std::string failure = failures[GetParam()];
    sys.sources.erase(row.Name);
    installer.CopyPackageFiles(ui);
    std::vector<std::string> destinations;
    for (const std::string& line : sys.log) {
        if (line.rfind("copy ", 0) == 0) destinations.push_back(line.substr(line.find(" -> ") + 4));
    }
    ASSERT_EQ(destinations.size(), 6u);
    const std::string missing = destinations[GetParam()];
    EXPECT_THAT(ui.errors(), ElementsAre(missing + " | " + failure));
    // The message comes right after its own file line.
    auto it = std::find(ui.events.begin(), ui.events.end(), std::string("file ") + row.Name);
    ASSERT_NE(it, ui.events.end());
    EXPECT_EQ(*(it + 1), "error " + missing + " | " + failure);
    for (auto& f : destinations) EXPECT_EQ(sys.HasFile(f), f != missing) << f;
}

INSTANTIATE_TEST_SUITE_P(EveryRow, CopyFailureTest, ::testing::Range(0, 6));

TEST_F(CopyTest, APathOverTheBufferIsRefusedByNameAndNotCopied) {
    // 275 + "\ovtcalib.exe" fits 292 bytes; 275 + "\Drivers\OVTouch.SYS" does not.
    sys.systemDir = "C:\\" + std::string(272, 's');
    sys.AddFolder(sys.systemDir + "\\Drivers");
    installer.CopyPackageFiles(ui);
    EXPECT_THAT(ui.errors(),
                ElementsAre("path too long: " + sys.systemDir + "\\Drivers\\OVTouch.SYS | copy OVTouch.SYS failure"));
    EXPECT_TRUE(sys.HasFile(sys.systemDir + "\\ovtcalib.exe"));
    EXPECT_TRUE(sys.HasFile(sys.systemDir + "\\ovtouch.cpl"));
    for (auto& line : sys.log) EXPECT_EQ(line.find("OVTouch.SYS ->"), std::string::npos) << line;
}

TEST_F(CopyTest, AWindowsDirectoryOverTheBufferRefusesThePackageRowsWithoutGarbage) {
    sys.windowsDir = "C:\\" + std::string(300, 'w');
    installer.CopyPackageFiles(ui);
    const std::string w = sys.windowsDir;
    EXPECT_THAT(ui.errors(), ElementsAre("path too long: " + w + "\\OVTouch | copy Uninst.exe fail",
                                         "path too long: " + w + "\\OVTouch\\uninst.exe | copy Uninst.exe fail",
                                         "path too long: " + w + "\\OVTouch\\altclick.exe | copy AltClick.exe fail",
                                         "path too long: " + w + "\\OVTouch\\readme.txt | copy readme.txt fail"));
    EXPECT_EQ(sys.log.size(), 3u);  // the three system rows only, no folder
}

TEST_F(CopyTest, AnUnknownDirectoryIsReportedPerRow) {
    sys.directoriesFail = true;
    installer.CopyPackageFiles(ui);
    EXPECT_EQ(ui.errors().size(), 7u);  // six rows and the package folder
    EXPECT_EQ(ui.errors()[0], "system directory unknown: \\ovtcalib.exe | copy Ovtcalib failure");
    EXPECT_THAT(sys.log, IsEmpty());
}

class RegistryTest : public SetupFixture {};

TEST_F(RegistryTest, WritesEveryValueWithItsTypeAndByteCountInOrder) {
    for (uint32_t port : {1u, 2u}) {
        reg.writes.clear();
        EXPECT_TRUE(installer.WriteRegistrySettings(ui, port));
        EXPECT_THAT(Writes(), ElementsAreArray(ExpectedWrites(port, S()))) << "port " << port;
    }
    EXPECT_THAT(ui.events, IsEmpty());
    EXPECT_EQ(reg.openHandles(), 0);
    // The run-once data is S\ovtcalib.exe with its NUL: S plus 14 bytes.
    EXPECT_EQ(reg.writes.back().data.size(), S().size() + 14);
    // The user's other mouse values stay.
    std::string speed;
    ASSERT_TRUE(reg.GetString(RegRoot::CurrentUser, kMousePath, "MouseSpeed", &speed));
    EXPECT_EQ(speed, "1");
}

TEST_F(RegistryTest, ValuesOutsideTheTableStayAndListedOnesAreOverwritten) {
    reg.SetDword(RegRoot::LocalMachine, kParametersPath, "XPropt", 5);
    reg.SetDword(RegRoot::LocalMachine, kParametersPath, "XHigh", 1900);
    reg.SetString(RegRoot::LocalMachine, kServiceKeyPath, "ImagePath", "x.sys");
    installer.WriteRegistrySettings(ui, 2);
    uint32_t v = 0;
    EXPECT_TRUE(reg.GetDword(RegRoot::LocalMachine, kParametersPath, "XPropt", &v));
    EXPECT_EQ(v, 5u);
    EXPECT_TRUE(reg.GetDword(RegRoot::LocalMachine, kParametersPath, "XHigh", &v));
    EXPECT_EQ(v, 2048u);
    EXPECT_TRUE(reg.HasValue(RegRoot::LocalMachine, kServiceKeyPath, "ImagePath"));
}

struct RegistryFailure {
    const char* key;  // lower-case, as the fake matches it
    const char* message;
    size_t writes;  // values written in all
};

class RegistryFailureTest : public SetupFixture, public ::testing::WithParamInterface<RegistryFailure> {};

TEST_P(RegistryFailureTest, ReportsWithTheProgramCaptionAndGoesOnAsTold) {
    const RegistryFailure& f = GetParam();
    reg.openFailures[f.key] = 5;
    EXPECT_TRUE(installer.WriteRegistrySettings(ui, 1));
    EXPECT_THAT(ui.errors(), ElementsAre(std::string(f.message) + " | (program)"));
    // Whatever follows the failure is the tail of the full write list.
    auto all = ExpectedWrites(1, S());
    std::vector<Write> expected;
    if (std::string(f.key) == "hklm\\system\\currentcontrolset\\services\\ovtouch\\parameters") {
        expected.assign(all.begin(), all.begin() + 6);
        expected.insert(expected.end(), all.begin() + 21, all.end());
    } else if (std::string(f.key).find("services") != std::string::npos) {
        expected.assign(all.begin() + 21, all.end());
    } else if (std::string(f.key) == "hkcu\\control panel\\mouse") {
        expected.assign(all.begin(), all.begin() + 21);
        expected.push_back(all.back());
    } else {
        expected.assign(all.begin(), all.end() - 1);
    }
    EXPECT_THAT(Writes(), ElementsAreArray(expected));
    EXPECT_EQ(Writes().size(), f.writes);
    EXPECT_EQ(reg.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFailureRow, RegistryFailureTest,
    ::testing::Values(
        RegistryFailure{"hklm\\system\\currentcontrolset\\services", "registry HKEY_LOCAL_MACHINE open fail", 4},
        RegistryFailure{"hklm\\system\\currentcontrolset\\services\\ovtouch", "registry device write fail", 4},
        RegistryFailure{"hklm\\system\\currentcontrolset\\services\\ovtouch\\parameters",
                        "registry parameters default fail", 10},
        RegistryFailure{"hkcu\\control panel\\mouse", "registry HKEY_CURRENT_USER open fail", 22},
        RegistryFailure{"hklm\\software\\microsoft\\windows\\currentversion\\runonce", "registry open fail", 24}));

TEST_F(RegistryTest, AMissingMouseKeyIsNotCreated) {
    FakeRegistry bare;
    bare.AddKey(RegRoot::LocalMachine, kServicesPath);
    Installer inst(sys, bare);
    inst.WriteRegistrySettings(ui, 1);
    EXPECT_THAT(ui.errors(), ElementsAre("registry HKEY_CURRENT_USER open fail | (program)"));
    EXPECT_FALSE(bare.HasKey(RegRoot::CurrentUser, kMousePath));
}

TEST_F(RegistryTest, ARunOncePathOverTheBufferIsRefusedAndNothingIsWrittenThere) {
    sys.systemDir = "C:\\" + std::string(280, 's');
    installer.WriteRegistrySettings(ui, 1);
    EXPECT_THAT(ui.errors(), ElementsAre("path too long: " + sys.systemDir + "\\ovtcalib.exe | (program)"));
    EXPECT_EQ(Writes().size(), 24u);
    EXPECT_FALSE(reg.HasValue(RegRoot::LocalMachine, kRunOncePath, kRunOnceValue));
}

// Event Viewer loads the texts from the file the source names: the driver
// where the copy put it, %SystemRoot% being the Windows directory.
TEST_F(RegistryTest, TheEventSourceNamesTheInstalledDriver) {
    installer.RegisterEventSource();
    EXPECT_THAT(Writes(), ElementsAreArray(EventSourceWrites()));
    installer.CopyPackageFiles(ui);
    ASSERT_EQ(reg.writes[0].name, "EventMessageFile");
    std::string file(reg.writes[0].data.begin(), reg.writes[0].data.end() - 1);
    ASSERT_EQ(file.rfind("%SystemRoot%", 0), 0u) << file;
    EXPECT_EQ(sys.Content(W() + file.substr(12)), "v1 OVTouch.SYS") << file;
    EXPECT_EQ(reg.openHandles(), 0);
}

class ShortcutTest : public SetupFixture {
  protected:
    std::vector<std::string> LinkSteps(int row) const {
        const Shortcut& s = kShortcuts[row];
        const OvtPackageFile& file = kOvtPackageFiles[s.target];
        const std::string target = (FolderOf(file) == Folder::System ? S() : W() + "\\OVTouch") + "\\" + file.Name;
        return {"SetPath " + target, std::string("SetDescription ") + s.description, "QueryInterface IPersistFile",
                std::string("Save ") + kPrograms + "\\OVTouch" + s.link + " remember", "Release IPersistFile"};
    }
    std::vector<std::string> FullLog() const {
        std::vector<std::string> log = {std::string("mkdir ") + kPrograms + "\\OVTouch", "CoInitialize",
                                        "CoCreateInstance ShellLink"};
        for (int i = 0; i < 4; ++i) {
            auto steps = LinkSteps(i);
            log.insert(log.end(), steps.begin(), steps.end());
        }
        log.push_back("Release ShellLink");
        return log;
    }
};

TEST_F(ShortcutTest, CreatesTheFourLinksInOrderOnOneObject) {
    EXPECT_TRUE(installer.CreateStartMenuShortcuts(ui));
    EXPECT_THAT(ui.events, IsEmpty());
    EXPECT_THAT(sys.log, ElementsAreArray(FullLog()));
    const std::string folder = std::string(kPrograms) + "\\OVTouch";
    ASSERT_EQ(sys.links.size(), 4u);
    EXPECT_EQ(sys.links[folder + "\\OVTCalib.lnk"].target, S() + "\\ovtcalib.exe");
    EXPECT_EQ(sys.links[folder + "\\OVTCalib.lnk"].description, "\xc6\xc1\xc4\xbb\xd0\xa3\xd7\xbc");  // 屏幕校准
    EXPECT_EQ(sys.links[folder + "\\AltClick.lnk"].target, W() + "\\OVTouch\\altclick.exe");
    EXPECT_EQ(sys.links[folder + "\\AltClick.lnk"].description, "\xc7\xd0\xbb\xbb\xd7\xf3\xd3\xd2\xbc\xfc");  // 切换左右键
    EXPECT_EQ(sys.links[folder + "\\Uninst.lnk"].target, W() + "\\OVTouch\\uninst.exe");
    EXPECT_EQ(sys.links[folder + "\\Uninst.lnk"].description, "\xd0\xb6\xd4\xd8\xc7\xfd\xb6\xaf");  // 卸载驱动
    EXPECT_EQ(sys.links[folder + "\\readme.lnk"].target, W() + "\\OVTouch\\readme.txt");
    EXPECT_EQ(sys.links[folder + "\\readme.lnk"].description, "\xc7\xfd\xb6\xaf\xcb\xb5\xc3\xf7");  // 驱动说明
    EXPECT_EQ(sys.openLinks, 0);
    EXPECT_EQ(sys.openPersists, 0);
}

struct FoldersFailure {
    const char* name;
    int setup;  // 0 key missing, 1 value missing, 2 too long, 3 DWORD, 4 empty, 5 unterminated
    const char* message;
};

class ShellFoldersFailureTest : public SetupFixture, public ::testing::WithParamInterface<FoldersFailure> {};

TEST_P(ShellFoldersFailureTest, EndsWithAMessageAndNoFolderOrLink) {
    const FoldersFailure& f = GetParam();
    FakeRegistry r;
    switch (f.setup) {
    case 0: break;
    case 1: r.AddKey(RegRoot::CurrentUser, kShellFoldersPath); break;
    case 2: r.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, std::string(600, 'p')); break;
    case 3: r.SetDword(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, 7); break;
    case 4: r.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, ""); break;
    case 5:
        r.SetRaw(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, kRegSz, std::vector<uint8_t>(512, 'p'));
        break;
    }
    Installer inst(sys, r);
    EXPECT_TRUE(inst.CreateStartMenuShortcuts(ui));
    EXPECT_THAT(ui.errors(), ElementsAre(std::string(f.message) + " | error"));
    EXPECT_THAT(sys.log, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryCase, ShellFoldersFailureTest,
    ::testing::Values(FoldersFailure{"KeyMissing", 0, "can't open registry"},
                      FoldersFailure{"ValueMissing", 1, "can't read registry value Programs"},
                      FoldersFailure{"OverTheBuffer", 2, "can't read registry value Programs"},
                      FoldersFailure{"NotAString", 3, "can't read registry value Programs"},
                      FoldersFailure{"Empty", 4, "can't read registry value Programs"},
                      FoldersFailure{"Unterminated", 5, "can't read registry value Programs"}),
    [](const ::testing::TestParamInfo<FoldersFailure>& i) { return std::string(i.param.name); });

TEST_F(ShortcutTest, AProgramsValueOf511BytesIsUsed) {
    const std::string p = "C:\\" + std::string(508, 'p');
    reg.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, p);
    sys.AddFolder(p);
    installer.CreateStartMenuShortcuts(ui);
    ASSERT_FALSE(sys.log.empty());
    EXPECT_EQ(sys.log[0], "mkdir " + p + "\\OVTouch");
    // Every link path is then far over 260 units and refused by name.
    ASSERT_EQ(ui.errors().size(), 4u);
    EXPECT_EQ(ui.errors()[0], "path too long: " + p + "\\OVTouch\\OVTCalib.lnk | error");
    EXPECT_TRUE(sys.links.empty());
}

TEST_F(ShortcutTest, TheLinkObjectNotCreatedEndsTheOperationAfterTheFolder) {
    sys.createLinkFails = true;
    installer.CreateStartMenuShortcuts(ui);
    EXPECT_THAT(ui.errors(), ElementsAre("CoCreateInstance Fail | error"));
    EXPECT_THAT(sys.log, ElementsAre(std::string("mkdir ") + kPrograms + "\\OVTouch", "CoInitialize",
                                     "CoCreateInstance ShellLink"));
    EXPECT_TRUE(sys.HasFolder(std::string(kPrograms) + "\\OVTouch"));
    EXPECT_TRUE(sys.links.empty());
}

class PersistRefusedTest : public ShortcutTest, public ::testing::WithParamInterface<int> {};

TEST_P(PersistRefusedTest, OneRefusalDoesNotKeepTheOtherLinks) {
    const int row = GetParam();
    const char* const failures[] = {"calib", "altclick", "uninst", "readme"};
    const char* const links[] = {"OVTCalib", "AltClick", "Uninst", "readme"};
    sys.persistRefused = {row};
    installer.CreateStartMenuShortcuts(ui);
    EXPECT_THAT(ui.errors(), ElementsAre(std::string("PShellLink ") + failures[row] + " fail | error"));
    EXPECT_EQ(sys.links.size(), 3u);
    EXPECT_EQ(sys.links.count(std::string(kPrograms) + "\\OVTouch\\" + links[row] + ".lnk"), 0u);
    EXPECT_EQ(sys.openPersists, 0);
    EXPECT_EQ(sys.openLinks, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, PersistRefusedTest, ::testing::Values(0, 1, 2, 3));

TEST_F(ShortcutTest, LinkPathsOver260UnitsAreRefusedOneByOne) {
    // 240 + "\OVTouch" (8) + "\readme.lnk" (11) is 259 units plus the NUL;
    // the 13-character names no longer fit.
    const std::string p = "C:\\" + std::string(237, 'p');
    reg.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, p);
    sys.AddFolder(p);
    installer.CreateStartMenuShortcuts(ui);
    EXPECT_THAT(ui.errors(), ElementsAre("path too long: " + p + "\\OVTouch\\OVTCalib.lnk | error",
                                         "path too long: " + p + "\\OVTouch\\AltClick.lnk | error"));
    EXPECT_EQ(sys.links.size(), 2u);
    EXPECT_EQ(sys.links.count(p + "\\OVTouch\\readme.lnk"), 1u);
}

TEST_F(ShortcutTest, LinkLimitCountsUnitsNotBytes) {
    // 120 double-byte characters: 240 bytes, but only 120 units.
    std::string p = "C:\\";
    for (int i = 0; i < 120; ++i) p += "\xb2\xe2";
    reg.SetString(RegRoot::CurrentUser, kShellFoldersPath, kProgramsValue, p);
    sys.AddFolder(p);
    installer.CreateStartMenuShortcuts(ui);
    EXPECT_THAT(ui.errors(), IsEmpty());
    EXPECT_EQ(sys.links.size(), 4u);
}

class RestartTest : public SetupFixture {};

TEST_F(RestartTest, EnablesTheShutdownPrivilegeAndAsksForAReboot) {
    installer.RestartWindows();
    EXPECT_THAT(sys.log, ElementsAre("OpenProcessToken 0x28", "LookupPrivilegeValue SeShutdownPrivilege",
                                     "AdjustTokenPrivileges 19 2", "CloseHandle token", "ExitWindowsEx 2 0xFFFFFFFF"));
}

TEST_F(RestartTest, NoTokenOrNoPrivilegeStillAsksButAdjustsNothing) {
    sys.lookupFails = true;
    installer.RestartWindows();
    EXPECT_THAT(sys.log, ElementsAre("OpenProcessToken 0x28", "LookupPrivilegeValue SeShutdownPrivilege",
                                     "CloseHandle token", "ExitWindowsEx 2 0xFFFFFFFF"));
    sys.log.clear();
    sys.tokenFails = true;
    installer.RestartWindows();
    EXPECT_THAT(sys.log, ElementsAre("OpenProcessToken 0x28", "ExitWindowsEx 2 0xFFFFFFFF"));
    EXPECT_EQ(sys.openTokens, 0);
}

class ReinstallTest : public SetupFixture {};

TEST_F(ReinstallTest, ASecondInstallationOverwritesEverythingAndResetsTheCalibration) {
    InstallAll(2);
    const auto firstWrites = Writes();
    // What a calibration and the applet change afterwards.
    reg.SetDword(RegRoot::LocalMachine, kParametersPath, "XHigh", 1900);
    reg.SetDword(RegRoot::LocalMachine, kParametersPath, "YLow", 150);
    reg.DeleteKey(RegRoot::LocalMachine, kRunOncePath);  // run once and gone
    for (auto& s : sys.sources) s.second = "v2 " + s.first;
    reg.writes.clear();
    sys.log.clear();

    InstallAll(1);
    EXPECT_THAT(ui.errors(), IsEmpty());
    auto expected = ExpectedWrites(1, S());
    for (const Write& w : EventSourceWrites()) expected.push_back(w);
    EXPECT_THAT(Writes(), ElementsAreArray(expected));
    EXPECT_EQ(firstWrites.size(), Writes().size());
    uint32_t v = 0;
    reg.GetDword(RegRoot::LocalMachine, kParametersPath, "XHigh", &v);
    EXPECT_EQ(v, 2048u);
    reg.GetDword(RegRoot::LocalMachine, kParametersPath, "YLow", &v);
    EXPECT_EQ(v, 1u);
    reg.GetDword(RegRoot::LocalMachine, kParametersPath, "Port", &v);
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(reg.HasValue(RegRoot::LocalMachine, kRunOncePath, kRunOnceValue));
    EXPECT_EQ(sys.Content(S() + "\\Drivers\\OVTouch.SYS"), "v2 OVTouch.SYS");
    EXPECT_EQ(sys.Content(W() + "\\OVTouch\\uninst.exe"), "v2 uninst.exe");
    EXPECT_EQ(sys.links.size(), 4u);
    // The existing folders are simply made again (and the result ignored).
    EXPECT_EQ(std::count(sys.log.begin(), sys.log.end(), "mkdir C:\\WINNT\\OVTouch"), 1);
}

TEST(Paths, JoinRefusesWholeAndMessagesAreCutVisibly) {
    char buf[8];
    EXPECT_TRUE(Join(buf, sizeof buf, "abc", "defg"));
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_FALSE(Join(buf, sizeof buf, "abc", "defgh"));
    EXPECT_STREQ(buf, "");
    char msg[10];
    JoinForMessage(msg, sizeof msg, "path: ", "C:\\long");
    EXPECT_STREQ(msg, "path: ...");
    JoinForMessage(msg, sizeof msg, "ab", "cd", "ef", "g");
    EXPECT_STREQ(msg, "abcdefg");
}

}  // namespace
}  // namespace ovt::setup::test
