// ovtdump --driver against the driver's own core answering the control
// requests, with packets arriving between the 50 ms polls.
#include "watch.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/touch/control.h"

namespace {

std::vector<uint8_t> Packet(uint8_t status, uint16_t x, uint16_t y) {
    std::vector<uint8_t> p = {0x55, 0x54, status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0, 0, 0};
    p[9] = ovt::TouchChecksum(p.data());
    return p;
}

bool Connected(void*) { return true; }
void Drop(void*, const ovt::MouseRecord*) {}

class CoreDriver : public ovtdump::DriverLink {
public:
    CoreDriver() {
        ovt::LoadParameters(&state.Settings, nullptr, nullptr);
        state.ReportEnableCount = 1;
    }
    bool Control(uint32_t code, void* out, uint32_t outLength) override {
        if (polls >= failFrom) return false;
        const ovt::ControlEnv env = {nullptr, nullptr, nullptr};
        const ovt::ControlResult r = ovt::DispatchControl(&state, &env, code, nullptr, 0, out, outLength);
        return r.Status == 0 && r.Information == outLength;
    }
    void Sleep(uint32_t ms) override {
        EXPECT_EQ(ms, 50u);
        ++polls;
        const ovt::TouchHooks hooks = {nullptr, Connected, nullptr, Drop, nullptr, nullptr, nullptr, nullptr, nullptr};
        for (const auto& p : arriving[polls]) {
            for (uint8_t b : p) ovt::TouchOnReadCompleted(&state, &hooks, true, 1, b);
        }
        if (foreignArm.count(polls)) state.Capture.State = CAPTURE_IDLE;
    }
    bool Interrupted() override { return polls >= stopAfter; }

    ovt::TouchState state{};
    std::map<int, std::vector<std::vector<uint8_t>>> arriving;  // before poll n's requests
    std::map<int, bool> foreignArm;
    int polls = 0;
    int stopAfter = 1000;
    int failFrom = 1000;
};

std::string Watch(CoreDriver& d, int* rc) {
    std::FILE* f = std::tmpfile();
    *rc = ovtdump::WatchDriver(d, f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
}

TEST(WatchDriver, PrintsSettingsThenEachTouchAtItsMappedPlaceUntilInterrupted) {
    CoreDriver d;
    d.state.Settings.MouseMode = 1;  // click at lift-off
    d.arriving[2] = {Packet(TOUCH_DOWN, 1024, 512)};
    d.arriving[3] = {Packet(TOUCH_MOVE, 1024, 512)};                             // no change: no line
    d.arriving[4] = {Packet(TOUCH_MOVE, 100, 100), Packet(TOUCH_MOVE, 512, 1536)};  // the last one shows
    d.arriving[5] = {Packet(TOUCH_UP, 512, 1536)};
    d.arriving[6] = {Packet(TOUCH_DOWN, 1536, 512), Packet(TOUCH_UP, 1536, 512)};  // a tap between two polls
    d.foreignArm[8] = true;  // another program's capture took over and ended
    d.arriving[9] = {Packet(TOUCH_DOWN, 100, 100), Packet(TOUCH_UP, 100, 100)};
    d.stopAfter = 10;
    int rc = -1;
    EXPECT_EQ(Watch(d, &rc),
              "driver ButtonMode=0 MouseMode=1 BeepMode=2 BeepFreq=2000 BeepTime=40\n"
              "touch down raw_x=1024 raw_y=512 x=32767 y=16383 buttons=none\n"
              "touch move raw_x=512 raw_y=1536 x=16383 y=49151 buttons=none\n"
              "touch up raw_x=512 raw_y=1536 x=16383 y=49151 buttons=left-up\n"
              "touch up raw_x=1536 raw_y=512 x=49151 y=16383 buttons=left-up\n"
              "touch up raw_x=100 raw_y=100 x=3199 y=3199 buttons=left-up\n"
              "summary touches=3\n");
    EXPECT_EQ(rc, 0);
}

TEST(WatchDriver, ADriverThatStopsAnsweringEndsTheWatch) {
    CoreDriver d;
    d.failFrom = 3;
    int rc = -1;
    EXPECT_EQ(Watch(d, &rc), "driver ButtonMode=0 MouseMode=0 BeepMode=2 BeepFreq=2000 BeepTime=40\n");
    EXPECT_EQ(rc, 1);
    d.failFrom = 0;
    d.polls = 0;
    EXPECT_EQ(Watch(d, &rc), "");
    EXPECT_EQ(rc, 1);
}

TEST(WatchDriver, OneLineReasonsForWhatDoesNotOpen) {
    EXPECT_EQ(ovtdump::PortOpenFailure("COM7", 2, false), "ovtdump: COM7: no such port");
    EXPECT_EQ(ovtdump::PortOpenFailure("COM7", 3, true), "ovtdump: COM7: no such port");
    EXPECT_EQ(ovtdump::PortOpenFailure("COM2", 5, true),
              "ovtdump: COM2: in use; the touch driver is running and holds its port: use ovtdump --driver");
    EXPECT_EQ(ovtdump::PortOpenFailure("COM2", 5, false), "ovtdump: COM2: in use by another program");
    EXPECT_EQ(ovtdump::PortOpenFailure("COM2", 32, false), "ovtdump: COM2: in use by another program");
    EXPECT_EQ(ovtdump::PortOpenFailure("COM2", 31, false), "ovtdump: COM2: cannot open (error 31)");
    EXPECT_EQ(ovtdump::DriverOpenFailure(2), "ovtdump: the touch driver is not running (no \\\\.\\ovtouch)");
    EXPECT_EQ(ovtdump::DriverOpenFailure(5), "ovtdump: \\\\.\\ovtouch: cannot open (error 5)");
}

}  // namespace
