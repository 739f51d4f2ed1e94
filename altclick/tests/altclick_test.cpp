// The right-button tool's logic against the real dispatcher and touch core,
// with the worker on a real thread and the test thread as the window thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "altclick/logic/altclick_logic.h"
#include "common/ovtouch.h"
#include "tests/support/inproc_device.h"

namespace ovt::altclick {
namespace {

using namespace std::chrono_literals;
// Only a guard against hangs; nothing here measures time.
constexpr auto kPatience = 10s;
// The periods as the tool is meant to have them, not the code's constants:
// an idle worker looks at the armed flag every 30 ms and polls every 50 ms.
constexpr uint32_t kIdleCheck = 30, kCapturePoll = 50;

class Log {
  public:
    void Add(std::string e) {
        std::lock_guard<std::mutex> l(m_);
        events_.push_back(std::move(e));
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> l(m_);
        return events_;
    }
    int Count(const std::string& e) {
        int n = 0;
        for (auto& x : Events()) n += x == e;
        return n;
    }

  private:
    std::mutex m_;
    std::vector<std::string> events_;
};

std::string Name(uint32_t code, const void* in, uint32_t inLength) {
    switch (code) {
    case IOCTL_TOUCH_GET_BUTTON_MODE: return "get-mode";
    case IOCTL_TOUCH_ARM_CAPTURE: return "arm";
    case IOCTL_TOUCH_GET_CAPTURE: return "poll";
    case IOCTL_TOUCH_SET_BUTTON_MODE:
        return inLength == 4 ? "set-mode " + std::to_string(*static_cast<const uint32_t*>(in)) : "set-mode ?";
    }
    return "code " + std::to_string(code);
}

// Puts the device's requests into the same log as the view and the waits.
class LoggingDevice : public ControlDevice {
  public:
    LoggingDevice(test::InProcDevice* d, Log* log) : d_(d), log_(log) {}
    bool Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytes) override {
        log_->Add(Name(code, in, inLength));
        return d_->Control(code, in, inLength, out, outLength, bytes);
    }

  private:
    test::InProcDevice* d_;
    Log* log_;
};

// Records each step with the armed flag as it stood then.
class RecordingView : public View {
  public:
    RecordingView(Log* log, SharedFlags* flags) : log_(log), flags_(flags) {}
    void Update() override { Add("update"); }
    void SetTitle(bool right) override {
        right_ = right;
        Add(right ? "title right" : "title left");
    }
    void Invalidate() override { Add("invalidate"); }
    bool right_ = false;

  private:
    void Add(const std::string& e) { log_->Add(e + (flags_->armed.load() ? " [armed]" : "")); }
    Log* log_;
    SharedFlags* flags_;
};

// Real sleeps, cut short by Stop().
class StopWaiter : public Waiter {
  public:
    explicit StopWaiter(Log* log) : log_(log) {}
    bool Wait(uint32_t ms) override {
        log_->Add("wait " + std::to_string(ms));
        std::unique_lock<std::mutex> l(m_);
        cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return stop_; });
        return !stop_;
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> l(m_);
            stop_ = true;
        }
        cv_.notify_all();
    }

  private:
    Log* log_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
};

