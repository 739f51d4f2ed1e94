// ovtdump --driver against the driver's own core answering the control
// requests, with packets arriving between the 50 ms polls, alone and beside
// the programs that wait for a touch.
#include "watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <string>
#include <thread>
#include <vector>

#include "altclick/logic/altclick_logic.h"
#include "calib/logic/calib_logic.h"
#include "driver/touch/control.h"
#include "tests/support/fake_registry.h"
#include "tests/support/inproc_device.h"

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
        codes.insert(code);
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
        if (foreignArm.count(polls)) ovt::TouchArmCapture(&state);
    }
    bool Interrupted() override { return polls >= stopAfter; }

    ovt::TouchState state{};
    std::map<int, std::vector<std::vector<uint8_t>>> arriving;  // before poll n's requests
    std::map<int, bool> foreignArm;
    int polls = 0;
    int stopAfter = 1000;
    int failFrom = 1000;
    std::set<uint32_t> codes;
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
    d.foreignArm[8] = true;  // another program waits for a touch
    d.arriving[9] = {Packet(TOUCH_DOWN, 100, 100), Packet(TOUCH_UP, 100, 100)};
    d.stopAfter = 10;
    int rc = -1;
    EXPECT_EQ(Watch(d, &rc),
              "driver ButtonMode=0 MouseMode=1 BeepMode=2 BeepFreq=2000 BeepTime=40\n"
              "watching \\\\.\\ovtouch every 50 ms; Ctrl+C ends\n"
              "touch down raw_x=1024 raw_y=512 x=32767 y=16383 buttons=none\n"
              "touch move raw_x=512 raw_y=1536 x=16383 y=49151 buttons=none\n"
              "touch up raw_x=512 raw_y=1536 x=16383 y=49151 buttons=left-up\n"
              "touch up raw_x=1536 raw_y=512 x=49151 y=16383 buttons=left-up\n"
              "touch up raw_x=100 raw_y=100 x=3199 y=3199 buttons=left-up\n"
              "summary touches=3\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(d.state.Capture.State, uint32_t(CAPTURE_DONE)) << "the other program's touch is still there for it";
    EXPECT_EQ(d.codes, std::set<uint32_t>({IOCTL_TOUCH_GET_BUTTON_MODE, IOCTL_TOUCH_GET_MOUSE_MODE, IOCTL_TOUCH_GET_BEEP,
                                           IOCTL_TOUCH_GET_CAPTURE, IOCTL_TOUCH_GET_LAST_REPORT}));
}

// Every line kind in the other mouse modes; a lift-off in mode 0 sends
// nothing and shows nothing.
TEST(WatchDriver, LinesFollowTheMouseMode) {
    const struct {
        uint32_t Mouse, Button;
        std::vector<std::vector<uint8_t>> Polls;
        const char* Lines;
    } rows[] = {
        {0, 0, {Packet(TOUCH_DOWN, 1024, 1024), Packet(TOUCH_MOVE, 512, 1024), Packet(TOUCH_UP, 512, 1024),
                Packet(TOUCH_DOWN, 512, 512)},
         "touch down raw_x=1024 raw_y=1024 x=32767 y=32767 buttons=left-up\n"
         "touch move raw_x=512 raw_y=1024 x=16383 y=32767 buttons=none\n"
         "touch down raw_x=512 raw_y=512 x=16383 y=16383 buttons=left-up\nsummary touches=2\n"},
        {2, 1, {Packet(TOUCH_DOWN, 1024, 1024), Packet(TOUCH_UP, 1024, 1024), Packet(TOUCH_MOVE, 1024, 1024),
                Packet(TOUCH_UP, 512, 512)},
         "touch down raw_x=1024 raw_y=1024 x=32767 y=32767 buttons=right-down\n"
         "touch up raw_x=1024 raw_y=1024 x=32767 y=32767 buttons=right-up\n"
         "touch move raw_x=1024 raw_y=1024 x=32767 y=32767 buttons=none\n"
         "touch up raw_x=512 raw_y=512 x=16383 y=16383 buttons=right-up\nsummary touches=2\n"},
    };
    for (const auto& row : rows) {
        CoreDriver d;
        d.state.Settings.MouseMode = row.Mouse;
        d.state.Settings.ButtonMode = row.Button;
        for (size_t i = 0; i < row.Polls.size(); ++i) d.arriving[int(i) + 1] = {row.Polls[i]};
        d.stopAfter = 6;
        int rc = -1;
        const std::string text = Watch(d, &rc);
        EXPECT_EQ(text.substr(text.find('\n', text.find("watching")) + 1), row.Lines);
    }
}

