// Entry, parameters, device map, unload and the tone output.
#include <functional>
#include <string>

#include "harness.h"

namespace ovtest {
namespace {

using kstub::W;

class LifecycleTest : public DriverTest {};

TEST_F(LifecycleTest, LoadCreatesDeviceLinkAndPointerPortEntry) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    PDEVICE_OBJECT dev = Device();
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->DeviceType, ULONG(FILE_DEVICE_MOUSE));
    EXPECT_TRUE(dev->Flags & DO_BUFFERED_IO);
    EXPECT_EQ(kstub::Narrow(W().Links.at(u"\\??\\ovtouch")), "\\Device\\PointerPort0");

    // Created volatile when missing; REG_SZ service path without its zero.
    ASSERT_TRUE(kstub::RegKeyExists(kPointerPortKey));
    EXPECT_TRUE(W().Keys.at(u"\\registry\\machine\\hardware\\devicemap\\pointerport").Volatile);
    const kstub::RegValue* v = kstub::RegGet(kPointerPortKey, "\\Device\\PointerPort0");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Type, ULONG(REG_SZ));
    EXPECT_EQ(v->Data.size(), ServicePath.size() * 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(v->Data.data()), v->Data.size() / 2), ServicePath);

    // Only the path copy stays allocated; the thread handle is closed.
    ASSERT_EQ(W().Pool.size(), 1u);
    EXPECT_EQ(W().Pool.begin()->second, 0x206B6444u);  // "Ddk "
    EXPECT_EQ(W().Handles, 0);
    EXPECT_EQ(W().Threads, 1);
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 0u);
}

TEST_F(LifecycleTest, ExistingPointerPortKeyIsReused) {
    kstub::RegSetKey(kPointerPortKey, true);
    kstub::RegSetRaw(kPointerPortKey, "\\Device\\PointerPort1", REG_SZ, {'x', 0});
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_NE(kstub::RegGet(kPointerPortKey, "\\Device\\PointerPort0"), nullptr);
    EXPECT_NE(kstub::RegGet(kPointerPortKey, "\\Device\\PointerPort1"), nullptr);
}

TEST_F(LifecycleTest, FailingDeviceMapWriteGoesUnnoticed) {
    W().WriteStatus = STATUS_ACCESS_DENIED;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_GET_BEEP, nullptr, 0, 12).Status, STATUS_SUCCESS);
}

struct LoadFailure {
    const char* Name;
    std::function<void()> Arrange;
    NTSTATUS Expected;
};

class LoadFailureTest : public DriverTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(LoadFailureTest, ReturnsItsStatusAndLeavesNothingBehind) {
    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "BeepFreq", 3000);
    GetParam().Arrange();
    EXPECT_EQ(Load(), GetParam().Expected);
    const kstub::Leaks held = kstub::Held();
    EXPECT_TRUE(held.None()) << "pool " << held.Pool << " irps " << held.Irps << " handles " << held.Handles
                             << " devices " << held.Devices << " links " << held.Links << " threads "
                             << held.LiveThreads;
    EXPECT_EQ(kstub::RegGet(kPointerPortKey, "\\Device\\PointerPort0"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Entry, LoadFailureTest,
    ::testing::Values(
        LoadFailure{"PathCopy", [] { W().FailAllocationAt = 1; }, STATUS_ALLOTTED_SPACE_EXCEEDED},
        LoadFailure{"ParametersPath", [] { W().FailAllocationAt = 2; }, STATUS_UNSUCCESSFUL},
        LoadFailure{"ParametersKey", [] { W().OpenKeyStatus = STATUS_ACCESS_DENIED; }, STATUS_ACCESS_DENIED},
        LoadFailure{"ParametersValue", [] { W().QueryStatus[u"beepfreq"] = STATUS_REGISTRY_CORRUPT; },
                    STATUS_REGISTRY_CORRUPT},
        LoadFailure{"Device", [] { W().CreateDeviceStatus = STATUS_INSUFFICIENT_RESOURCES; },
                    STATUS_INSUFFICIENT_RESOURCES},
        LoadFailure{"Link", [] { W().CreateLinkStatus = STATUS_OBJECT_NAME_COLLISION; },
                    STATUS_OBJECT_NAME_COLLISION},
        LoadFailure{"Thread", [] { W().CreateThreadStatus = STATUS_INSUFFICIENT_RESOURCES; },
                    STATUS_INSUFFICIENT_RESOURCES}),
    [](const ::testing::TestParamInfo<LoadFailure>& i) { return std::string(i.param.Name); });

// --- parameters ----------------------------------------------------------------

TEST_F(LifecycleTest, MissingParametersKeyGivesDefaults) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const ovt::DriverSettings& s = g_ovt.Touch.Settings;
    EXPECT_EQ(s.Port, 1u);
    EXPECT_EQ(s.Calibration.XHigh, 2048u);
    EXPECT_EQ(s.XSpan, 2048u);
    EXPECT_EQ(s.YSpan, 2048u);
    EXPECT_EQ(s.BeepFreq, 2000u);
    EXPECT_EQ(s.BeepTime, 40u);
    EXPECT_EQ(s.BeepMode, 2u);
    EXPECT_EQ(s.MouseMode, 0u);
    EXPECT_EQ(W().Pool.size(), 1u) << "the Parameters path is freed again";
}

