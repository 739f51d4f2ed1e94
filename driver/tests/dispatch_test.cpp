// Requests to the pointer port device: file requests, the mouse class's
// internal requests and the control codes through real request objects.
#include <ostream>
#include <string>
#include <utility>

#include "harness.h"

namespace ovtest {
namespace {

using kstub::W;

class DispatchTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        ASSERT_EQ(Load(), STATUS_SUCCESS);
    }
};

TEST_F(DispatchTest, FileRequests) {
    const struct {
        UCHAR Major;
        NTSTATUS Status;
    } cases[] = {
        {IRP_MJ_CREATE, STATUS_SUCCESS},
        {IRP_MJ_CLOSE, STATUS_SUCCESS},
        {IRP_MJ_READ, STATUS_NOT_IMPLEMENTED},
        {IRP_MJ_WRITE, STATUS_NOT_IMPLEMENTED},
    };
    for (const auto& c : cases) {
        const kstub::Request r = kstub::Send(Device(), c.Major, 0, nullptr, 0, 4);
        EXPECT_EQ(r.Status, c.Status) << int(c.Major);
        EXPECT_EQ(r.Information, 0u) << int(c.Major);
    }
}

TEST_F(DispatchTest, InternalRequestsWithoutAConnection) {
    const struct {
        ULONG Code;
        NTSTATUS Status;
    } cases[] = {
        {IOCTL_INTERNAL_MOUSE_DISCONNECT, STATUS_NOT_SUPPORTED},
        {IOCTL_INTERNAL_MOUSE_ENABLE, STATUS_SUCCESS},
        {IOCTL_INTERNAL_MOUSE_DISABLE, STATUS_NOT_SUPPORTED},
        {0x000F0007, STATUS_INVALID_DEVICE_REQUEST},
        {IOCTL_TOUCH_GET_BEEP, STATUS_INVALID_DEVICE_REQUEST},
    };
    for (const auto& c : cases) {
        const kstub::Request r = Internal(c.Code, nullptr, 0, 12);
        EXPECT_EQ(r.Status, c.Status) << std::hex << c.Code;
        EXPECT_EQ(r.Information, 0u);
    }
    EXPECT_EQ(g_ovt.Class.ClassService, nullptr);
}

TEST_F(DispatchTest, ShortConnectIsRefused) {
    CONNECT_DATA c = {&Mouse.Device, reinterpret_cast<PVOID>(&kstub::SimMouseClass::Service)};
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_CONNECT, &c, 4).Status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_CONNECT, nullptr, sizeof(c)).Status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(g_ovt.Class.ClassService, nullptr);
    EXPECT_EQ(Connect(Mouse), STATUS_SUCCESS);
}

TEST_F(DispatchTest, SecondConnectIsRefusedAndTheFirstStays) {
    kstub::SimMouseClass other;
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    EXPECT_EQ(Connect(other), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_DISCONNECT, nullptr, 0).Status, STATUS_NOT_SUPPORTED);
    EXPECT_EQ(g_ovt.Class.ClassDeviceObject, &Mouse.Device);

    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    kstub::RunThreads();
    kstub::ElapseWaits();
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    port.Deliver();
    EXPECT_EQ(Mouse.Deliveries.size(), 1u);
    EXPECT_TRUE(other.Deliveries.empty());
}

