// The worker on a real thread against the driver's own dispatcher and touch
// core, fed with controller packets; the test thread plays the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "calib/logic/calib_logic.h"
#include "calib/tests/recording_registry.h"
#include "tests/support/inproc_device.h"

namespace ovt::calib {
namespace {

using test::FakeRegistry;
using test::InProcDevice;
using test::RecordingRegistry;

const Point kA = {256, 192};
const Point kB = {768, 576};
const uint32_t kStoredXLow = 100, kStoredXHigh = 1900, kStoredYLow = 150, kStoredYHigh = 1850;

template <class Pred>
bool Eventually(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pred();
}

// The window side: records draws, posts and waits; the poll's 50 ms are
// asked for but a millisecond is slept, so passes run quickly.
class TestPlatform : public CalibPlatform {
  public:
    void ClientSize(int32_t* w, int32_t* h) override {
        *w = 1024;
        *h = 768;
    }
    void DrawTarget(Point at) override {
        std::unique_lock<std::mutex> lock(mutex_);
        draws_.push_back(at);
        if (static_cast<int>(draws_.size()) == pauseAt_) {
            paused_ = true;
            cv_.wait(lock, [&] { return !paused_; });
        }
    }
    void PostResult() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++results_;
    }
    void Wait(uint32_t ms) override {
        std::unique_lock<std::mutex> lock(mutex_);
        waits_.push_back(ms);
        if (ms == kForever) {
            cv_.wait(lock, [&] { return woken_; });
        } else {
            cv_.wait_for(lock, std::chrono::milliseconds(1), [&] { return woken_; });
        }
        woken_ = false;
    }
    void Wake() override {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
        cv_.notify_all();
    }
    void Lock() override { gate_.lock(); }
    void Unlock() override { gate_.unlock(); }
    uint32_t Now() override { return clock; }

    std::atomic<uint32_t> clock{0xFFFFF000u};  // wraps while the question is open

    // Test side.
    void PauseAtDraw(int n) {
        std::lock_guard<std::mutex> lock(mutex_);
        pauseAt_ = n;
    }
    bool Paused() {
        std::lock_guard<std::mutex> lock(mutex_);
        return paused_;
    }
    void Resume() {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = false;
        pauseAt_ = -1;
        cv_.notify_all();
    }
    std::vector<Point> Draws() {
        std::lock_guard<std::mutex> lock(mutex_);
        return draws_;
    }
    int Results() {
        std::lock_guard<std::mutex> lock(mutex_);
        return results_;
    }
    std::vector<uint32_t> Waits() {
        std::lock_guard<std::mutex> lock(mutex_);
        return waits_;
    }

  private:
    std::mutex mutex_;
    std::mutex gate_;
    std::condition_variable cv_;
    std::vector<Point> draws_;
    std::vector<uint32_t> waits_;
    int results_ = 0;
    int pauseAt_ = -1;
    bool paused_ = false;
    bool woken_ = false;
};

class CalibSession : public ::testing::Test {
  protected:
    void SetUp() override { Start(true); }

    void Start(bool withKey) {
        if (withKey) {
            const char* path = OVT_PARAMETERS_KEY_PATH;
            fake.AddKey(RegRoot::LocalMachine, path);
            fake.SetDword(RegRoot::LocalMachine, path, "XLow", kStoredXLow);
            fake.SetDword(RegRoot::LocalMachine, path, "XHigh", kStoredXHigh);
            fake.SetDword(RegRoot::LocalMachine, path, "YLow", kStoredYLow);
            fake.SetDword(RegRoot::LocalMachine, path, "YHigh", kStoredYHigh);
            fake.SetDword(RegRoot::LocalMachine, path, "BeepMode", 0);
        }
        fake.writes.clear();
        device = std::make_unique<InProcDevice>(&fake);
        session = std::make_unique<Session>(*device, registry, platform);
        session->Begin();
        worker = std::thread([this] { session->RunWorker(); });
    }

    void TearDown() override {
        if (worker.joinable()) {
            session->StopWorker();
            worker.join();
        }
    }