class QueueNotifier : public Notifier {
  public:
    void TouchDone() override {
        {
            std::lock_guard<std::mutex> l(m_);
            ++pending_;
        }
        cv_.notify_all();
    }
    bool Take() {
        std::unique_lock<std::mutex> l(m_);
        if (!cv_.wait_for(l, kPatience, [&] { return pending_ > 0; })) return false;
        --pending_;
        return true;
    }
    int Pending() {
        std::lock_guard<std::mutex> l(m_);
        return pending_;
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    int pending_ = 0;
};

template <typename F>
bool WaitUntil(F condition) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class AltclickTest : public ::testing::Test {
  protected:
    ~AltclickTest() override { End(); }

    uint32_t DriverMode() {
        std::lock_guard<std::mutex> l(device_.Lock());
        return device_.State().Settings.ButtonMode;
    }
    uint32_t CaptureState() {
        std::lock_guard<std::mutex> l(device_.Lock());
        return device_.State().Capture.State;
    }
    void SetDriverMode(uint32_t mode) {
        std::lock_guard<std::mutex> l(device_.Lock());
        device_.State().Settings.ButtonMode = mode;
    }

    // Start-up as the shell does it: the switcher, then the worker. Returns
    // once the worker has taken the start-up's armed flag (a click any
    // earlier would be cleared with it).
    void Launch() {
        switcher_.Start();
        worker_ = std::thread(RunWorker, &logged_, &flags_, &waiter_, &notifier_);
        LetWorkerCycle(kIdleCheck, 1);
    }
    // Button flags of the clicks delivered so far (moves left out).
    std::vector<uint16_t> Clicks() {
        std::vector<uint16_t> flags;
        for (const auto& r : device_.Records())
            if (r.ButtonFlags) flags.push_back(r.ButtonFlags);
        return flags;
    }
    // The window thread's handling of one touch-done notification.
    void HandleNotification() {
        ASSERT_TRUE(notifier_.Take()) << "no touch-done notification";
        switcher_.SwitchLeft();
    }
    void WaitArmed() { ASSERT_TRUE(WaitUntil([&] { return CaptureState() == CAPTURE_ARMED; })); }
    // Lets the worker run `n` more waits of `ms`, so it has seen what came before.
    void LetWorkerCycle(uint32_t ms, int n) {
        const std::string w = "wait " + std::to_string(ms);
        const int target = log_.Count(w) + n;
        ASSERT_TRUE(WaitUntil([&] { return log_.Count(w) >= target; }));
    }
    void End() {
        waiter_.Stop();
        if (!worker_.joinable()) return;
        auto joined = std::async(std::launch::async, [&] { worker_.join(); });
        ASSERT_EQ(joined.wait_for(kPatience), std::future_status::ready) << "worker did not stop";
    }

    test::InProcDevice device_;
    Log log_;
    LoggingDevice logged_{&device_, &log_};
    SharedFlags flags_;
    RecordingView view_{&log_, &flags_};
    Switcher switcher_{&logged_, &view_, &flags_};
    StopWaiter waiter_{&log_};
    QueueNotifier notifier_;
    std::thread worker_;
};

// --- The switches on their own (no worker) ---

struct SwitchCase {
    const char* name;
    uint32_t armedBefore;
    bool right;
    std::vector<std::string> events;
    uint32_t armedAfter;
};

TEST_F(AltclickTest, SwitchesRunInTheirOrder) {
    const SwitchCase cases[] = {
        {"right", 0, true, {"set-mode 1", "update", "title right", "invalidate"}, 1},
        {"left", 1, false, {"set-mode 0 [armed]", "update [armed]", "title left [armed]", "invalidate [armed]"}, 0},
        // The armed flag is the last step: the worker must not arm before the driver clicks right.
        {"right while armed", 1, true,
         {"set-mode 1 [armed]", "update [armed]", "title right [armed]", "invalidate [armed]"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        LoggingDevice logged(&device_, &log);
        SharedFlags flags;
        flags.armed = c.armedBefore;
        RecordingView view(&log, &flags);
        Switcher s(&logged, &view, &flags);
        // The view logs "[armed]" from the flags: "set-mode" lines carry none,
        // so prefix them by hand.
        c.right ? s.SwitchRight() : s.SwitchLeft();
        auto events = log.Events();
        if (c.armedBefore) events[0] += " [armed]";
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(flags.armed.load(), c.armedAfter);
        EXPECT_EQ(DriverMode(), c.right ? 1u : 0u);
        EXPECT_EQ(s.Right(), c.right);
    }
}

struct StartCase {
    const char* name;
    uint32_t driverMode;
    bool fail;
    bool right;
};

TEST_F(AltclickTest, StartShowsTheDriversMode) {
    const StartCase cases[] = {
        {"left", 0, false, false},
        {"right", 1, false, true},
        {"failing driver reads as left", 1, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        LoggingDevice logged(&device_, &log);
        SharedFlags flags;
        RecordingView view(&log, &flags);
        Switcher s(&logged, &view, &flags);
        SetDriverMode(c.driverMode);
        device_.FailAll(c.fail);
        s.Start();
        device_.FailAll(false);
        const std::string title = c.right ? "title right [armed]" : "title left [armed]";
        EXPECT_EQ(log.Events(), (std::vector<std::string>{"get-mode", title, "update [armed]"}));
        EXPECT_EQ(s.Right(), c.right);
        EXPECT_EQ(DriverMode(), c.driverMode) << "start-up never sets the mode";
    }
}

TEST_F(AltclickTest, WorkerWithNothingArmedEndsAtOnce) {
    RunWorker(&logged_, &flags_, &waiter_, &notifier_);
    EXPECT_TRUE(log_.Events().empty());
    EXPECT_EQ(notifier_.Pending(), 0);
}

// --- Worker and window thread together ---

TEST_F(AltclickTest, LeftClickArmsAndTheNextTouchSwitchesBack) {
    Launch();
    EXPECT_EQ(log_.Count("arm"), 0) << "start-up alone arms nothing";

    switcher_.SwitchRight();
    EXPECT_EQ(DriverMode(), 1u);
    EXPECT_TRUE(view_.right_);
    WaitArmed();

    device_.Tap(1024, 1024);
    EXPECT_EQ(Clicks(), (std::vector<uint16_t>{OVT_MOUSE_RIGHT_BUTTON_DOWN, OVT_MOUSE_RIGHT_BUTTON_UP}));

    HandleNotification();
    EXPECT_EQ(DriverMode(), 0u);
    EXPECT_FALSE(view_.right_);
    EXPECT_EQ(flags_.armed.load(), 0u);

    // The first poll follows the arming at once, then every 50 ms.
    const auto e = log_.Events();
    auto arm = std::find(e.begin(), e.end(), "arm");
    ASSERT_NE(arm, e.end());
    ASSERT_GE(e.end() - arm, 3);
    EXPECT_EQ(arm[1], "poll");
    EXPECT_EQ(arm[2], "wait 50");

    // Back to waiting: further touches are left clicks and arm nothing.
    LetWorkerCycle(kIdleCheck, 2);
    device_.Tap(1024, 1024);
    EXPECT_EQ(Clicks().back(), OVT_MOUSE_LEFT_BUTTON_UP);
    EXPECT_EQ(log_.Count("arm"), 1);
    EXPECT_EQ(notifier_.Pending(), 0);
}

TEST_F(AltclickTest, TouchInProgressWhenArmingDoesNotCount) {
    Launch();
    device_.Touch(TOUCH_DOWN, 500, 500);
    switcher_.SwitchRight();
    WaitArmed();
    device_.Touch(TOUCH_MOVE, 510, 510);
    device_.Touch(TOUCH_UP, 510, 510);
    LetWorkerCycle(kCapturePoll, 2);
    EXPECT_EQ(CaptureState(), CAPTURE_ARMED);
    EXPECT_EQ(notifier_.Pending(), 0);
    EXPECT_EQ(DriverMode(), 1u);

    device_.Tap(700, 700);
    HandleNotification();
    EXPECT_EQ(DriverMode(), 0u);
}

TEST_F(AltclickTest, RightClickSwitchesBackAtOnce) {
    Launch();
    switcher_.SwitchRight();
    WaitArmed();
    switcher_.SwitchLeft();
    EXPECT_EQ(DriverMode(), 0u) << "before the worker has noticed";
    EXPECT_FALSE(view_.right_);

    // The worker leaves its poll on the cleared flag and reports anyway;
    // handling that repeats the switch.
    HandleNotification();
    EXPECT_EQ(log_.Count("set-mode 0"), 2);
    LetWorkerCycle(kIdleCheck, 2);
    EXPECT_EQ(log_.Count("arm"), 1);
    EXPECT_EQ(CaptureState(), CAPTURE_ARMED) << "nothing touched";
}

TEST_F(AltclickTest, StartedWithTheDriverAtRightArmsNothing) {
    SetDriverMode(1);
    Launch();
    EXPECT_TRUE(view_.right_);
    LetWorkerCycle(kIdleCheck, 3);
    EXPECT_EQ(log_.Count("arm"), 0);
    device_.Tap(100, 100);
    EXPECT_EQ(Clicks().back(), OVT_MOUSE_RIGHT_BUTTON_UP) << "touches stay right";
    EXPECT_EQ(CaptureState(), CAPTURE_IDLE);
    EXPECT_EQ(DriverMode(), 1u);

    switcher_.SwitchLeft();
    EXPECT_EQ(DriverMode(), 0u);
}

TEST_F(AltclickTest, EndingLeavesTheDriversModeAsItIs) {
    Launch();
    switcher_.SwitchRight();
    WaitArmed();
    End();
    EXPECT_EQ(DriverMode(), 1u);
    EXPECT_EQ(log_.Count("set-mode 0"), 0);
    EXPECT_EQ(notifier_.Pending(), 0) << "a stop is no touch";
    const int polls = log_.Count("poll");
    device_.Tap(1, 1);
    EXPECT_EQ(log_.Count("poll"), polls) << "nothing runs after the stop";
}

TEST_F(AltclickTest, FailingPollsKeepTheWorkerWaitingUntilRightClick) {
    Launch();
    switcher_.SwitchRight();
    device_.FailAll(true);
    LetWorkerCycle(kCapturePoll, 3);
    EXPECT_EQ(notifier_.Pending(), 0);
    device_.FailAll(false);
    switcher_.SwitchLeft();
    HandleNotification();
    EXPECT_EQ(DriverMode(), 0u);
}

TEST_F(AltclickTest, WorkerStopsWhileIdle) {
    Launch();
    End();
    EXPECT_EQ(log_.Count("arm"), 0);
}

// --- Main loop ---

class FakeShell : public Shell {
  public:
    bool canStart = true;
    // What each run of the message loop ends with.
    enum Ending { kDoubleClick, kDestroyedElsewhere, kQuitOnly };
    std::deque<Ending> endings;
    bool* keepRunning = nullptr;
    SharedFlags* flags = nullptr;
    bool alive = true;
    int starts = 0, stops = 0, runs = 0, reports = 0, startsUnarmed = 0;

    bool StartWorker() override {
        if (!canStart) return false;
        ++starts;
        startsUnarmed += flags->armed.load() == 0;
        return true;
    }
    void StopWorker() override { ++stops; }
    void RunMessages() override {
        ++runs;
        flags->armed = 0;  // as the worker does at once
        const Ending e = endings.empty() ? kDestroyedElsewhere : endings.front();
        if (!endings.empty()) endings.pop_front();
        if (e == kDoubleClick) *keepRunning = false;
        if (e == kDestroyedElsewhere) alive = false;
    }
    bool WindowAlive() override { return alive; }
    void ReportNoWorker() override { ++reports; }
};

struct LoopCase {
    const char* name;
    bool canStart;
    std::deque<FakeShell::Ending> endings;
    int starts, runs, reports;
};

TEST(AltclickMainLoop, EndsWithoutASecondWorkerOnceTheWindowIsGone) {
    const LoopCase cases[] = {
        {"title-bar double-click", true, {FakeShell::kDoubleClick}, 1, 1, 0},
        {"window destroyed by other means", true, {FakeShell::kDestroyedElsewhere}, 1, 1, 0},
        {"quit with the window still there", true, {FakeShell::kQuitOnly, FakeShell::kDoubleClick}, 2, 2, 0},
        {"worker cannot start", false, {}, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool keepRunning = true;
        FakeShell shell;
        shell.canStart = c.canStart;
        shell.endings = c.endings;
        SharedFlags flags;
        shell.keepRunning = &keepRunning;
        shell.flags = &flags;
        RunMainLoop(&shell, &flags, &keepRunning);
        EXPECT_FALSE(keepRunning);
        EXPECT_EQ(shell.starts, c.starts);
        EXPECT_EQ(shell.stops, c.starts) << "every worker started is stopped";
        EXPECT_EQ(shell.runs, c.runs);
        EXPECT_EQ(shell.reports, c.reports);
        EXPECT_EQ(shell.startsUnarmed, 0) << "every worker starts as the first one does";
    }
}

}  // namespace
}  // namespace ovt::altclick