TEST(WatchDriver, ADriverThatStopsAnsweringEndsTheWatch) {
    CoreDriver d;
    d.failFrom = 3;
    int rc = -1;
    EXPECT_EQ(Watch(d, &rc),
              "driver ButtonMode=0 MouseMode=0 BeepMode=2 BeepFreq=2000 BeepTime=40\n"
              "watching \\\\.\\ovtouch every 50 ms; Ctrl+C ends\n");
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

// The watch beside a program waiting for a touch, taking turns: each runs
// until its next sleep, once per 50 ms tick in a fixed order.
class Lockstep {
public:
    ~Lockstep() {
        for (std::thread& t : threads_) t.join();
    }
    void Start(int party, std::function<void()> body) {
        threads_.emplace_back([this, party, body] { Await(party), body(), done_[party] = true, Pass(-1); });
    }
    bool Sleep(int party) { return Pass(-1), Await(party), !over; }  // false once the run is over
    void Turn(int party) {
        if (!done_[party]) Pass(party), Await(-1);
    }
    void End() {
        over = true;
        for (int party : {0, 1}) while (!done_[party]) Turn(party);
    }
    std::atomic<bool> over{false};

private:
    void Pass(int to) {
        std::lock_guard<std::mutex> l(m_);
        turn_ = to;
        cv_.notify_all();
    }
    void Await(int who) {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this, who] { return turn_ == who; });
    }
    std::mutex m_;
    std::condition_variable cv_;
    int turn_ = -2;
    std::atomic<bool> done_[2] = {};
    std::vector<std::thread> threads_;
};

// The watch's link (party 0) and the right-button tool's waits (party 1).
struct Beside : ovtdump::DriverLink, ovt::altclick::Waiter, ovt::altclick::Notifier {
    bool Control(uint32_t code, void* out, uint32_t outLength) override {
        uint32_t bytes = 0;
        return device.Control(code, nullptr, 0, out, outLength, &bytes) && bytes == outLength;
    }
    void Sleep(uint32_t) override { steps.Sleep(0); }
    bool Interrupted() override { return steps.over; }
    bool Wait(uint32_t) override { return steps.Sleep(1); }
    void TouchDone() override { ++done; }
    ovt::test::InProcDevice device;
    Lockstep steps;
    int done = 0;
};

struct CalibWaits : ovt::calib::CalibPlatform {
    explicit CalibWaits(Beside& b) : beside(b) {}
    void ClientSize(int32_t* width, int32_t* height) override { *width = 800, *height = 600; }
    void DrawTarget(ovt::calib::Point) override {}
    void PostResult() override { ++beside.done; }
    void Wait(uint32_t ms) override { beside.Wait(ms); }
    void Wake() override {}
    void Lock() override {}
    void Unlock() override {}
    Beside& beside;
};

class WatchBesideTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

// Touches down at tick 3 and up at 5, the calibration's second at 9 and
// 11: the program's capture completes whichever of the two polls first.
TEST_P(WatchBesideTest, TheProgramsWaitForATouchEnds) {
    const auto [calibration, watchFirst] = GetParam();
    Beside b;
    ovt::test::FakeRegistry registry;
    CalibWaits platform(b);
    ovt::calib::Session session(b.device, registry, platform);
    session.Begin();
    ovt::altclick::SharedFlags flags;
    flags.armed = 1;
    std::FILE* sink = std::tmpfile();
    b.steps.Start(0, [&] { EXPECT_EQ(ovtdump::WatchDriver(b, sink), 0); });
    b.steps.Start(1, [&] { calibration ? session.RunWorker() : ovt::altclick::RunWorker(&b.device, &flags, &b, &b); });
    for (int tick = 0; tick < 16; ++tick) {
        if (tick == 1) flags.armed = 1;  // the window switched to the right button
        const uint16_t at = tick < 9 ? 300 : 1500;
        if ((tick == 3 || tick == 5 || (calibration && (tick == 9 || tick == 11)))) {
            b.device.Touch(tick % 3 == 0 ? TOUCH_DOWN : TOUCH_UP, at, uint16_t(at + 100));
        }
        b.steps.Turn(watchFirst ? 0 : 1);
        b.steps.Turn(watchFirst ? 1 : 0);
    }
    session.StopWorker();
    b.steps.End();
    std::fclose(sink);
    EXPECT_EQ(b.done, 1);
    const CalibrationBuffer want = ovt::calib::ComputeCalibration({300, 400}, {1500, 1600});
    const CalibrationRecord& got = b.device.State().Settings.Calibration;
    const std::vector<int32_t> bounds = {int32_t(got.XLow), int32_t(got.YLow), int32_t(got.XHigh), int32_t(got.YHigh)};
    if (calibration) {
        EXPECT_EQ(bounds, std::vector<int32_t>({want.XLow, want.YLow, want.XHigh, want.YHigh}));
    }
}

INSTANTIATE_TEST_SUITE_P(Watch, WatchBesideTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& i) {
                             return std::string(std::get<0>(i.param) ? "Calibration" : "RightButtonTool") +
                                    (std::get<1>(i.param) ? "WatchFirst" : "WatchSecond");
                         });

}  // namespace
