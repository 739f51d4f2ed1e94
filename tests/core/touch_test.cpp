#include <gtest/gtest.h>

#include "fixtures.h"

namespace ovt::test {
namespace {

struct MapCase {
    uint32_t raw, low, high, expected;
};

TEST(MapAxis, PinsTheMappingAtTheBoundsAndInside) {
    const MapCase cases[] = {
        {1024, 0, 2048, 32767}, {2047, 0, 2048, 65503}, {1, 0, 2048, 31},
        {0, 0, 2048, 1},        {2048, 0, 2048, 65520}, {60000, 0, 2048, 65520},
        {100, 100, 2000, 1},    {99, 100, 2000, 1},     {101, 100, 2000, 34},
        {1999, 100, 2000, 65500},
        // Reversed bounds: nothing lies between them.
        {1500, 1500, 500, 1},   {1501, 1500, 500, 65520}, {0, 1500, 500, 1},
    };
    for (const MapCase& c : cases) {
        const uint32_t span = c.high == c.low ? 2048 : c.high - c.low;
        EXPECT_EQ(MapAxis(c.raw, c.low, c.high, span), c.expected)
            << "raw " << c.raw << " in " << c.low << ".." << c.high;
    }
}

TEST(MapAxis, ExtremeBoundsNeverOverflowOrDivideByZero) {
    EXPECT_EQ(MapAxis(65535, 0, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(MapAxis(65534, 0, 65535, 65535), 65534u);
    EXPECT_EQ(MapAxis(5, 0, 10, 0), (5u * 65535u) / 2048u) << "a zero span is treated as 2048";
}

class Framing : public ::testing::Test {
  protected:
    TouchState s = FreshState();
    Recorder r;
    void FeedHex(const std::vector<uint8_t>& b) { Feed(&s, &r.hooks, b); }
};

TEST_F(Framing, TheReferenceClickPacket) {
    FeedHex({0x55, 0x54, 0x81, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00, 0xDC});
    const std::vector<Delivered> expected = {{1, 32767, 32767}, {2, 32767, 32767}};
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(r.groups, 1);
    EXPECT_EQ(s.Framer.State, 0);
}

TEST_F(Framing, AWrongChecksumDropsThePacketSilently) {
    TouchArmCapture(&s);
    FeedHex({0x55, 0x54, 0x81, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00, 0xDD});
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(r.drops, 1);
    EXPECT_EQ(s.Capture.State, CAPTURE_ARMED);
    EXPECT_EQ(s.Capture.RawX, 0u);
}

TEST_F(Framing, MoveAndUpReferencePackets) {
    FeedHex({0x55, 0x54, 0x82, 0x00, 0x02, 0x00, 0x06, 0x12, 0x34, 0x23});
    FeedHex({0x55, 0x54, 0x84, 0xFF, 0x07, 0x00, 0x00, 0x00, 0x00, 0xDD});
    const std::vector<Delivered> expected = {{0, 16383, 49151}, {0, 65503, 1}};
    EXPECT_EQ(r.records, expected);
}

TEST_F(Framing, ARepeatedHeaderByteLosesThePacket) {
    std::vector<uint8_t> p = Packet(TOUCH_MOVE, 10, 10);
    p.insert(p.begin(), 0x55);
    FeedHex(p);
    EXPECT_TRUE(r.records.empty());
    FeedHex(Packet(TOUCH_MOVE, 10, 10));
    EXPECT_EQ(r.records.size(), 1u) << "the framer recovers at the next header";
}

TEST_F(Framing, AnUnknownStatusRestartsTheSearchAtTheNextByte) {
    FeedHex({0x55, 0x54, 0x83});
    EXPECT_EQ(s.Framer.State, 0);
    FeedHex({0x55, 0x54, 0x55});  // the status 0x55 is not looked at again
    EXPECT_EQ(s.Framer.State, 0);
}

TEST_F(Framing, NoiseBeforeAndBetweenPacketsIsSkipped) {
    std::vector<uint8_t> stream = {0x00, 0xFF, 0x54, 0x81, 0x55, 0x00};
    for (uint8_t b : Packet(TOUCH_DOWN, 1024, 1024)) stream.push_back(b);
    for (uint8_t b : {0x12, 0x55, 0x55}) stream.push_back(b);
    for (uint8_t b : Packet(TOUCH_UP, 1024, 1024)) stream.push_back(b);
    FeedHex(stream);
    // the 0x55 0x55 pair before the second packet swallows nothing: the
    // second 0x55 falls back to 0 and the packet's own 0x55 starts again.
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(r.records[2].flags, 0);
}

TEST_F(Framing, PacketBytesMayLookLikeHeaders) {
    FeedHex(Packet(TOUCH_MOVE, 0x5455, 0x5455, 0x55, 0x54));
    ASSERT_EQ(r.records.size(), 1u);
}

TEST_F(Framing, AFailedReadMidPacketResetsTheFramer) {
    const std::vector<uint8_t> p = Packet(TOUCH_DOWN, 500, 500);
    for (int i = 0; i < 6; ++i) TouchOnReadCompleted(&s, &r.hooks, true, 1, p[i]);
    TouchOnReadCompleted(&s, &r.hooks, false, 0, 0);
    EXPECT_EQ(s.Framer.State, 0);
    for (int i = 6; i < 10; ++i) TouchOnReadCompleted(&s, &r.hooks, true, 1, p[i]);
    EXPECT_TRUE(r.records.empty());
    FeedHex(p);
    EXPECT_EQ(r.records.size(), 2u);
}

TEST_F(Framing, AnEmptyReadChangesNothing) {
    const std::vector<uint8_t> p = Packet(TOUCH_MOVE, 500, 500);
    for (int i = 0; i < 5; ++i) TouchOnReadCompleted(&s, &r.hooks, true, 1, p[i]);
    TouchOnReadCompleted(&s, &r.hooks, true, 0, 0x55);
    for (int i = 5; i < 10; ++i) TouchOnReadCompleted(&s, &r.hooks, true, 1, p[i]);
    EXPECT_EQ(r.records.size(), 1u);
}

struct ModeCase {
    uint32_t buttonMode, mouseMode;
    uint8_t status;
    std::vector<uint16_t> flags;
};

TEST(ButtonEmulation, EveryModeAndStatus) {
    const ModeCase cases[] = {
        {0, 0, TOUCH_DOWN, {0x1, 0x2}}, {0, 0, TOUCH_MOVE, {0}},    {0, 0, TOUCH_UP, {0}},
        {0, 1, TOUCH_DOWN, {0}},        {0, 1, TOUCH_MOVE, {0}},    {0, 1, TOUCH_UP, {0x1, 0x2}},
        {0, 2, TOUCH_DOWN, {0x1}},      {0, 2, TOUCH_MOVE, {0}},    {0, 2, TOUCH_UP, {0x2}},
        {0, 3, TOUCH_DOWN, {0x1}},      {0, 3, TOUCH_UP, {0x2}},    {0, 7, TOUCH_DOWN, {0x1}},
        {1, 0, TOUCH_DOWN, {0x4, 0x8}}, {1, 1, TOUCH_UP, {0x4, 0x8}}, {1, 2, TOUCH_DOWN, {0x4}},
        {1, 2, TOUCH_MOVE, {0}},        {1, 2, TOUCH_UP, {0x8}},    {1, 0xFFFFFFFF, TOUCH_UP, {0x8}},
    };
    for (const ModeCase& c : cases) {
        TouchState s = FreshState();
        s.Settings.ButtonMode = c.buttonMode;
        s.Settings.MouseMode = c.mouseMode;
        Recorder r;
        Feed(&s, &r.hooks, Packet(c.status, 700, 1300));
        std::vector<uint16_t> flags;
        for (const Delivered& d : r.records) {
            flags.push_back(d.flags);
            EXPECT_EQ(d.x, int32_t((700u * 65535u) / 2048u));
            EXPECT_EQ(d.y, int32_t((1300u * 65535u) / 2048u));
        }
        EXPECT_EQ(flags, c.flags) << "button " << c.buttonMode << " mouse " << c.mouseMode << " status "
                                  << int(c.status);
        EXPECT_EQ(s.Mouse.ButtonFlags, c.flags.back()) << "the record keeps its last flags";
        EXPECT_EQ(r.groups, 1) << "one raise/lower around all of a packet's deliveries";
    }
}

TEST(ButtonEmulation, UndeliveredRecordKeepsTheTableFlags) {
    TouchState s = FreshState();
    s.ReportEnableCount = 0;
    Recorder r;
    Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 10, 10));
    EXPECT_EQ(s.Mouse.ButtonFlags, 0x1);
    EXPECT_EQ(s.Mouse.Flags, OVT_MOUSE_MOVE_ABSOLUTE);
    EXPECT_TRUE(r.records.empty());
}

TEST(Capture, OnlyADownThenUpAfterArmingCompletesIt) {
    TouchState s = FreshState();
    Recorder r;
    TouchArmCapture(&s);
    Feed(&s, &r.hooks, Packet(TOUCH_MOVE, 1, 2));
    Feed(&s, &r.hooks, Packet(TOUCH_UP, 3, 4));
    EXPECT_EQ(s.Capture.State, CAPTURE_ARMED) << "a finger already down when arming does not count";
    EXPECT_EQ(s.Capture.RawX, 3u);
    Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 5, 6));
    EXPECT_EQ(s.Capture.State, CAPTURE_TOUCHED);
    Feed(&s, &r.hooks, Packet(TOUCH_MOVE, 7, 8));
    Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 8, 8));
    EXPECT_EQ(s.Capture.State, CAPTURE_TOUCHED);
    Feed(&s, &r.hooks, Packet(TOUCH_UP, 900, 1100));
    EXPECT_EQ(s.Capture.State, CAPTURE_DONE);
    EXPECT_EQ(s.Capture.RawX, 900u);
    EXPECT_EQ(s.Capture.RawY, 1100u);
    Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 1, 1));
    EXPECT_EQ(s.Capture.State, CAPTURE_DONE) << "done stays until the next arm";
    const std::vector<uint32_t> changes = {CAPTURE_TOUCHED, CAPTURE_DONE};
    EXPECT_EQ(r.captureStates, changes);
    TouchArmCapture(&s);
    EXPECT_EQ(s.Capture.State, CAPTURE_ARMED);
    EXPECT_EQ(s.Capture.RawX, 1u) << "arming keeps the raw point";
}

