#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "setup/logic/texts.h"
#include "setup/logic/wizard.h"
#include "setup_fixture.h"

namespace ovt::setup::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* PageName(Page p) {
    switch (p) {
    case Page::Welcome: return "welcome";
    case Page::Port: return "port";
    case Page::Restart: return "restart";
    case Page::Progress: return "progress";
    }
    return "?";
}

// Keeps what the frame would show, and a log of what it was told.
class FakeView : public WizardView {
  public:
    void ShowPage(Page page, bool show) override {
        shown[static_cast<int>(page)] = show;
        log.push_back(std::string(show ? "show " : "hide ") + PageName(page));
    }
    void EnableButton(int id, bool enable) override { enabled[id] = enable; }
    void SetNextText(const char* text) override { nextText = text; }
    void SetProgress(const char* action, const char* file) override {
        // The buttons must all be off while the installation runs.
        progress.push_back(std::string(action) + " / " + file +
                           (enabled[kIdBack] || enabled[kIdNext] || enabled[kIdCancel] ? " (buttons on!)" : ""));
    }
    int SelectedPortIndex() override { return portIndex; }
    bool RestartChosen() override { return restart; }
    void Message(const char* text, const char* caption) override {
        messages.push_back(std::string(text) + " | " + caption);
    }
    void Close(int result) override { closedWith.push_back(result); }

    bool Visible(Page p) const { return shown[static_cast<int>(p)]; }

    bool shown[4] = {true, false, false, false};  // as the frame creates the pages
    std::map<int, bool> enabled = {{kIdBack, true}, {kIdNext, true}, {kIdCancel, true}};
    std::string nextText = "next";
    std::vector<std::string> log, progress, messages;
    std::vector<int> closedWith;
    int portIndex = 0;
    bool restart = true;
};

class WizardTest : public SetupFixture {
  protected:
    void SetUp() override {
        SetupFixture::SetUp();
        wizard.Init();
    }
    void ExpectButtons(bool back, bool next, bool cancel) {
        EXPECT_EQ(view.enabled[kIdBack], back);
        EXPECT_EQ(view.enabled[kIdNext], next);
        EXPECT_EQ(view.enabled[kIdCancel], cancel);
        EXPECT_EQ(wizard.enabled(kIdBack), back);
        EXPECT_EQ(wizard.enabled(kIdNext), next);
        EXPECT_EQ(wizard.enabled(kIdCancel), cancel);
    }
    bool NothingInstalled() const { return reg.writes.empty() && sys.log.empty(); }

    FakeView view;
    Wizard wizard{view, installer, "olvaset1"};
};

TEST_F(WizardTest, StartsOnTheWelcomePageWithBackDisabled) {
    EXPECT_EQ(wizard.step(), 0);
    ExpectButtons(false, true, true);
    EXPECT_TRUE(view.Visible(Page::Welcome));
}

TEST_F(WizardTest, NextShowsThePortPageAndBackReturnsKeepingTheChoice) {
    wizard.Next();
    EXPECT_EQ(wizard.step(), 1);
    EXPECT_FALSE(view.Visible(Page::Welcome));
    EXPECT_TRUE(view.Visible(Page::Port));
    ExpectButtons(true, true, true);

    view.portIndex = 1;
    wizard.Back();
    EXPECT_EQ(wizard.step(), 0);
    EXPECT_TRUE(view.Visible(Page::Welcome));
    EXPECT_FALSE(view.Visible(Page::Port));
    ExpectButtons(false, true, true);

    wizard.Back();  // disabled: nothing
    EXPECT_EQ(wizard.step(), 0);
    wizard.Next();
    EXPECT_EQ(wizard.step(), 1);
    EXPECT_TRUE(NothingInstalled());
    wizard.Next();
    uint32_t port = 0;
    ASSERT_TRUE(reg.GetDword(RegRoot::LocalMachine, kParametersPath, "Port", &port));
    EXPECT_EQ(port, 2u);
    EXPECT_TRUE(reg.HasKey(RegRoot::LocalMachine, "System\\CurrentControlSet\\Services\\EventLog\\System\\OVTouch"));
}

