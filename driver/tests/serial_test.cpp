// The serial link through the stand-in: opening, line settings, reading.
#include <string>
#include <tuple>

#include "harness.h"

namespace ovtest {
namespace {

using kstub::W;

class SerialTest : public DriverTest {};

TEST_F(SerialTest, OpensTheNamedPortWithReadWriteAccessAndSetsTheLine) {
    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "Port", 2);
    kstub::SimPort& port = LoadWithPort("\\??\\COM2");
    ASSERT_EQ(W().OpenAttempts.size(), 1u);
    EXPECT_EQ(kstub::Narrow(W().OpenAttempts[0]), "\\??\\COM2");
    EXPECT_EQ(W().OpenAccess[0], ULONG(FILE_READ_DATA | FILE_WRITE_DATA));
    EXPECT_EQ(W().Now, 10000000) << "one second before the first attempt";

    ASSERT_EQ(port.Ioctls.size(), 3u);
    EXPECT_EQ(port.Ioctls[0].Code, 0x1B000Cu);
    EXPECT_EQ(port.Ioctls[0].Input, std::vector<UCHAR>({0, 0, 8}));
    EXPECT_EQ(port.Ioctls[1].Code, 0x1B0004u);
    EXPECT_EQ(port.Ioctls[1].Input, std::vector<UCHAR>({0x80, 0x25, 0, 0}));
    EXPECT_EQ(port.Ioctls[2].Code, 0x1B001Cu);
    EXPECT_EQ(port.Ioctls[2].Input, std::vector<UCHAR>(20, 0));
    for (const auto& io : port.Ioctls) EXPECT_EQ(io.OutputLength, 0u);

    EXPECT_TRUE(port.ReadPending());
    EXPECT_EQ(port.Reads, 1);
    EXPECT_EQ(port.ReadsWithWrongLength, 0);
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 1u);
    EXPECT_EQ(kstub::ThreadsAlive(), 1) << "the thread stays, to reopen a port that breaks";
}

TEST_F(SerialTest, PendingLineSettingsAreWaitedForInOrder) {
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    port.PendIoctls = true;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    for (ULONG code : {0x1B000Cu, 0x1B0004u, 0x1B001Cu}) {
        ASSERT_EQ(port.Ioctls.back().Code, code);
        EXPECT_EQ(port.Reads, 0);
        port.CompletePendingIoctls();
        kstub::RunThreads();
    }
    EXPECT_EQ(port.Ioctls.size(), 3u);
    EXPECT_TRUE(port.ReadPending());
}

TEST_F(SerialTest, ALineSettingNeverCompletedIsCancelledAndThePortOpenedAgain) {
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    port.PendIoctls = true;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    ASSERT_EQ(port.Ioctls.size(), 1u);
    kstub::ElapseWaits();  // two seconds: cancelled, the port let go
    EXPECT_EQ(port.OpenFiles, 0);
    EXPECT_EQ(port.Ioctls.size(), 1u) << "nothing more asked of it";
    port.PendIoctls = false;
    kstub::ElapseWaits();
    EXPECT_EQ(port.Opens, 2);
    EXPECT_TRUE(port.ReadPending());
}

TEST_F(SerialTest, FailedLineSettingsStillStartReading) {
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    port.IoctlStatus[0x1B000C] = STATUS_INVALID_PARAMETER;
    port.IoctlStatus[0x1B0004] = STATUS_NOT_SUPPORTED;
    W().FailBuildRequests = 1;  // the line control request cannot even be built
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    EXPECT_EQ(port.Ioctls.size(), 2u);
    EXPECT_TRUE(port.ReadPending());
    EXPECT_EQ(W().LiveIrps, 1) << "only the read request is held";
}

TEST_F(SerialTest, AbsentPortIsRetriedEverySecondAndReloadChangesTheName) {
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    for (int i = 0; i < 3; ++i) kstub::ElapseWaits();
    ASSERT_EQ(W().OpenAttempts.size(), 3u);
    EXPECT_EQ(W().Now, 3 * 10000000LL);
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 0u);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_GET_BEEP, nullptr, 0, 12).Status, STATUS_SUCCESS) << "control works meanwhile";

    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "Port", 3);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, STATUS_SUCCESS);
    kstub::SimPort& port = kstub::AddPort("\\??\\COM3");
    kstub::ElapseWaits();
    ASSERT_EQ(W().OpenAttempts.size(), 4u);
    EXPECT_EQ(kstub::Narrow(W().OpenAttempts[3]), "\\??\\COM3");
    EXPECT_EQ(port.Opens, 1);
    EXPECT_TRUE(port.ReadPending());
}