    size_t Count(uint32_t code) {
        size_t n = 0;
        for (uint32_t c : device->Codes()) n += c == code;
        return n;
    }
    uint32_t CaptureState() {
        std::lock_guard<std::mutex> lock(device->Lock());
        return device->State().Capture.State;
    }
    DriverSettings Settings() {
        std::lock_guard<std::mutex> lock(device->Lock());
        return device->State().Settings;
    }
    // The tap must come after the arming, or the arming would swallow it.
    void TapWhenArmed(size_t arms, uint16_t x, uint16_t y) {
        ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= arms; })) << "arm " << arms;
        ASSERT_EQ(CaptureState(), CAPTURE_ARMED);
        device->Tap(x, y);
    }
    void AwaitResult(int n) {
        ASSERT_TRUE(Eventually([&] { return platform.Results() >= n; })) << "result " << n;
    }
    // One whole pass: tap A, tap B, result posted.
    void Pass(int n, Point rawA, Point rawB) {
        TapWhenArmed(2 * n - 1, uint16_t(rawA.x), uint16_t(rawA.y));
        TapWhenArmed(2 * n, uint16_t(rawB.x), uint16_t(rawB.y));
        AwaitResult(n);
    }
    // The worker ends by itself once stopped; a hang fails by timeout.
    void Join() {
        if (worker.joinable()) worker.join();
    }
    std::vector<int32_t> LastCalibrationSent() {
        for (auto& r : Reversed(device->Requests())) {
            if (r.code != IOCTL_TOUCH_SET_CALIBRATION) continue;
            EXPECT_EQ(r.in.size(), 32u);
            std::vector<int32_t> words(r.in.size() / 4);
            std::memcpy(words.data(), r.in.data(), words.size() * 4);
            return words;
        }
        return {};
    }
    static std::vector<test::SentRequest> Reversed(std::vector<test::SentRequest> v) {
        return std::vector<test::SentRequest>(v.rbegin(), v.rend());
    }
    void ExpectDriverHasStoredValues() {
        const CalibrationRecord s = Settings().Calibration;
        EXPECT_EQ(s.XLow, kStoredXLow);
        EXPECT_EQ(s.XHigh, kStoredXHigh);
        EXPECT_EQ(s.YLow, kStoredYLow);
        EXPECT_EQ(s.YHigh, kStoredYHigh);
    }
    uint32_t Stored(const char* name) {
        uint32_t v = 0xDEADBEEF;
        fake.GetDword(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, name, &v);
        return v;
    }

    FakeRegistry fake;
    RecordingRegistry registry{fake};
    TestPlatform platform;
    std::unique_ptr<InProcDevice> device;
    std::unique_ptr<Session> session;
    std::thread worker;
};

bool SamePoints(const std::vector<Point>& got, const std::vector<Point>& want) {
    if (got.size() != want.size()) return false;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i].x != want[i].x || got[i].y != want[i].y) return false;
    }
    return true;
}

TEST_F(CalibSession, YesStoresTheSixValuesInOrder) {
    Pass(1, {500, 600}, {1500, 1400});

    EXPECT_EQ(LastCalibrationSent(), (std::vector<int32_t>{0, 200, 2000, 1800, 0, 0, 0, 0}));
    // The trial values are live in the driver while the question is open.
    EXPECT_EQ(Settings().Calibration.XHigh, 2000u);
    EXPECT_EQ(Settings().Calibration.YLow, 200u);
    EXPECT_FALSE(session->RunFlag());
    EXPECT_TRUE(SamePoints(platform.Draws(), {kA, kA, kB, kB}));

    session->Answer(true);
    EXPECT_TRUE(session->SaveRequested());
    EXPECT_FALSE(session->KeepRunning());
    EXPECT_EQ(session->Finish(), Session::Outcome::Stored);
    Join();

    ASSERT_EQ(fake.writes.size(), 6u);
    const char* order[] = {"XHigh", "XLow", "YHigh", "YLow", "XOffset", "YOffset"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(fake.writes[i].name, order[i]);
        EXPECT_EQ(fake.writes[i].type, uint32_t(kRegDword));
        EXPECT_EQ(fake.writes[i].data.size(), 4u);
    }
    EXPECT_EQ(Stored("XHigh"), 2000u);
    EXPECT_EQ(Stored("XLow"), 0u);
    EXPECT_EQ(Stored("YHigh"), 1800u);
    EXPECT_EQ(Stored("YLow"), 200u);
    EXPECT_EQ(Stored("XOffset"), 0u);
    EXPECT_EQ(Stored("YOffset"), 0u);
    ASSERT_EQ(registry.opens.size(), 1u);
    EXPECT_EQ(registry.opens[0].access, uint32_t(kKeySetValue));
    EXPECT_EQ(registry.creates, 0);
    EXPECT_EQ(device->Reloads(), 0);

    // Exactly the worker's requests: arm, then polls, twice, then the values.
    std::vector<uint32_t> codes = device->Codes();
    ASSERT_GE(codes.size(), 5u);
    EXPECT_EQ(codes[0], IOCTL_TOUCH_ARM_CAPTURE);
    EXPECT_EQ(codes[1], IOCTL_TOUCH_GET_CAPTURE);
    EXPECT_EQ(codes.back(), IOCTL_TOUCH_SET_CALIBRATION);
    for (uint32_t c : codes) {
        EXPECT_TRUE(c == IOCTL_TOUCH_ARM_CAPTURE || c == IOCTL_TOUCH_GET_CAPTURE ||
                    c == IOCTL_TOUCH_SET_CALIBRATION);
    }
    for (auto& r : device->Requests()) {
        if (r.code == IOCTL_TOUCH_GET_CAPTURE) {
            EXPECT_EQ(r.outLength, 12u);
        }
    }
    // The capture is polled every 50 ms, and nothing else is waited for but the answer.
    const std::vector<uint32_t> waits = platform.Waits();
    EXPECT_GE(std::count(waits.begin(), waits.end(), 50u), 1);
    for (uint32_t w : waits) EXPECT_TRUE(w == 50u || w == kForever) << w;
    // A second end does nothing more.
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    EXPECT_EQ(fake.writes.size(), 6u);
}