TEST_F(LifecycleTest, ValuesAreReadOneByOneAndOddOnesKeepDefaults) {
    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "Port", 2);
    kstub::RegSetDword(kParametersKey, "XLow", 0x00010064);
    kstub::RegSetDword(kParametersKey, "XPropt", 5);
    kstub::RegSetDword(kParametersKey, "BeepTime", 20);
    kstub::RegSetDword(kParametersKey, "MouseMode", 4);
    kstub::RegSetDword(kParametersKey, "BeepMode", 0);  // after missing values: still read
    kstub::RegSetRaw(kParametersKey, "ButtonMode", REG_SZ, {'1', 0, 0, 0});
    kstub::RegSetRaw(kParametersKey, "BeepFreq", REG_BINARY, {0xB8, 0x0B, 0, 0, 0, 0, 0, 0});
    kstub::RegSetRaw(kParametersKey, "YHigh", REG_DWORD, {0x10, 0x00});
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const ovt::DriverSettings& s = g_ovt.Touch.Settings;
    EXPECT_EQ(s.Port, 2u);
    EXPECT_EQ(s.Calibration.XLow, 100u);
    EXPECT_EQ(s.XSpan, 2048u - 100u);
    EXPECT_EQ(s.BeepTime, 40u);
    EXPECT_EQ(s.MouseMode, 2u);
    EXPECT_EQ(s.BeepMode, 0u);
    EXPECT_EQ(s.ButtonMode, 0u);    // wrong type
    EXPECT_EQ(s.BeepFreq, 2000u);   // wrong size
    EXPECT_EQ(s.Calibration.YHigh, 2048u);      // short data
    EXPECT_EQ(W().Handles, 0) << "the key is closed again";
}

TEST_F(LifecycleTest, ReloadWithoutMemoryLeavesSettingsAlone) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const ULONG one = 1;
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_BUTTON_MODE, &one, 4).Status, STATUS_SUCCESS);
    W().FailAllocationAt = 1;
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.Touch.Settings.ButtonMode, 1u);
    EXPECT_EQ(g_ovt.Touch.Settings.BeepFreq, 2000u);
}

TEST_F(LifecycleTest, FailedReloadIsIgnoredAndStartsFromDefaults) {
    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "Port", 4);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const ULONG one = 1;
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_BUTTON_MODE, &one, 4).Status, STATUS_SUCCESS);
    W().QueryStatus[u"port"] = STATUS_REGISTRY_CORRUPT;
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.Touch.Settings.ButtonMode, 0u);
    EXPECT_EQ(g_ovt.Touch.Settings.Port, 1u);
    EXPECT_EQ(W().Handles, 0);
    EXPECT_EQ(W().Pool.size(), 1u);
}

// --- tone ------------------------------------------------------------------------

TEST_F(LifecycleTest, TestBeepWorksBeforeThePortOpens) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000}));
    ASSERT_TRUE(g_ovt.ToneTimer.Pending);
    EXPECT_EQ(g_ovt.ToneTimer.DueTime, W().Now + 40 * 10000);
    kstub::ExpireTimers();
    kstub::RunDpcs();
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000, 0}));
}