TEST(Capture, WorksWithoutSinkOrReports) {
    TouchState s = FreshState();
    s.ReportEnableCount = 0;
    Recorder r;
    r.connected = false;
    TouchArmCapture(&s);
    Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 5, 6));
    Feed(&s, &r.hooks, Packet(TOUCH_UP, 50, 60));
    EXPECT_EQ(s.Capture.State, CAPTURE_DONE);
    EXPECT_TRUE(r.records.empty());
    EXPECT_TRUE(r.beeps.empty());
}

TEST(BeepRule, ModeDecidesTheMomentAndOnlyDeliveringPacketsBeep) {
    struct Case {
        uint32_t beepMode;
        bool connected;
        uint32_t reports;
        size_t down, up;
    } cases[] = {{1, true, 1, 1, 0}, {2, true, 1, 0, 1}, {0, true, 1, 0, 0}, {5, true, 1, 0, 0},
                 {1, false, 1, 0, 0}, {2, true, 0, 0, 0}};
    for (const Case& c : cases) {
        TouchState s = FreshState();
        s.Settings.BeepMode = c.beepMode;
        s.Settings.BeepFreq = 3100;
        s.Settings.BeepTime = 77;
        s.ReportEnableCount = c.reports;
        Recorder r;
        r.connected = c.connected;
        Feed(&s, &r.hooks, Packet(TOUCH_DOWN, 5, 6));
        EXPECT_EQ(r.beeps.size(), c.down) << "mode " << c.beepMode;
        Feed(&s, &r.hooks, Packet(TOUCH_MOVE, 5, 6));
        Feed(&s, &r.hooks, Packet(TOUCH_UP, 5, 6));
        EXPECT_EQ(r.beeps.size(), c.down + c.up) << "mode " << c.beepMode;
        for (auto& b : r.beeps) EXPECT_EQ(b, std::make_pair(3100u, 77u));
        EXPECT_FALSE(r.beepInsideGroup) << "the beep follows the lowered priority";
    }
}

TEST(Checksum, BothFormsAgree) {
    for (int seed = 0; seed < 256; ++seed) {
        auto p = Packet(TOUCH_MOVE, uint16_t(seed * 257), uint16_t(seed * 31), uint8_t(seed), uint8_t(~seed));
        uint32_t sum = 0xAA;
        for (int i = 0; i < 9; ++i) sum += p[i];
        EXPECT_EQ(uint8_t(sum), p[9]);
    }
}

}  // namespace
}  // namespace ovt::test
