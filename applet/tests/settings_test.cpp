// Loading and saving the applet's settings against an in-memory registry.
#include <gtest/gtest.h>

#include <cstring>

#include "applet/logic/applet_settings.h"
#include "applet_fakes.h"
#include "common/ovtouch.h"

namespace ovt::test {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetMouseTexts(); }
    void Load() { LoadSettings(&s, registry, host); }
    void FullKey() { Store(registry, {1, 3000, 100, 2, 1, "500", "4"}); }
    void ExpectParameters(uint32_t beepMode, uint32_t beepFreq, uint32_t beepTime, uint32_t port, uint32_t mouseMode) {
        EXPECT_EQ(s.BeepMode, beepMode);
        EXPECT_EQ(s.BeepFreq, beepFreq);
        EXPECT_EQ(s.BeepTime, beepTime);
        EXPECT_EQ(s.Port, port);
        EXPECT_EQ(s.MouseMode, mouseMode);
    }

    AppletSettings s{};
    FakeRegistry registry;
    RecordingHost host{nullptr};
};

TEST_F(SettingsTest, FullKeyLoadsAsStored) {
    FullKey();
    s.ButtonMode = 1;
    Load();
    ExpectParameters(1, 3000, 100, 2, 1);
    EXPECT_EQ(s.ButtonMode, 0u);
    EXPECT_EQ(s.DoubleClickSpeed, 500);
    EXPECT_EQ(s.DoubleClickHeight, 4);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(registry.openHandles(), 0);
}

TEST_F(SettingsTest, MissingParametersKeyGivesFallbacksAndTellsTheUser) {
    registry.AddKey(HKCU, kMouse);
    s.ButtonMode = 1;
    Load();
    ExpectParameters(2, 2000, 32, 1, 3);
    EXPECT_EQ(s.ButtonMode, 0u);
    ASSERT_EQ(host.log, std::vector<std::string>{"message:registry read fail"});
    EXPECT_EQ(host.owners[0], nullptr);
}

TEST_F(SettingsTest, MissingValuesOnFirstOpeningStayAtZeroOrFallBack) {
    registry.AddKey(HKLM, kParams);
    registry.AddKey(HKCU, kMouse);
    Load();
    // Never beep and click on touch: the record starts at zero.
    ExpectParameters(0, 2000, 32, 1, 0);
    EXPECT_EQ(s.DoubleClickSpeed, 0);   // blank buffer
    EXPECT_EQ(s.DoubleClickHeight, 0);
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SettingsTest, MissingValuesOnLaterOpeningKeepWhatTheFirstLeft) {
    FullKey();
    Load();
    FakeRegistry emptied;
    emptied.AddKey(HKLM, kParams);
    emptied.AddKey(HKCU, kMouse);
    LoadSettings(&s, emptied, host);
    ExpectParameters(1, 3000, 100, 2, 1);
    EXPECT_EQ(s.DoubleClickSpeed, 500);  // the buffers keep their text
    EXPECT_EQ(s.DoubleClickHeight, 4);
}

struct Correction {
    const char* name;
    uint32_t stored;
    uint32_t loaded;
};

class CorrectionTest : public SettingsTest, public ::testing::WithParamInterface<Correction> {};

TEST_P(CorrectionTest, OutOfRangeValuesAreReplaced) {
    const Correction& c = GetParam();
    FullKey();
    registry.SetDword(HKLM, kParams, c.name, c.stored);
    Load();
    const uint32_t* field = !strcmp(c.name, "BeepMode")    ? &s.BeepMode
                            : !strcmp(c.name, "BeepFreq")  ? &s.BeepFreq
                            : !strcmp(c.name, "BeepTime")  ? &s.BeepTime
                            : !strcmp(c.name, "Port")      ? &s.Port
                                                           : &s.MouseMode;
    EXPECT_EQ(*field, c.loaded);
}