TEST_F(LifecycleTest, SecondBeepReplacesTheFirst) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    const ULONG beep[3] = {1, 3000, 100};
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_BEEP, beep, 12).Status, STATUS_SUCCESS);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.ToneTimer.DueTime, W().Now + 100 * 10000);
    kstub::ExpireTimers();
    kstub::RunDpcs();
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000, 3000, 0})) << "one silence, after the second beep's time";
    EXPECT_EQ(W().Tone, 0u);
}

// The first beep's stop routine due (queued, or taken from the queue by
// another processor) when a second one starts: only the second's own timer
// stops it.
TEST_F(LifecycleTest, ABeepIsStoppedOnlyByItsOwnTimer) {
    for (bool running : {false, true}) {
        SCOPED_TRACE(running ? "running" : "queued");
        DriverTest::TearDown();
        DriverTest::SetUp();
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
        kstub::ExpireTimers();
        if (running) {
            ASSERT_TRUE(KeRemoveQueueDpc(&g_ovt.ToneDpc));
        }
        const ULONG beep[3] = {1, 3000, 100};
        ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_BEEP, beep, 12).Status, STATUS_SUCCESS);
        ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
        if (running) g_ovt.ToneDpc.DeferredRoutine(&g_ovt.ToneDpc, nullptr, nullptr, nullptr);
        kstub::RunDpcs();
        EXPECT_EQ(W().Tone, 3000u) << "the second beep cut short";
        kstub::ExpireTimers();
        kstub::RunDpcs();
        EXPECT_EQ(W().Tone, 0u);
    }
}

// --- unload ----------------------------------------------------------------------

void ExpectNothingHeld() {
    const kstub::Leaks held = kstub::Held();
    EXPECT_TRUE(held.None()) << "pool " << held.Pool << " irps " << held.Irps << " handles " << held.Handles
                             << " devices " << held.Devices << " links " << held.Links << " objects "
                             << held.Objects << " port files " << held.OpenPortFiles << " threads "
                             << held.LiveThreads;
}

TEST_F(LifecycleTest, UnloadWithThePortNeverOpened) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    kstub::ElapseWaits();
    EXPECT_EQ(W().OpenAttempts.size(), 2u);
    Unload();
    ExpectNothingHeld();
    EXPECT_TRUE(W().Beeps.empty()) << "the speaker is not touched without a tone";
    EXPECT_EQ(kstub::ThreadsAlive(), 0);
    EXPECT_NE(kstub::RegGet(kPointerPortKey, "\\Device\\PointerPort0"), nullptr) << "the device map entry stays";
}

TEST_F(LifecycleTest, UnloadBeforeTheThreadEverRan) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    Unload();
    ExpectNothingHeld();
    EXPECT_TRUE(W().OpenAttempts.empty());
}

TEST_F(LifecycleTest, UnloadWhileRetryingSeesNoFurtherAttempt) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    kstub::AddPort("\\??\\COM1");  // would open at the next attempt
    Unload();
    ExpectNothingHeld();
    EXPECT_EQ(W().OpenAttempts.size(), 1u);
}

TEST_F(LifecycleTest, UnloadWithAReadOutstanding) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_TRUE(port.ReadPending());
    const int reads = port.Reads;
    Unload();
    EXPECT_EQ(port.Cancels, 1);
    EXPECT_EQ(port.Reads, reads) << "no read after the stop";
    EXPECT_EQ(port.ReadsWhileClosed, 0);
    EXPECT_EQ(g_ovt.ReadStopState, OVT_READ_STOPPED);
    ExpectNothingHeld();
}

TEST_F(LifecycleTest, UnloadAsksAgainWhenACancelIsMissed) {
    kstub::SimPort& port = LoadWithPort();
    port.IgnoreCancels = 1;
    const LONGLONG before = W().Now;
    Unload();
    EXPECT_EQ(port.Cancels, 1);
    EXPECT_EQ(W().Now - before, (100 + 10) * 10000) << "one 100 ms wait, a second cancel, unload's 10 ms pause";
    ExpectNothingHeld();
}