TEST_F(SerialTest, PortValuesWithoutADigitAreRetriedForever) {
    kstub::RegSetKey(kParametersKey);
    kstub::RegSetDword(kParametersKey, "Port", 0);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    kstub::RegSetDword(kParametersKey, "Port", 10);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, STATUS_SUCCESS);
    kstub::ElapseWaits();
    ASSERT_EQ(W().OpenAttempts.size(), 2u);
    EXPECT_EQ(kstub::Narrow(W().OpenAttempts[0]), "\\??\\COM0");
    EXPECT_EQ(kstub::Narrow(W().OpenAttempts[1]), "\\??\\COM:");
    EXPECT_EQ(kstub::ThreadsAlive(), 1);
}

TEST_F(SerialTest, SuccessWithoutAFileObjectCountsAsNotOpen) {
    W().OpenWithoutFile = true;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    kstub::ElapseWaits();
    EXPECT_EQ(W().OpenAttempts.size(), 2u);
    EXPECT_EQ(W().LiveIrps, 0);
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 0u);
    Unload();
    EXPECT_TRUE(kstub::Held().None());
}

TEST_F(SerialTest, MissingReadRequestReleasesThePortAndRetries) {
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    W().FailIrpAllocations = 1;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    EXPECT_EQ(port.OpenFiles, 0);
    EXPECT_EQ(port.Reads, 0);
    kstub::ElapseWaits();
    EXPECT_EQ(port.Opens, 2);
    EXPECT_EQ(port.OpenFiles, 1);
    EXPECT_TRUE(port.ReadPending());
}

// A click packet reaches the class as two records at DISPATCH_LEVEL,
// whether the bytes were buffered before the first read or arrive later.
class DeliveryTest : public DriverTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeliveryTest, PacketBecomesRecordsAtDispatchLevel) {
    const bool buffered = GetParam();
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    const std::vector<UCHAR> bytes = {0x55, 0x54, 0x81, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00, 0xDC};
    if (buffered) port.QueueBytes(bytes);
    kstub::RunThreads();
    kstub::ElapseWaits();
    if (!buffered) {
        port.QueueBytes(bytes);
        EXPECT_EQ(port.Deliver(), 1u) << "the rest completes inside the driver's own loop";
    }
    ASSERT_EQ(Mouse.Deliveries.size(), 2u);
    const USHORT flags[2] = {0x0001, 0x0002};
    for (int i = 0; i < 2; ++i) {
        const kstub::ClassDelivery& d = Mouse.Deliveries[i];
        EXPECT_EQ(d.Irql, DISPATCH_LEVEL);
        EXPECT_EQ(d.Count, 1u);
        EXPECT_EQ(d.Record.ButtonFlags, flags[i]);
        EXPECT_EQ(d.Record.Flags, 0x0001);
        EXPECT_EQ(d.Record.LastX, 32767);
        EXPECT_EQ(d.Record.LastY, 32767);
    }
    EXPECT_EQ(port.Reads, 11);
    EXPECT_TRUE(port.ReadPending());
    EXPECT_EQ(W().Irql, PASSIVE_LEVEL);
    // BeepMode 2: no beep at touch-down.
    EXPECT_TRUE(W().Beeps.empty());
}

INSTANTIATE_TEST_SUITE_P(Serial, DeliveryTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Buffered" : "Later"; });

TEST_F(SerialTest, LiftOffBeepsAfterTheDeliveries) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    port.QueueBytes(Packet(TOUCH_UP, 1024, 1024));
    port.Deliver();
    ASSERT_EQ(Mouse.Deliveries.size(), 1u);
    EXPECT_EQ(W().Beeps, std::vector<ULONG>({2000}));
    EXPECT_TRUE(g_ovt.ToneTimer.Pending);
}