TEST_F(CalibSession, NoReloadsAndStartsOverWithTargetA) {
    Pass(1, {500, 600}, {1500, 1400});
    session->Answer(false);
    EXPECT_FALSE(session->SaveRequested());
    EXPECT_TRUE(session->KeepRunning());
    EXPECT_EQ(device->Reloads(), 1);
    ExpectDriverHasStoredValues();

    // The new pass draws target A again and captures afresh.
    Pass(2, {1501, 700}, {500, 1300});
    EXPECT_TRUE(SamePoints(platform.Draws(), {kA, kA, kB, kB, kA, kA, kB, kB}));
    EXPECT_EQ(LastCalibrationSent(), (std::vector<int32_t>{2001, 400, 0, 1600, 0, 0, 0, 0}));

    session->Answer(true);
    EXPECT_EQ(session->Finish(), Session::Outcome::Stored);
    Join();
    EXPECT_EQ(Stored("XLow"), 2001u);  // reversed axis: stored as computed
    EXPECT_EQ(Stored("XHigh"), 0u);
    EXPECT_EQ(Stored("YLow"), 400u);
    EXPECT_EQ(Stored("YHigh"), 1600u);
    EXPECT_EQ(device->Reloads(), 1);
}

TEST_F(CalibSession, ClampedPointsGoOutAsComputed) {
    Pass(1, {100, 900}, {1500, 1029});
    EXPECT_EQ(LastCalibrationSent(), (std::vector<int32_t>{0, 836, 2048, 1093, 0, 0, 0, 0}));
    session->Answer(true);
    EXPECT_EQ(session->Finish(), Session::Outcome::Stored);
    EXPECT_EQ(Stored("XLow"), 0u);
    EXPECT_EQ(Stored("XHigh"), 2048u);
    EXPECT_EQ(Stored("YLow"), 836u);
    EXPECT_EQ(Stored("YHigh"), 1093u);
}

// A kiosk has only the touch screen: a pass that cannot be right is not
// offered, and a question nobody answers counts as No.
struct GuardedPass {
    const char* name;
    Point rawA, rawB;
    bool asked;  // values sent and the question posted
    uint32_t answerMs, secondsLeft;
    bool yes, stored;  // the answer that comes (after the time: a late one)
};

const GuardedPass kGuardedPasses[] = {
    {"unanswered", {500, 600}, {1500, 1400}, true, 15000, 0, true, false},
    {"answered at 14 s", {500, 600}, {1500, 1400}, true, 14000, 1, true, true},
    {"No at 14.999 s", {500, 600}, {1500, 1400}, true, 14999, 1, false, false},
    {"Yes at once", {500, 600}, {628, 728}, true, 0, 15, true, true},
    {"127 apart on X", {500, 600}, {627, 1400}, false, 0, 0, true, false},
    {"127 apart on Y", {500, 600}, {1500, 727}, false, 0, 0, true, false},
    {"same spot twice", {900, 900}, {900, 900}, false, 0, 0, true, false},
    {"mirrored", {1500, 1400}, {500, 600}, true, 1000, 14, true, true},
    {"mirrored, 127 apart on X", {627, 1400}, {500, 600}, false, 0, 0, true, false},
    {"mirrored on Y only, 128 apart", {500, 728}, {1500, 600}, true, 0, 15, true, true},
};