INSTANTIATE_TEST_SUITE_P(Table, CorrectionTest,
                         ::testing::Values(Correction{"BeepFreq", 999, 2000}, Correction{"BeepFreq", 1000, 1000},
                                           Correction{"BeepFreq", 5000, 5000}, Correction{"BeepFreq", 5001, 2000},
                                           Correction{"BeepTime", 31, 32}, Correction{"BeepTime", 32, 32},
                                           Correction{"BeepTime", 750, 750}, Correction{"BeepTime", 751, 32},
                                           Correction{"MouseMode", 3, 3}, Correction{"MouseMode", 4, 3},
                                           Correction{"MouseMode", 0xFFFFFFFF, 3}, Correction{"BeepMode", 2, 2},
                                           Correction{"BeepMode", 3, 2}, Correction{"BeepMode", 0xFFFFFFFF, 2},
                                           Correction{"Port", 0, 1}, Correction{"Port", 2, 2},
                                           Correction{"Port", 3, 1}, Correction{"Port", 0xFFFFFFFF, 1}));

TEST_F(SettingsTest, ValuesOfOtherTypesAreCopiedUpToFourBytes) {
    FullKey();
    s.Port = 0x11111111;
    registry.SetRaw(HKLM, kParams, "Port", kRegBinary, {2});  // one byte over the low byte
    registry.SetRaw(HKLM, kParams, "BeepFreq", kRegSz, {'1', '2', '3', '4', '5', 0});  // too long: ignored
    s.BeepFreq = 4000;
    Load();
    EXPECT_EQ(s.Port, 1u);  // 0x11111102, out of range
    EXPECT_EQ(s.BeepFreq, 4000u);

    s.Port = 0;
    registry.SetRaw(HKLM, kParams, "Port", kRegBinary, {2});
    Load();
    EXPECT_EQ(s.Port, 2u);
}

TEST_F(SettingsTest, MissingMouseKeyGivesFortyAndNineHundred) {
    registry.AddKey(HKLM, kParams);
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 40);
    EXPECT_EQ(s.DoubleClickSpeed, 900);
    EXPECT_EQ(host.log, std::vector<std::string>{"message:registry HKEY_CURRENT_USER open fail"});
}

struct TextCase {
    const char* speed;
    int32_t expected;
};

class LenientParseTest : public SettingsTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(LenientParseTest, SpeedTextIsReadLikeAtoi) {
    registry.AddKey(HKLM, kParams);
    registry.SetString(HKCU, kMouse, "DoubleClickSpeed", GetParam().speed);
    Load();
    EXPECT_EQ(s.DoubleClickSpeed, GetParam().expected) << GetParam().speed;
}

INSTANTIATE_TEST_SUITE_P(Texts, LenientParseTest,
                         ::testing::Values(TextCase{"500", 500}, TextCase{" 42", 42}, TextCase{"-12", -12},
                                           TextCase{"+7x", 7}, TextCase{"12a", 12}, TextCase{"abc", 0},
                                           TextCase{"", 0}, TextCase{"2000", 2000}));

TEST_F(SettingsTest, FourDigitHeightDoesNotFitAndKeepsTheEarlierText) {
    registry.AddKey(HKLM, kParams);
    registry.SetString(HKCU, kMouse, "DoubleClickHeight", "1000");
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 0);  // the blank start
    EXPECT_STREQ(AreaText(), "    ");

    registry.SetString(HKCU, kMouse, "DoubleClickHeight", "25");
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 25);
    registry.SetString(HKCU, kMouse, "DoubleClickHeight", "1500");
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 25);  // the earlier text stays
}