TEST_F(SerialTest, WithoutAClassTouchesAreCapturedButNotDeliveredNorBeeped) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_ARM_CAPTURE).Status, STATUS_SUCCESS);
    port.QueueBytes(Concat({Packet(TOUCH_DOWN, 300, 400), Packet(TOUCH_UP, 310, 410)}));
    port.Deliver();
    const kstub::Request r = Ioctl(IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 12);
    EXPECT_EQ(Word(r, 0), CAPTURE_DONE);
    EXPECT_EQ(Word(r, 1), 310u);
    EXPECT_EQ(Word(r, 2), 410u);
    EXPECT_TRUE(W().Beeps.empty());
}

TEST_F(SerialTest, ReadErrorsAndEmptyReadsMidPacket) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    const std::vector<UCHAR> lost = Packet(TOUCH_MOVE, 100, 100);
    const std::vector<UCHAR> kept = Packet(TOUCH_MOVE, 1024, 512);
    port.QueueBytes(std::vector<UCHAR>(lost.begin(), lost.begin() + 4));
    port.QueueError(STATUS_DEVICE_DATA_ERROR);
    port.QueueBytes(std::vector<UCHAR>(lost.begin() + 4, lost.end()));
    port.QueueBytes(std::vector<UCHAR>(kept.begin(), kept.begin() + 5));
    port.QueueEmpty();
    port.QueueError(STATUS_CANCELLED);  // a cancel that is not a stop
    port.QueueBytes(std::vector<UCHAR>(kept.begin() + 5, kept.end()));
    port.QueueBytes(kept);
    port.Deliver();
    ASSERT_EQ(Mouse.Deliveries.size(), 1u) << "the packet around the failures is lost, the empty read is not";
    EXPECT_EQ(Mouse.Deliveries[0].Record.LastX, 32767);
    EXPECT_EQ(Mouse.Deliveries[0].Record.LastY, 16383);
    EXPECT_TRUE(port.ReadPending());
}

TEST_F(SerialTest, ReadsThatCompleteLaterAreReissuedOneAtATime) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    port.InlineCompletion = false;
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    EXPECT_EQ(port.Deliver(), 10u);
    EXPECT_EQ(Mouse.Deliveries.size(), 1u);
    EXPECT_LE(W().MaxCallDepth, 2);
}

// A million buffered bytes complete inside the call that issued the read;
// the driver must loop, not nest, and keep the order.
TEST_F(SerialTest, MillionByteBurstRunsInBoundedStackInOrder) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    constexpr int kPackets = 100000;
    std::vector<UCHAR> burst;
    burst.reserve(kPackets * 10);
    for (int i = 0; i < kPackets; ++i) {
        const std::vector<UCHAR> p = Packet(TOUCH_MOVE, static_cast<USHORT>(1 + i % 2000), static_cast<USHORT>(i % 7 + 1));
        burst.insert(burst.end(), p.begin(), p.end());
    }
    ASSERT_EQ(burst.size(), 1000000u);
    port.QueueBytes(burst);
    W().MaxCallDepth = 0;
    W().StackLow = W().StackHigh = 0;
    EXPECT_EQ(port.Deliver(), 1u);
    EXPECT_TRUE(port.Queue.empty());
    EXPECT_LE(W().MaxCallDepth, 2);
    EXPECT_LT(W().StackHigh - W().StackLow, 4096u);
    ASSERT_EQ(Mouse.Deliveries.size(), size_t(kPackets));
    for (int i = 0; i < kPackets; ++i) {
        const uint32_t x = 1 + i % 2000;
        if (Mouse.Deliveries[i].Record.LastX != static_cast<LONG>(x * 65535u / 2048u)) {
            FAIL() << "record " << i << " out of order";
        }
    }
}

// A port stuck so that it answers every read at once without a byte, with an
// error or with success (reads that return early), fails nothing but never
// delivers. The loop lets go of the processor after a short run and tries
// again from the retry timer a few ms later, one read per try; once the port
// works again a packet decodes, and a byte ends the run.
class StuckPortTest : public DriverTest, public ::testing::WithParamInterface<NTSTATUS> {};