TEST_F(WizardTest, TheInstallationRunsWithAllButtonsOffAndEndsOnTheRestartPage) {
    wizard.Next();
    view.log.clear();
    wizard.Next();
    EXPECT_EQ(wizard.step(), 2);
    EXPECT_THAT(view.log, ElementsAre("hide port", "show progress", "hide progress", "show restart"));
    const std::string copying = kTextCopying, registry = kTextRegistry, shortcuts = kTextShortcuts;
    EXPECT_THAT(view.progress,
                ElementsAre(copying + " / ", copying + " / ovtcalib.exe", copying + " / OVTouch.SYS",
                            copying + " / ovtouch.cpl", copying + " / uninst.exe", copying + " / altclick.exe",
                            copying + " / readme.txt", registry + " / readme.txt", shortcuts + " / readme.txt"));
    ExpectButtons(false, true, false);
    EXPECT_EQ(view.nextText, kTextFinish);
    EXPECT_THAT(view.messages, IsEmpty());
    EXPECT_EQ(sys.links.size(), 4u);
    uint32_t port = 0;
    ASSERT_TRUE(reg.GetDword(RegRoot::LocalMachine, kParametersPath, "Port", &port));
    EXPECT_EQ(port, 1u);

    wizard.Cancel();  // disabled on the last page
    wizard.Back();
    EXPECT_THAT(view.closedWith, IsEmpty());
    EXPECT_EQ(wizard.step(), 2);
}

TEST_F(WizardTest, FailuresShowOwnedMessagesAndTheInstallationGoesOn) {
    sys.sources.erase("OVTouch.SYS");
    reg.openFailures["hkcu\\control panel\\mouse"] = 5;
    sys.persistRefused = {2};
    wizard.Next();
    wizard.Next();
    EXPECT_THAT(view.messages, ElementsAre("C:\\WINNT\\system32\\Drivers\\OVTouch.SYS | copy OVTouch.SYS failure",
                                           "registry HKEY_CURRENT_USER open fail | olvaset1",
                                           "PShellLink uninst fail | error"));
    EXPECT_EQ(wizard.step(), 2);
    EXPECT_TRUE(view.Visible(Page::Restart));
}

TEST_F(WizardTest, FinishRestartsOnlyWhenChosen) {
    for (bool chosen : {true, false}) {
        FakeView v;
        Wizard w(v, installer, "olvaset1");
        w.Init();
        w.Next();
        w.Next();
        sys.log.clear();
        v.restart = chosen;
        w.Next();
        EXPECT_EQ(w.step(), 3);
        EXPECT_FALSE(v.Visible(Page::Restart));
        EXPECT_THAT(v.closedWith, ElementsAre(kResultFinished));
        const bool restarted = !sys.log.empty() && sys.log.back() == "ExitWindowsEx 2 0xFFFFFFFF";
        EXPECT_EQ(restarted, chosen);
        w.Next();  // closed: nothing more
        EXPECT_EQ(v.closedWith.size(), 1u);
    }
}

TEST_F(WizardTest, CancelOnTheFirstTwoPagesChangesNothing) {
    wizard.Cancel();
    EXPECT_THAT(view.closedWith, ElementsAre(kResultCancelled));
    EXPECT_TRUE(NothingInstalled());

    FakeView v;
    Wizard w(v, installer, "olvaset1");
    w.Init();
    w.Next();
    w.Cancel();
    EXPECT_THAT(v.closedWith, ElementsAre(kResultCancelled));
    w.Next();
    EXPECT_TRUE(NothingInstalled());
}

TEST_F(WizardTest, NoSelectionInstallsCom1) {
    view.portIndex = -1;
    wizard.Next();
    wizard.Next();
    uint32_t port = 0;
    ASSERT_TRUE(reg.GetDword(RegRoot::LocalMachine, kParametersPath, "Port", &port));
    EXPECT_EQ(port, 1u);
}

TEST(ProgramName, IsTheFileNameWithoutExtension) {
    struct Case {
        const char* path;
        uint32_t size;
        const char* name;
    } cases[] = {
        {"C:\\Package\\olvaset1.exe", 64, "olvaset1"},
        {"olvaset1.exe", 64, "olvaset1"},
        {"C:\\a.b\\setup", 64, "setup"},
        {"D:setup.x.exe", 64, "setup.x"},
        {"C:\\\x95\x5c\\prog.exe", 64, "prog"},               // trail byte 0x5C is no separator
        {"C:\\x\\\x95\x5cset.exe", 64, "\x95\x5cset"},
        {"C:\\x\\a\xb2\xe2.exe", 3, "a"},                     // never half a character
        {"", 64, ""},
    };
    for (const Case& c : cases) {
        char name[64];
        ProgramNameFromPath(c.path, name, c.size);
        EXPECT_STREQ(name, c.name) << c.path;
    }
}

}  // namespace
}  // namespace ovt::setup::test
