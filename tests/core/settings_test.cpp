#include <gtest/gtest.h>

#include "fixtures.h"

namespace ovt::test {
namespace {

DriverSettings LoadFrom(FakeKey& key, int32_t* status = nullptr) {
    DriverSettings s;
    std::memset(&s, 0xA5, sizeof s);  // every field must be written
    const int32_t rc = LoadParameters(&s, FakeKey::Read, &key);
    if (status) *status = rc;
    return s;
}

TEST(LoadParameters, EmptyKeyGivesDefaults) {
    FakeKey key;
    int32_t rc = -1;
    const DriverSettings s = LoadFrom(key, &rc);
    EXPECT_EQ(rc, OVT_STATUS_SUCCESS);
    EXPECT_EQ(s.Port, 1u);
    EXPECT_EQ(s.Calibration.XLow, 0u);
    EXPECT_EQ(s.Calibration.XHigh, 2048u);
    EXPECT_EQ(s.Calibration.YLow, 0u);
    EXPECT_EQ(s.Calibration.YHigh, 2048u);
    EXPECT_EQ(s.Calibration.XOffset, 0u);
    EXPECT_EQ(s.Calibration.YOffset, 0u);
    EXPECT_EQ(s.XSpan, 2048u);
    EXPECT_EQ(s.YSpan, 2048u);
    EXPECT_EQ(s.BeepFreq, 2000u);
    EXPECT_EQ(s.BeepTime, 40u);
    EXPECT_EQ(s.BeepFreq2, 2000u);
    EXPECT_EQ(s.BeepTime2, 40u);
    EXPECT_EQ(s.ButtonMode, 0u);
    EXPECT_EQ(s.MouseMode, 0u);
    EXPECT_EQ(s.BeepMode, 2u);
}

TEST(LoadParameters, QueriesTheSixteenNamesInDriverOrder) {
    FakeKey key;
    LoadFrom(key);
    const std::vector<std::string> expected = {"Port", "XLow", "XHigh", "XOffset", "XPropt", "YHigh",
                                               "YLow", "YOffset", "YProp", "BeepFreq", "BeepTime",
                                               "BeepFreq2", "BeepTime2", "ButtonMode", "MouseMode",
                                               "BeepMode"};
    EXPECT_EQ(key.queried, expected);
}

TEST(LoadParameters, BoundsAreCutTo16BitsAndSpansFollowThem) {
    FakeKey key;
    key.values = {{"XLow", 0x00010064}, {"XHigh", 0x12340800}, {"YLow", 0x8000012C}, {"YHigh", 0x0001012C},
                  {"XPropt", 5}, {"YProp", 7}};
    const DriverSettings s = LoadFrom(key);
    EXPECT_EQ(s.Calibration.XLow, 100u);
    EXPECT_EQ(s.Calibration.XHigh, 0x800u);
    EXPECT_EQ(s.XSpan, 0x800u - 100u);
    EXPECT_EQ(s.Calibration.YLow, 300u);
    EXPECT_EQ(s.Calibration.YHigh, 300u);
    EXPECT_EQ(s.YSpan, 2048u) << "bounds equal once cut must not give a zero divisor";
}

TEST(LoadParameters, ReversedBoundsGiveAWrappedUnsignedSpan) {
    FakeKey key;
    key.values = {{"XLow", 1500}, {"XHigh", 500}};
    const DriverSettings s = LoadFrom(key);
    EXPECT_EQ(s.XSpan, 500u - 1500u);
}

struct Correction {
    const char* name;
    uint32_t stored;
    uint32_t field;  // OVT_SETTINGS_WORD
    uint32_t expected;
};

void PrintTo(const Correction& c, std::ostream* os) { *os << c.name << "=" << c.stored; }

class Corrections : public ::testing::TestWithParam<Correction> {};

TEST_P(Corrections, OutOfRangeValuesAreReplaced) {
    const Correction& c = GetParam();
    FakeKey key;
    key.values[c.name] = c.stored;
    const DriverSettings s = LoadFrom(key);
    EXPECT_EQ(SettingsWord(s, c.field), c.expected) << c.name << "=" << c.stored;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Corrections,
    ::testing::Values(Correction{"BeepTime", 20, OVT_SETTINGS_WORD(BeepTime), 40},
                      Correction{"BeepTime", 31, OVT_SETTINGS_WORD(BeepTime), 40},
                      Correction{"BeepTime", 32, OVT_SETTINGS_WORD(BeepTime), 32},
                      Correction{"BeepTime", 750, OVT_SETTINGS_WORD(BeepTime), 750},
                      Correction{"BeepTime", 751, OVT_SETTINGS_WORD(BeepTime), 40},
                      Correction{"BeepFreq", 999, OVT_SETTINGS_WORD(BeepFreq), 2000},
                      Correction{"BeepFreq", 1000, OVT_SETTINGS_WORD(BeepFreq), 1000},
                      Correction{"BeepFreq", 5000, OVT_SETTINGS_WORD(BeepFreq), 5000},
                      Correction{"BeepFreq", 5001, OVT_SETTINGS_WORD(BeepFreq), 2000},
                      Correction{"ButtonMode", 1, OVT_SETTINGS_WORD(ButtonMode), 1},
                      Correction{"ButtonMode", 2, OVT_SETTINGS_WORD(ButtonMode), 0},
                      Correction{"MouseMode", 3, OVT_SETTINGS_WORD(MouseMode), 3},
                      Correction{"MouseMode", 4, OVT_SETTINGS_WORD(MouseMode), 2},
                      Correction{"BeepMode", 0, OVT_SETTINGS_WORD(BeepMode), 0},
                      Correction{"BeepMode", 3, OVT_SETTINGS_WORD(BeepMode), 2},
                      Correction{"BeepMode", 0xFFFFFFFF, OVT_SETTINGS_WORD(BeepMode), 2},
                      Correction{"Port", 0, OVT_SETTINGS_WORD(Port), 0},
                      Correction{"Port", 12, OVT_SETTINGS_WORD(Port), 12},
                      Correction{"BeepFreq2", 7, OVT_SETTINGS_WORD(BeepFreq2), 7},
                      Correction{"XOffset", 0xFFFFFFFF, OVT_SETTINGS_WORD(Calibration.XOffset), 0xFFFFFFFF}));

TEST(LoadParameters, AFailedReadStopsTheQueryButStillCorrects) {
    FakeKey key;
    key.values = {{"Port", 2}, {"XLow", 0x10064}, {"BeepMode", 1}};
    key.failures["XOffset"] = OVT_STATUS_INSUFFICIENT_RESOURCES;
    int32_t rc = 0;
    const DriverSettings s = LoadFrom(key, &rc);
    EXPECT_EQ(rc, OVT_STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(s.Port, 2u);
    EXPECT_EQ(s.Calibration.XLow, 100u) << "values read before the failure are kept and corrected";
    EXPECT_EQ(s.BeepMode, 2u) << "values after the failure keep their defaults";
    EXPECT_EQ(key.queried.size(), 4u);
}

TEST(LoadParameters, AReloadStartsAgainFromTheDefaults) {
    FakeKey key;
    key.values = {{"MouseMode", 1}, {"Port", 2}};
    DriverSettings s{};
    LoadParameters(&s, FakeKey::Read, &key);
    EXPECT_EQ(s.MouseMode, 1u);
    key.values.erase("MouseMode");
    LoadParameters(&s, FakeKey::Read, &key);
    EXPECT_EQ(s.MouseMode, 0u);
    EXPECT_EQ(s.Port, 2u);
}

}  // namespace
}  // namespace ovt::test