TEST_P(StuckPortTest, YieldsTheProcessorAndRecovers) {
    const NTSTATUS answer = GetParam();
    const bool error = !NT_SUCCESS(answer);
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    if (error) {  // a failed read restarts the framer
        const std::vector<UCHAR> cut = Packet(TOUCH_MOVE, 100, 100);
        port.QueueBytes(std::vector<UCHAR>(cut.begin(), cut.begin() + 4));
        port.Deliver();
    }
    port.FailEveryRead = answer;
    port.EmptyEveryRead = !error;
    const int reads = port.Reads;
    W().MaxCallDepth = 0;
    ASSERT_TRUE(port.CompletePending(answer));
    EXPECT_LE(port.Reads - reads, 8) << "reads before the loop let go";
    EXPECT_LE(W().MaxCallDepth, 2);
    EXPECT_FALSE(port.ReadPending());
    ASSERT_TRUE(g_ovt.RetryTimer.Pending);
    const LONGLONG delay = g_ovt.RetryTimer.DueTime - W().Now;
    EXPECT_GE(delay, 1 * 10000) << "retried at once";
    EXPECT_LE(delay, 20 * 10000) << "retried too late";

    for (int i = 0; i < 50; ++i) {  // half a second: the port is not given up yet
        const int before = port.Reads;
        kstub::AdvanceClock(delay);
        kstub::RunDpcs();
        ASSERT_EQ(port.Reads, before + 1) << "one read per try, try " << i;
        ASSERT_TRUE(g_ovt.RetryTimer.Pending);
    }

    port.FailEveryRead = STATUS_SUCCESS;
    port.EmptyEveryRead = false;
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 512));
    kstub::AdvanceClock(delay);
    kstub::RunDpcs();
    ASSERT_EQ(Mouse.Deliveries.size(), 1u) << "the new packet decodes, nothing of a cut one";
    EXPECT_EQ(Mouse.Deliveries[0].Record.LastX, 32767);
    EXPECT_EQ(Mouse.Deliveries[0].Record.LastY, 16383);
    EXPECT_TRUE(port.ReadPending());

    for (int i = 0; i < 7; ++i) error ? port.QueueError(STATUS_DEVICE_DATA_ERROR) : port.QueueEmpty();
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    port.Deliver();
    EXPECT_EQ(Mouse.Deliveries.size(), 2u) << "after a byte, byte-less reads are retried at once again";
    EXPECT_FALSE(g_ovt.RetryTimer.Pending);
    EXPECT_TRUE(port.ReadPending());
}

INSTANTIATE_TEST_SUITE_P(Serial, StuckPortTest, ::testing::Values(STATUS_CANCELLED, STATUS_SUCCESS),
                         [](const ::testing::TestParamInfo<NTSTATUS>& i) {
                             return NT_SUCCESS(i.param) ? "EmptyReads" : "FailedReads";
                         });

// A port that breaks under the driver (an error that outlives the open, a
// device that goes away and comes back) fails every read. After a second or
// so of retries the driver lets it go and opens it anew, and touches come
// through again without an unload, with the report count the programs left.
// What went before must not shorten that second: glitches each ended by a
// byte, or a break of the port just reopened before its first byte. An idle
// port, hours without a byte, is left alone.
enum class Before { Nothing, ShortGlitches, AnEarlierBreak, ScatteredFailures };

class RecoveryTest : public DriverTest, public ::testing::WithParamInterface<std::tuple<bool, Before>> {
protected:
    void Break(kstub::SimPort& port) {
        port.Present = !removed_;
        port.Break(removed_ ? STATUS_DELETE_PENDING : STATUS_CANCELLED);
    }
    // Time runs in 10 ms steps until the port is let go; how long that took.
    LONGLONG UntilLetGo(kstub::SimPort& port) {
        const LONGLONG from = W().Now;
        for (int i = 0; i < 1000 && port.OpenFiles != 0; ++i) {
            kstub::AdvanceClock(10 * 10000);
            kstub::RunDpcs();
            kstub::RunThreads();
        }
        EXPECT_EQ(port.OpenFiles, 0) << "the broken port is never let go";
        return W().Now - from;
    }
    void Reopen(kstub::SimPort& port) {
        const int opens = port.Opens;
        if (removed_) {
            kstub::ElapseWaits();
            kstub::ElapseWaits();
            EXPECT_EQ(port.Opens, opens) << "gone: the opens fail";
            port.Present = true;
        }
        const size_t attempts = W().OpenAttempts.size();
        kstub::ElapseWaits();
        EXPECT_EQ(W().OpenAttempts.size(), attempts + 1) << "one attempt a second";
        EXPECT_EQ(port.Opens, opens + 1);
    }
    bool removed_ = std::get<0>(GetParam());
};