class CalibGuarded : public CalibSession, public ::testing::WithParamInterface<GuardedPass> {};

TEST_P(CalibGuarded, OfferedOnlyWhenPlausibleAndRevertedWhenUnanswered) {
    const GuardedPass& row = GetParam();
    TapWhenArmed(1, uint16_t(row.rawA.x), uint16_t(row.rawA.y));
    TapWhenArmed(2, uint16_t(row.rawB.x), uint16_t(row.rawB.y));
    if (row.asked) {
        AwaitResult(1);
        const CalibrationBuffer sent = session->Buffer();
        session->Asked();
        EXPECT_EQ(session->SecondsLeft(), 15u);
        platform.clock += row.answerMs;
        EXPECT_EQ(session->SecondsLeft(), row.secondsLeft);
        session->Answer(row.yes);
        if (row.stored) {
            EXPECT_EQ(session->Finish(), Session::Outcome::Stored);
            EXPECT_EQ(Stored("XLow"), uint32_t(sent.XLow));
            EXPECT_EQ(device->Reloads(), 0);
            return;
        }
    }
    // Started over at target A, the driver on its stored values, nothing stored.
    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= 3; }));
    EXPECT_TRUE(SamePoints(platform.Draws(), {kA, kA, kB, kB, kA}));
    EXPECT_EQ(Count(IOCTL_TOUCH_SET_CALIBRATION), row.asked ? 1u : 0u);
    EXPECT_EQ(platform.Results(), row.asked ? 1 : 0);
    ExpectDriverHasStoredValues();
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    EXPECT_EQ(device->Reloads(), row.asked ? 1 : 0);
    EXPECT_TRUE(fake.writes.empty());
}

std::string GuardedName(const ::testing::TestParamInfo<GuardedPass>& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, CalibGuarded, ::testing::ValuesIn(kGuardedPasses), GuardedName);

TEST_F(CalibSession, FingerRestingAfterTargetANeedsANewTouchForB) {
    platform.PauseAtDraw(3);  // target B about to be drawn, not yet armed
    TapWhenArmed(1, 500, 600);
    ASSERT_TRUE(Eventually([&] { return platform.Paused(); }));
    device->Touch(TOUCH_DOWN, 520, 610);  // the finger comes down again and stays
    platform.Resume();

    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= 2; }));
    device->Touch(TOUCH_MOVE, 900, 900);
    device->Touch(TOUCH_UP, 1000, 1000);  // lifted, but it went down before the arming
    const size_t polls = Count(IOCTL_TOUCH_GET_CAPTURE);
    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_GET_CAPTURE) >= polls + 5; }));
    EXPECT_EQ(platform.Results(), 0);
    EXPECT_EQ(CaptureState(), CAPTURE_ARMED);
    EXPECT_TRUE(SamePoints(platform.Draws(), {kA, kA, kB}));

    // Down, move, lift: the point is where it was lifted.
    device->Touch(TOUCH_DOWN, 1400, 1300);
    device->Touch(TOUCH_MOVE, 1450, 1350);
    device->Touch(TOUCH_UP, 1500, 1400);
    AwaitResult(1);
    EXPECT_EQ(LastCalibrationSent(), (std::vector<int32_t>{0, 200, 2000, 1800, 0, 0, 0, 0}));
}

TEST_F(CalibSession, FailingPollsKeepTheCaptureWaitingUntilEscape) {
    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= 1; }));
    device->FailAll(true);
    const size_t polls = Count(IOCTL_TOUCH_GET_CAPTURE);
    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_GET_CAPTURE) >= polls + 5; }));
    EXPECT_EQ(platform.Draws().size(), 1u);
    session->Escape();
    Join();
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    EXPECT_TRUE(fake.writes.empty());
}

// ESC at each moment of a run: the worker ends, sends nothing after ESC,
// nothing is stored and no reload is asked for.
enum class Moment { CaptureA, BetweenCaptures, CaptureB, QuestionOpen, SecondPassAfterNo };

std::string MomentName(const ::testing::TestParamInfo<Moment>& info) {
    static const char* const names[] = {"CaptureA", "BetweenCaptures", "CaptureB", "QuestionOpen",
                                        "SecondPassAfterNo"};
    return names[static_cast<int>(info.param)];
}

class CalibEscape : public CalibSession, public ::testing::WithParamInterface<Moment> {};