TEST_F(DispatchTest, QueryAttributes) {
    const kstub::Request small = Internal(IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, 8);
    EXPECT_EQ(small.Status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(small.Information, 0u);
    EXPECT_EQ(small.Output, std::vector<UCHAR>(8, 0xEE)) << "nothing written";

    const kstub::Request r = Internal(IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, 16);
    ASSERT_EQ(r.Status, STATUS_SUCCESS);
    EXPECT_EQ(r.Information, 12u);
    const std::vector<UCHAR> expected = {4, 0, 2, 0, 0xEE, 0xEE, 0xEE, 0xEE, 12, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(r.Output, expected) << "sample rate and the bytes past the record untouched";
}

// The core's answers are its own tests' matter; here only what the binding
// adds: the lengths and the system buffer reaching the core, its status and
// byte count passed on, and no internal request served to programs.
TEST_F(DispatchTest, ControlCodesAnswerThroughTheSystemBuffer) {
    const kstub::Request shortCapture = Ioctl(IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 8);
    EXPECT_EQ(shortCapture.Status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(shortCapture.Information, 0u);
    EXPECT_EQ(shortCapture.Output, std::vector<UCHAR>(8, 0xEE));

    const kstub::Request beep = Ioctl(IOCTL_TOUCH_GET_BEEP, nullptr, 0, 16);
    EXPECT_EQ(beep.Status, STATUS_SUCCESS);
    EXPECT_EQ(beep.Information, 12u);
    EXPECT_EQ(Word(beep, 1), 2000u);

    const ULONG calibration[8] = {500, 0, 500, 2048, 7, 8, 0, 0};
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_SET_CALIBRATION, calibration, 32).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.Touch.Settings.Calibration.YOffset, 8u);

    EXPECT_EQ(Ioctl(IOCTL_INTERNAL_MOUSE_CONNECT).Status, STATUS_INVALID_DEVICE_REQUEST);
}

// Two reloads on two processors, the key changed for the other one and
// changed back before this one reads it: this one, ending later, stands,
// though its values equal the set it started from.
TEST_F(DispatchTest, TheLaterOfTwoReloadsStands) {
    for (int at = 0;; ++at) {
        SCOPED_TRACE("other reload before step " + std::to_string(at));
        DriverTest::TearDown();
        DriverTest::SetUp();
        kstub::RegSetKey(kParametersKey);
        kstub::RegSetDword(kParametersKey, "BeepFreq", 3000);
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        bool happened = false;
        W().BetweenSteps = [&](int step) {
            if (step != at) return;
            happened = true;
            kstub::RegSetDword(kParametersKey, "BeepFreq", 4000);
            Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
            kstub::RegSetDword(kParametersKey, "BeepFreq", 3000);
        };
        Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
        W().BetweenSteps = nullptr;
        if (!happened) break;
        EXPECT_EQ(g_ovt.Touch.Settings.BeepFreq, 3000u);
    }
}

// What a touch-down at raw (1100, 1100) comes out as.
struct Outcome {
    std::vector<USHORT> Flags;
    LONG X = 0, Y = 0;
    std::vector<ULONG> Beeps;
    bool operator==(const Outcome& o) const { return Flags == o.Flags && X == o.X && Y == o.Y && Beeps == o.Beeps; }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    os << "flags";
    for (USHORT f : o.Flags) os << ' ' << f;
    os << " at " << o.X << ',' << o.Y << " beeps";
    for (ULONG b : o.Beeps) os << ' ' << b;
    return os;
}

using Key = std::vector<std::pair<const char*, ULONG>>;

// Right button, click at touch-down, 3000 Hz at touch-down, X 100..2100,
// Y 300..2300. The defaults would give flags 1 2 at 35199,35199, no beep.
const Key kOldKey = {{"XLow", 100}, {"XHigh", 2100}, {"YLow", 300},      {"YHigh", 2300},   {"ButtonMode", 1},
                     {"MouseMode", 0}, {"BeepMode", 1}, {"BeepFreq", 3000}, {"BeepTime", 100}};
const Outcome kOld = {{4, 8}, 32767, 26214, {3000}};

struct Setter {
    const char* Name;
    Key Values;  // written to the key before the request
    ULONG Code;
    std::vector<ULONG> In;
    Outcome New;
};

class SetterRaceTest : public DriverTest, public ::testing::WithParamInterface<Setter> {
protected:
    Outcome TouchDown(kstub::SimPort& port) {
        const size_t records = Mouse.Deliveries.size();
        const size_t beeps = W().Beeps.size();
        port.QueueBytes(Packet(TOUCH_DOWN, 1100, 1100));
        port.Deliver();
        Outcome o;
        for (size_t i = records; i < Mouse.Deliveries.size(); ++i) {
            o.Flags.push_back(Mouse.Deliveries[i].Record.ButtonFlags);
            o.X = Mouse.Deliveries[i].Record.LastX;
            o.Y = Mouse.Deliveries[i].Record.LastY;
        }
        o.Beeps.assign(W().Beeps.begin() + static_cast<std::ptrdiff_t>(beeps), W().Beeps.end());
        return o;
    }
};

// A packet between any two kernel calls of a setter is mapped, buttoned and
// beeped with the whole old set or the whole new one, never a mix.
TEST_P(SetterRaceTest, APacketMeanwhileSeesTheWholeOldOrTheWholeNewSet) {
    const Setter& setter = GetParam();
    for (int at = -1;; ++at) {
        SCOPED_TRACE("packet before step " + std::to_string(at));
        SetUp();
        kstub::RegSetKey(kParametersKey);
        for (const auto& [name, value] : kOldKey) kstub::RegSetDword(kParametersKey, name, value);
        kstub::SimPort& port = LoadWithPort();
        ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
        ASSERT_EQ(TouchDown(port), kOld);
        for (const auto& [name, value] : setter.Values) kstub::RegSetDword(kParametersKey, name, value);
        std::vector<Outcome> meanwhile;
        W().BetweenSteps = [&](int step) {
            if (step == at) meanwhile.push_back(TouchDown(port));
        };
        const kstub::Request r = Ioctl(setter.Code, setter.In.data(), static_cast<ULONG>(setter.In.size() * 4));
        W().BetweenSteps = nullptr;
        EXPECT_EQ(r.Status, STATUS_SUCCESS);
        EXPECT_EQ(r.Information, 0u);
        for (const Outcome& o : meanwhile) EXPECT_TRUE(o == kOld || o == setter.New) << o;
        EXPECT_EQ(TouchDown(port), setter.New);
        TearDown();
        if (at >= 0 && meanwhile.empty()) break;  // past the last step
    }
}

INSTANTIATE_TEST_SUITE_P(
    Setters, SetterRaceTest,
    ::testing::Values(
        Setter{"ReloadFullKey",
               {{"Port", 2}, {"XLow", 1000}, {"XHigh", 2000}, {"XOffset", 5}, {"XPropt", 7}, {"YHigh", 4000},
                {"YLow", 0}, {"YOffset", 6}, {"YProp", 8}, {"BeepFreq", 4000}, {"BeepTime", 200},
                {"BeepFreq2", 1500}, {"BeepTime2", 50}, {"ButtonMode", 0}, {"MouseMode", 2}, {"BeepMode", 1}},
               IOCTL_TOUCH_RELOAD_PARAMETERS, {}, {{1}, 6553, 18022, {4000}}},
        // Each value needs its correction: cut bounds, out-of-range modes and tone.
        Setter{"ReloadBadValues",
               {{"XLow", 0x000503E8}, {"XHigh", 0xABCD07D0}, {"YLow", 0xFFFF0000}, {"YHigh", 0x10000FA0},
                {"ButtonMode", 5}, {"MouseMode", 9}, {"BeepFreq", 9999}, {"BeepTime", 5}},
               IOCTL_TOUCH_RELOAD_PARAMETERS, {}, {{1}, 6553, 18022, {2000}}},
        Setter{"SetCalibration", {}, IOCTL_TOUCH_SET_CALIBRATION, {1000, 0, 2000, 4000, 7, 9},
               {{4, 8}, 6553, 18022, {3000}}},
        Setter{"SetBeep", {}, IOCTL_TOUCH_SET_BEEP, {1, 4500, 60}, {{4, 8}, 32767, 26214, {4500}}},
        Setter{"SetButtonMode", {}, IOCTL_TOUCH_SET_BUTTON_MODE, {0}, {{1, 2}, 32767, 26214, {3000}}},
        Setter{"SetMouseMode", {}, IOCTL_TOUCH_SET_MOUSE_MODE, {2}, {{4}, 32767, 26214, {3000}}}),
    [](const ::testing::TestParamInfo<Setter>& i) { return std::string(i.param.Name); });

// The other way round: another processor is halfway through a lift-off
// packet (it holds the settings lock and has written X, not yet Y, nor the
// capture's DONE) when a query or an arm comes, or comes before any kernel
// call of one; it finishes when this processor spins on the lock or makes
// its next kernel call. The answer is one packet's whole record, and an
// arm is not undone by the lift-off's DONE.
class RecordRaceTest : public DriverTest, public ::testing::WithParamInterface<ULONG> {};

TEST_P(RecordRaceTest, AnotherProcessorMidPacketIsSeenWholeBeforeOrAfter) {
    const ULONG code = GetParam();
    for (int at = -1;; ++at) {
        SCOPED_TRACE("packet begun before step " + std::to_string(at));
        SetUp();
        kstub::SimPort& port = LoadWithPort();
        ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
        ASSERT_EQ(Ioctl(IOCTL_TOUCH_ARM_CAPTURE).Status, STATUS_SUCCESS);
        port.QueueBytes(Packet(TOUCH_DOWN, 255, 255));
        port.Deliver();
        const ovt::TouchState before = g_ovt.Touch;
        port.QueueBytes(Packet(TOUCH_UP, 256, 1792));
        port.Deliver();
        const ovt::TouchState after = g_ovt.Touch;
        bool midPacket = false, begun = false;
        auto finish = [&] {
            if (midPacket) g_ovt.Touch = after, g_ovt.SettingsLock = 0, midPacket = false;
        };
        auto begin = [&] {
            g_ovt.Touch = before;
            g_ovt.Touch.Capture.RawX = after.Capture.RawX;
            g_ovt.Touch.Mouse.LastX = after.Mouse.LastX;
            g_ovt.SettingsLock = 1;
            midPacket = begun = true;
        };
        if (at < 0) begin();
        W().LockHeldElsewhere = finish;
        W().BetweenSteps = [&](int step) { step == at ? begin() : finish(); };
        const kstub::Request r = Ioctl(code, nullptr, 0, 12);
        W().BetweenSteps = nullptr;
        finish();
        ASSERT_EQ(r.Status, STATUS_SUCCESS);
        auto whole = [&](const ovt::TouchState& t) {
            const ULONG c[3] = {t.Capture.State, t.Capture.RawX, t.Capture.RawY};
            const ULONG m[3] = {t.Mouse.ButtonFlags, ULONG(t.Mouse.LastX), ULONG(t.Mouse.LastY)};
            return std::memcmp(r.Output.data(), code == IOCTL_TOUCH_GET_CAPTURE ? c : m, 12) == 0;
        };
        if (code == IOCTL_TOUCH_ARM_CAPTURE) {
            EXPECT_EQ(g_ovt.Touch.Capture.State, ULONG(CAPTURE_ARMED)) << "the arm was lost";
        } else {
            EXPECT_TRUE(whole(before) || whole(after)) << Word(r, 0) << ' ' << Word(r, 1) << ' ' << Word(r, 2);
        }
        TearDown();
        if (!begun) break;  // past the last step
    }
}

INSTANTIATE_TEST_SUITE_P(Records, RecordRaceTest,
                         ::testing::Values(IOCTL_TOUCH_GET_CAPTURE, IOCTL_TOUCH_GET_LAST_REPORT,
                                           IOCTL_TOUCH_ARM_CAPTURE),
                         [](const ::testing::TestParamInfo<ULONG>& i) { return std::to_string(i.param); });

}  // namespace
}  // namespace ovtest