TEST_P(RecoveryTest, BrokenPortIsReopenedIdlePortIsLeftAlone) {
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    for (int hour = 0; hour < 5; ++hour) {
        kstub::AdvanceClock(3600 * 10000000LL);
        kstub::RunDpcs();
        kstub::ElapseWaits();
    }
    EXPECT_EQ(port.Opens, 1);
    EXPECT_EQ(port.Reads, 1) << "an idle port is not touched";
    EXPECT_EQ(kstub::Queued(), 1) << "only its read is out";

    switch (std::get<1>(GetParam())) {
    case Before::Nothing:
        break;
    case Before::ShortGlitches:  // 0.4 s each, 1.2 s together
        for (int glitch = 0; glitch < 3; ++glitch) {
            port.FailEveryRead = STATUS_DEVICE_DATA_ERROR;
            ASSERT_TRUE(port.CompletePending(STATUS_DEVICE_DATA_ERROR)) << "glitch " << glitch;
            for (int i = 0; i < 40; ++i) {
                kstub::AdvanceClock(10 * 10000);
                kstub::RunDpcs();
            }
            port.FailEveryRead = STATUS_SUCCESS;
            port.QueueBytes({0});
            kstub::AdvanceClock(10 * 10000);
            kstub::RunDpcs();
        }
        break;
    case Before::ScatteredFailures:  // one failed read an hour, a waiting read after each
        for (int hour = 0; hour < 120; ++hour) {
            ASSERT_TRUE(port.CompletePending(STATUS_DEVICE_DATA_ERROR)) << "hour " << hour;
            kstub::AdvanceClock(3600 * 10000000LL);
            kstub::RunDpcs();
        }
        break;
    case Before::AnEarlierBreak:
        Break(port);
        EXPECT_GE(UntilLetGo(port), 500 * 10000LL);
        Reopen(port);
        break;
    }

    ASSERT_EQ(Ioctl(IOCTL_TOUCH_DISABLE_REPORTS).Status, STATUS_SUCCESS);
    ASSERT_TRUE(port.ReadPending()) << "the port reads, not given up";
    Break(port);
    const LONGLONG took = UntilLetGo(port);
    EXPECT_GE(took, 500 * 10000LL) << "given up too soon";
    EXPECT_LE(took, 3000 * 10000LL) << "given up too late";
    EXPECT_EQ(kstub::Queued(), 0);
    EXPECT_EQ(W().LiveIrps, 0);

    Reopen(port);
    EXPECT_EQ(port.Ioctls.size(), 3u * port.Opens) << "the line is set again";
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 512));
    port.Deliver();
    EXPECT_TRUE(Mouse.Deliveries.empty()) << "reports stay off as the program left them";
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_ENABLE_REPORTS).Status, STATUS_SUCCESS);
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 512));
    port.Deliver();
    ASSERT_EQ(Mouse.Deliveries.size(), 1u);
    EXPECT_EQ(Mouse.Deliveries[0].Record.LastY, 16383);
    EXPECT_TRUE(port.ReadPending());
    EXPECT_EQ(port.ReadsWhileClosed, 0);
    Unload();
    EXPECT_TRUE(kstub::Held().None());
}

std::string RecoveryName(const ::testing::TestParamInfo<std::tuple<bool, Before>>& i) {
    const char* const before[] = {"", "AfterShortGlitches", "AfterAnEarlierBreak", "AfterScatteredFailures"};
    return std::string(std::get<0>(i.param) ? "DeviceGoneAndBack" : "ErrorOutlivesTheOpen") +
           before[static_cast<int>(std::get<1>(i.param))];
}

INSTANTIATE_TEST_SUITE_P(Serial, RecoveryTest,
                         ::testing::Combine(::testing::Values(false, true),
                                            ::testing::Values(Before::Nothing, Before::ShortGlitches,
                                                              Before::AnEarlierBreak, Before::ScatteredFailures)),
                         RecoveryName);

}  // namespace
}  // namespace ovtest