TEST_P(CalibEscape, StopsAtOnceAndLeavesEverything) {
    int reloadsBefore = 0;
    switch (GetParam()) {
    case Moment::CaptureA:
        ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_GET_CAPTURE) >= 3; }));
        break;
    case Moment::BetweenCaptures:
        platform.PauseAtDraw(3);
        TapWhenArmed(1, 500, 600);
        ASSERT_TRUE(Eventually([&] { return platform.Paused(); }));
        break;
    case Moment::CaptureB:
        TapWhenArmed(1, 500, 600);
        ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= 2; }));
        break;
    case Moment::QuestionOpen:
        Pass(1, {500, 600}, {1500, 1400});
        break;
    case Moment::SecondPassAfterNo:
        Pass(1, {500, 600}, {1500, 1400});
        session->Answer(false);
        reloadsBefore = 1;
        TapWhenArmed(3, 500, 600);
        break;
    }
    const bool paused = platform.Paused();
    session->Escape();
    // A request in flight has finished when Escape() returns; none follows.
    const size_t sent = device->Requests().size();
    if (paused) platform.Resume();
    EXPECT_FALSE(session->KeepRunning());
    EXPECT_FALSE(session->SaveRequested());

    // Touches after ESC change nothing; the worker ends without a request.
    device->Tap(1000, 1000);
    device->Tap(1200, 1200);
    Join();
    EXPECT_EQ(device->Requests().size(), sent);

    // An answer arriving late (question closed under us) is ignored.
    session->Answer(true);
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    EXPECT_EQ(device->Requests().size(), sent);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_TRUE(registry.opens.empty());
    EXPECT_EQ(device->Reloads(), reloadsBefore);
    if (GetParam() == Moment::SecondPassAfterNo) ExpectDriverHasStoredValues();
}

INSTANTIATE_TEST_SUITE_P(Moments, CalibEscape,
                         ::testing::Values(Moment::CaptureA, Moment::BetweenCaptures, Moment::CaptureB,
                                           Moment::QuestionOpen, Moment::SecondPassAfterNo),
                         MomentName);

// A close from the platform (close command, end task, session end): the
// worker ends, nothing is stored, trial values still in the driver are
// dropped by exactly one reload.
TEST_F(CalibSession, PlatformCloseBeforeAnyValuesWereSentSendsNothing) {
    TapWhenArmed(1, 500, 600);
    ASSERT_TRUE(Eventually([&] { return Count(IOCTL_TOUCH_ARM_CAPTURE) >= 2; }));
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    const size_t sent = device->Requests().size();
    Join();
    EXPECT_EQ(device->Requests().size(), sent);
    EXPECT_EQ(device->Reloads(), 0);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_FALSE(session->KeepRunning());
}

TEST_F(CalibSession, PlatformCloseWhileAskingDropsTheTrialValues) {
    Pass(1, {500, 600}, {1500, 1400});
    EXPECT_EQ(Settings().Calibration.XHigh, 2000u);
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    Join();
    EXPECT_EQ(device->Reloads(), 1);
    EXPECT_EQ(device->Codes().back(), IOCTL_TOUCH_RELOAD_PARAMETERS);
    ExpectDriverHasStoredValues();
    // The question returns after the window is gone: nothing happens.
    session->Answer(true);
    session->Answer(false);
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    EXPECT_EQ(device->Reloads(), 1);
    EXPECT_TRUE(fake.writes.empty());
    EXPECT_EQ(registry.creates, 0);
}

TEST_F(CalibSession, PlatformCloseAfterNoNeedsNoSecondReload) {
    Pass(1, {500, 600}, {1500, 1400});
    session->Answer(false);
    TapWhenArmed(3, 700, 700);
    EXPECT_EQ(session->Finish(), Session::Outcome::Nothing);
    Join();
    EXPECT_EQ(device->Reloads(), 1);
    EXPECT_TRUE(fake.writes.empty());
}

TEST_F(CalibSession, YesWithoutParametersKeyReportsItAndCreatesNothing) {
    fake.DeleteKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH);
    ASSERT_FALSE(fake.HasKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH));
    Pass(1, {500, 600}, {1500, 1400});
    session->Answer(true);
    EXPECT_EQ(session->Finish(), Session::Outcome::KeyMissing);
    Join();
    EXPECT_FALSE(fake.HasKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH));
    EXPECT_EQ(registry.creates, 0);
    EXPECT_TRUE(fake.writes.empty());
    // The driver keeps what it was sent until its next load.
    EXPECT_EQ(device->Reloads(), 0);
    EXPECT_EQ(Settings().Calibration.XHigh, 2000u);
}

}  // namespace
}  // namespace ovt::calib
