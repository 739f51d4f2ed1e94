// Targets, the calibration buffer and the registry write, without threads.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "calib/logic/calib_logic.h"
#include "calib/tests/recording_registry.h"

namespace ovt::calib {
namespace {

using test::FakeRegistry;
using test::RecordingRegistry;

struct TargetCase {
    int32_t w, h;
    Point a, b;
};

TEST(CalibTargets, QuarterIsTruncatedBeforeTripling) {
    const TargetCase cases[] = {
        {1024, 768, {256, 192}, {768, 576}},
        {1023, 767, {255, 191}, {765, 573}},
        {800, 600, {200, 150}, {600, 450}},
        {3, 3, {0, 0}, {0, 0}},
        {0, 0, {0, 0}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        EXPECT_EQ(TargetA(c.w, c.h).x, c.a.x);
        EXPECT_EQ(TargetA(c.w, c.h).y, c.a.y);
        EXPECT_EQ(TargetB(c.w, c.h).x, c.b.x);
        EXPECT_EQ(TargetB(c.w, c.h).y, c.b.y);
    }
}

struct MathCase {
    const char* what;
    Point a, b;
    int32_t xLow, yLow, xHigh, yHigh;
};

TEST(CalibCompute, Table) {
    const MathCase cases[] = {
        {"plain", {500, 600}, {1500, 1400}, 0, 200, 2000, 1800},
        {"odd difference truncates", {400, 600}, {1201, 1401}, 0, 200, 1601, 1801},
        {"both clamps", {100, 100}, {1500, 1500}, 0, 0, 2048, 2048},
        {"low exactly 0 and high exactly 2048", {512, 512}, {1536, 1536}, 0, 0, 2048, 2048},
        {"inside the range", {700, 800}, {1300, 1200}, 400, 600, 1600, 1400},
        // Reversed axes: toward zero (-500, not -501), never swapped, and
        // the clamps still act on Low at 0 and High at 2048.
        {"reversed axes", {1501, 1501}, {500, 500}, 2001, 2001, 0, 0},
        {"reversed, high stays below clamp", {1200, 1300}, {801, 701}, 1399, 1599, 602, 402},
        {"equal points", {1000, 900}, {1000, 900}, 1000, 900, 1000, 900},
        {"equal points at 0", {0, 0}, {0, 0}, 0, 0, 0, 0},
        {"equal points beyond 2048", {3000, 2049}, {3000, 2049}, 3000, 2049, 2048, 2048},
        {"negative difference of one", {1001, 1001}, {1000, 1000}, 1001, 1001, 1000, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CalibrationBuffer r = ComputeCalibration(c.a, c.b);
        EXPECT_EQ(r.XLow, c.xLow);
        EXPECT_EQ(r.YLow, c.yLow);
        EXPECT_EQ(r.XHigh, c.xHigh);
        EXPECT_EQ(r.YHigh, c.yHigh);
        EXPECT_EQ(r.XOffset, 0);
        EXPECT_EQ(r.YOffset, 0);
        EXPECT_EQ(r.Reserved[0], 0);
        EXPECT_EQ(r.Reserved[1], 0);
    }
}

TEST(CalibCompute, CorruptRawWordsWrapInsteadOfOverflowing) {
    // Raw words are unsigned in the capture record; huge ones must still
    // give a defined 32-bit answer (run under UBSan).
    const CalibrationBuffer r = ComputeCalibration({INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN});
    EXPECT_EQ(r.XLow, 0);           // INT32_MIN - (-1/2 == 0) stays negative: clamped
    EXPECT_EQ(r.XHigh, 2048);       // INT32_MAX + 0
    EXPECT_EQ(r.YLow, INT32_MAX);   // difference wraps to 1, half 0
    EXPECT_EQ(r.YHigh, INT32_MIN);  // not above 2048, kept
}

TEST(CalibStore, SixDwordsInOrderThroughASetValueOpen) {
    FakeRegistry fake;
    fake.AddKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH);
    RecordingRegistry reg(fake);
    CalibrationBuffer b = {};
    b.XLow = 0;
    b.YLow = 200;
    b.XHigh = 2000;
    b.YHigh = 1800;
    b.Reserved[0] = 77;  // never stored
    ASSERT_TRUE(StoreCalibration(reg, b));

    ASSERT_EQ(reg.opens.size(), 1u);
    EXPECT_EQ(reg.opens[0].access, uint32_t(kKeySetValue));
    EXPECT_EQ(reg.opens[0].path, OVT_PARAMETERS_KEY_PATH);
    EXPECT_EQ(reg.creates, 0);
    EXPECT_EQ(fake.openHandles(), 0);

    const char* names[] = {"XHigh", "XLow", "YHigh", "YLow", "XOffset", "YOffset"};
    const uint32_t values[] = {2000, 0, 1800, 200, 0, 0};
    ASSERT_EQ(fake.writes.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(fake.writes[i].name, names[i]);
        EXPECT_EQ(fake.writes[i].type, uint32_t(kRegDword));
        ASSERT_EQ(fake.writes[i].data.size(), 4u);
        uint32_t v;
        std::memcpy(&v, fake.writes[i].data.data(), 4);
        EXPECT_EQ(v, values[i]);
    }
}

TEST(CalibStore, NegativeValuesGoOutAsTheirDwordBits) {
    FakeRegistry fake;
    fake.AddKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH);
    CalibrationBuffer b = {};
    b.XLow = 2001;
    b.YHigh = -5;  // only reachable from corrupt raw words; stored as is
    ASSERT_TRUE(StoreCalibration(fake, b));
    uint32_t v = 0;
    ASSERT_TRUE(fake.GetDword(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, "YHigh", &v));
    EXPECT_EQ(v, 0xFFFFFFFBu);
    ASSERT_TRUE(fake.GetDword(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, "XLow", &v));
    EXPECT_EQ(v, 2001u);
}

TEST(CalibStore, MissingOrLockedKeyIsNeitherCreatedNorWritten) {
    const long failures[] = {kErrorFileNotFound, kErrorAccessDenied};
    for (long rc : failures) {
        SCOPED_TRACE(rc);
        FakeRegistry fake;
        if (rc == kErrorAccessDenied) {
            fake.AddKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH);
            fake.openFailures[std::string("hklm\\") + test::Lower(OVT_PARAMETERS_KEY_PATH)] = rc;
        }
        RecordingRegistry reg(fake);
        EXPECT_FALSE(StoreCalibration(reg, CalibrationBuffer{}));
        EXPECT_EQ(reg.creates, 0);
        EXPECT_TRUE(fake.writes.empty());
        EXPECT_EQ(rc == kErrorAccessDenied, fake.HasKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH));
    }
}

TEST(CalibStore, AFailingValueWriteDoesNotStopTheOthers) {
    FakeRegistry fake;
    fake.AddKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH);
    fake.writeFailures.insert("YHigh");
    CalibrationBuffer b = {};
    b.YLow = 33;
    EXPECT_TRUE(StoreCalibration(fake, b));
    uint32_t v = 0;
    EXPECT_TRUE(fake.GetDword(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, "YLow", &v));
    EXPECT_EQ(v, 33u);
    EXPECT_TRUE(fake.HasValue(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, "YOffset"));
    EXPECT_FALSE(fake.HasValue(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, "YHigh"));
    EXPECT_EQ(fake.openHandles(), 0);
}

}  // namespace
}  // namespace ovt::calib