TEST_F(LifecycleTest, UnloadDuringABeepSilencesTheSpeaker) {
    kstub::SimPort& port = LoadWithPort();
    (void)port;
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    Unload();
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000, 0}));
    EXPECT_FALSE(g_ovt.ToneTimer.Pending);
    ExpectNothingHeld();
}

TEST_F(LifecycleTest, UnloadWithTheSilencingDpcQueued) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    kstub::ExpireTimers();  // fired, its DPC not yet run
    Unload();
    EXPECT_TRUE(W().DpcQueue.empty()) << "no DPC of ours may run after unload";
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000, 0}));
}

TEST_F(LifecycleTest, UnloadAfterTheToneEndedLeavesTheSpeakerAlone) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_TEST_BEEP).Status, STATUS_SUCCESS);
    kstub::ExpireTimers();
    kstub::RunDpcs();
    Unload();
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000, 0}));
}

// Whatever happens between two steps of unload (a lift-off that beeps, the
// stuck port's retry coming due or running, the thread taking back a port
// the read loop gave up), unload returns with nothing of the driver queued
// and nothing held.
enum class Meanwhile { Packet, RetryDue, RetryQueued, GivenUp };

class UnloadRaceTest : public DriverTest, public ::testing::WithParamInterface<Meanwhile> {};

TEST_P(UnloadRaceTest, NothingIsLeftQueued) {
    const Meanwhile what = GetParam();
    for (int at = -1;; ++at) {
        SCOPED_TRACE("event before unload step " + std::to_string(at));
        SetUp();
        kstub::SimPort& port = LoadWithPort();
        ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
        if (what != Meanwhile::Packet) {
            port.Break(STATUS_CANCELLED);
            ASSERT_TRUE(g_ovt.RetryTimer.Pending);
            if (what == Meanwhile::RetryQueued) kstub::ExpireTimers();
            for (int i = 0; what == Meanwhile::GivenUp && g_ovt.RetryTimer.Pending && i < 1000; ++i) {
                kstub::ExpireTimers();
                kstub::RunDpcs();
            }
            ASSERT_EQ(kstub::Queued(), what == Meanwhile::GivenUp ? 0 : 1);
        }
        bool happened = false;
        W().BetweenSteps = [&](int step) {
            if (step != at) return;
            happened = true;
            if (what == Meanwhile::Packet) {
                port.QueueBytes(Packet(TOUCH_UP, 1024, 1024));  // BeepMode 2 beeps at lift-off
                port.Deliver();
            } else if (what == Meanwhile::GivenUp) {
                kstub::RunThreads();
            } else {
                kstub::ExpireTimers();
                kstub::RunDpcs();
            }
        };
        Unload();
        W().BetweenSteps = nullptr;
        EXPECT_EQ(kstub::Queued(), 0) << "a timer, DPC or read of the driver outlives unload";
        EXPECT_EQ(W().Tone, 0u);
        EXPECT_EQ(port.ReadsWhileClosed, 0);
        EXPECT_EQ(g_ovt.ReadStopState, OVT_READ_STOPPED);
        ExpectNothingHeld();
        TearDown();
        if (at >= 0 && !happened) break;  // past the last step
    }
}

std::string MeanwhileName(const ::testing::TestParamInfo<Meanwhile>& i) {
    const char* const names[] = {"Packet", "RetryDue", "RetryQueued", "GivenUp"};
    return names[static_cast<int>(i.param)];
}

INSTANTIATE_TEST_SUITE_P(Unload, UnloadRaceTest,
                         ::testing::Values(Meanwhile::Packet, Meanwhile::RetryDue, Meanwhile::RetryQueued,
                                           Meanwhile::GivenUp),
                         MeanwhileName);

TEST_F(LifecycleTest, WithoutAThreadToWaitForTheDriverStaysLoaded) {
    W().ReferenceThreadStatus = STATUS_INSUFFICIENT_RESOURCES;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(Driver.DriverUnload, nullptr);
    EXPECT_EQ(W().Handles, 0);
}

}  // namespace
}  // namespace ovtest