TEST_F(SettingsTest, TextBuffersNeverLoseTheirTerminator) {
    registry.AddKey(HKLM, kParams);
    // Exactly the room, without a terminator in the data.
    registry.SetRaw(HKCU, kMouse, "DoubleClickSpeed", kRegSz, {'1', '2', '3', '4', '5'});
    registry.SetRaw(HKCU, kMouse, "DoubleClickHeight", kRegSz, {'1', '2', '3', '4'});
    Load();
    EXPECT_EQ(s.DoubleClickSpeed, 12345);
    EXPECT_EQ(s.DoubleClickHeight, 1234);
    EXPECT_EQ(strlen(SpeedText()), 5u);
    EXPECT_EQ(strlen(AreaText()), 4u);

    // A shorter text overwrites only its own bytes.
    registry.SetString(HKCU, kMouse, "DoubleClickHeight", "7");
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 7);
}

TEST_F(SettingsTest, MouseValuesOfOtherTypesReadAsText) {
    registry.AddKey(HKLM, kParams);
    registry.SetDword(HKCU, kMouse, "DoubleClickHeight", 30);  // bytes 1e 00 00 00: no digits
    registry.SetRaw(HKCU, kMouse, "DoubleClickSpeed", kRegBinary, {'8', '0', '0'});
    Load();
    EXPECT_EQ(s.DoubleClickHeight, 0);
    EXPECT_EQ(s.DoubleClickSpeed, 800);
}

TEST_F(SettingsTest, SaveWritesInOrderWithTheirTypes) {
    registry.AddKey(HKLM, kParams);
    registry.AddKey(HKCU, kMouse);
    s = AppletSettings{1, 3000, 100, 1, 2, 2, 35, -1500};
    SaveSettings(s, registry, host);
    ASSERT_EQ(registry.writes.size(), 9u);
    const char* names[] = {"BeepMode", "BeepFreq", "BeepTime", "Port", "MouseMode", "ButtonMode"};
    const uint32_t values[] = {1, 3000, 100, 2, 2, 0};
    for (int i = 0; i < 6; i++) {
        const RegWrite& w = registry.writes[i];
        EXPECT_EQ(w.key, std::string("HKLM\\") + kParams);
        EXPECT_EQ(w.name, names[i]);
        EXPECT_EQ(w.type, uint32_t(kRegDword));
        ASSERT_EQ(w.data.size(), 4u);
        uint32_t v;
        memcpy(&v, w.data.data(), 4);
        EXPECT_EQ(v, values[i]) << names[i];
    }
    const char* userNames[] = {"DoubleClickHeight", "DoubleClickWidth", "DoubleClickSpeed"};
    const char* userTexts[] = {"35", "35", "-1500"};
    for (int i = 0; i < 3; i++) {
        const RegWrite& w = registry.writes[6 + i];
        EXPECT_EQ(w.key, std::string("HKCU\\") + kMouse);
        EXPECT_EQ(w.name, userNames[i]);
        EXPECT_EQ(w.type, uint32_t(kRegSz));
        EXPECT_EQ(std::string(w.data.begin(), w.data.end()), std::string(userTexts[i]) + '\0');
    }
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(registry.openHandles(), 0);
}

TEST_F(SettingsTest, SaveGoesOnWhenTheParametersKeyCannotBeOpened) {
    registry.AddKey(HKCU, kMouse);
    registry.openFailures["hklm\\system\\currentcontrolset\\services\\ovtouch\\parameters"] = kErrorAccessDenied;
    s = AppletSettings{1, 3000, 100, 0, 2, 2, 35, 600};
    SaveSettings(s, registry, host);
    EXPECT_EQ(host.log, std::vector<std::string>{"message:registry write fail"});
    ASSERT_EQ(registry.writes.size(), 3u);
    EXPECT_EQ(registry.writes[0].name, "DoubleClickHeight");
}

TEST_F(SettingsTest, SaveWithoutTheMouseKeyTellsTheUser) {
    registry.AddKey(HKLM, kParams);
    s = AppletSettings{1, 3000, 100, 0, 2, 2, 35, 600};
    SaveSettings(s, registry, host);
    EXPECT_EQ(host.log, std::vector<std::string>{"message:registry HKEY_CURRENT_USER open fail"});
    EXPECT_EQ(registry.writes.size(), 6u);
}

}  // namespace
}  // namespace ovt::test
