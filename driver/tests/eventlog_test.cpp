// The System log entries, one table of state changes: each row plays a
// story on the stand-in and lists every entry it must leave, in order.
#include <functional>
#include <string>
#include <utility>

#include "harness.h"

namespace ovtest {
namespace {

using kstub::W;

struct Entry {
    ULONG Code;
    NTSTATUS Final;
    std::vector<std::string> Strings;
};

const ULONG kOpenFailed = 0x80040001, kGivenUp = 0xC0040002, kReading = 0x40040003, kCorrected = 0x40040004,
            kLoadFailed = 0xC0040005;

class EventLogTest;

struct Story {
    const char* Name;
    std::function<void(EventLogTest&)> Play;
    std::vector<Entry> Expected;
};

void PrintTo(const Story& s, std::ostream* os) { *os << s.Name; }

class EventLogTest : public DriverTest, public ::testing::WithParamInterface<Story> {
public:
    using DriverTest::Connect;
    using DriverTest::Ioctl;
    using DriverTest::Load;
    using DriverTest::LoadWithPort;
};

void Seconds(int n) {
    for (int i = 0; i < n; ++i) kstub::ElapseWaits();
}

// Fails every read until the driver lets the port go.
void BreakUntilGivenUp(kstub::SimPort& port, NTSTATUS status) {
    port.Break(status);
    for (int i = 0; i < 1000 && port.OpenFiles != 0; ++i) {
        kstub::AdvanceClock(10 * 10000);
        kstub::RunDpcs();
        kstub::RunThreads();
    }
    ASSERT_EQ(port.OpenFiles, 0);
}

void Touch(kstub::SimPort& port) {
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 512));
    port.Deliver();
}

TEST_P(EventLogTest, EachChangeOfStateIsOneEntry) {
    GetParam().Play(*this);
    const std::vector<kstub::LoggedEvent>& got = W().Events;
    ASSERT_EQ(got.size(), GetParam().Expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const Entry& want = GetParam().Expected[i];
        EXPECT_EQ(got[i].Code, want.Code) << "entry " << i;
        EXPECT_EQ(got[i].FinalStatus, want.Final) << "entry " << i;
        EXPECT_EQ(got[i].Strings, want.Strings) << "entry " << i;
    }
    if (Loaded) Unload();
    EXPECT_TRUE(kstub::Held().None()) << "an entry or anything else is left";
}

const NTSTATUS kMissing = STATUS_OBJECT_NAME_NOT_FOUND;

const Story kStories[] = {
    {"PortAtHandSaysNothing",
     [](EventLogTest& t) {
         kstub::SimPort& port = t.LoadWithPort();
         Touch(port);
         Seconds(3600);
     },
     {}},
    {"PortAppearingAfterThreeSecondsSaysNothing",
     [](EventLogTest& t) {
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         kstub::RunThreads();
         Seconds(3);
         kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
         Seconds(1);
         ASSERT_TRUE(port.ReadPending());
     },
     {}},
    {"PortMissingForAMinuteIsLoggedThen",
     [](EventLogTest& t) {
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         kstub::RunThreads();
         Seconds(59);
         EXPECT_TRUE(W().Events.empty()) << "logged before a minute";
         Seconds(2);
     },
     {{kOpenFailed, kMissing, {"COM1", "0xC0000034"}}}},
    {"PortMissingForAnHourThenPlugged",
     [](EventLogTest& t) {
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         kstub::RunThreads();
         Seconds(3600);
         kstub::AddPort("\\??\\COM1");
         Seconds(1);
     },
     {{kOpenFailed, kMissing, {"COM1", "0xC0000034"}}, {kReading, 0, {"COM1"}}}},
    {"GivenUpThenReopenedAndTouched",
     [](EventLogTest& t) {
         kstub::SimPort& port = t.LoadWithPort();
         BreakUntilGivenUp(port, STATUS_CANCELLED);
         Seconds(1);
         ASSERT_EQ(port.Opens, 2);
         EXPECT_EQ(W().Events.size(), 1u) << "reopened, but not yet proven by a byte";
         Touch(port);
         Touch(port);
     },
     {{kGivenUp, 0, {"COM1"}}, {kReading, 0, {"COM1"}}}},
    {"FailingEveryReadAfterEachReopenLogsOnce",
     [](EventLogTest& t) {
         kstub::SimPort& port = t.LoadWithPort();
         port.FailEveryRead = STATUS_DEVICE_DATA_ERROR;
         for (int i = 0; i < 30; ++i) {  // about a minute
             BreakUntilGivenUp(port, STATUS_DEVICE_DATA_ERROR);
             Seconds(1);
         }
         ASSERT_EQ(port.Opens, 31);
     },
     {{kGivenUp, 0, {"COM1"}}}},
    {"GivenUpThenAnotherPortWithBytesWaitingNamesTheNewOne",
     [](EventLogTest& t) {
         kstub::SimPort& com1 = t.LoadWithPort();
         kstub::SimPort& com2 = kstub::AddPort("\\??\\COM2");
         com2.QueueBytes(Packet(TOUCH_MOVE, 1024, 512));  // the first read completes at once
         kstub::RegSetKey(kParametersKey);
         kstub::RegSetDword(kParametersKey, "Port", 2);
         t.Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
         BreakUntilGivenUp(com1, STATUS_CANCELLED);
         Seconds(1);
         ASSERT_EQ(com2.Opens, 1);
     },
     {{kGivenUp, 0, {"COM1"}}, {kReading, 0, {"COM2"}}}},
    {"DeviceGoneThenBack",
     [](EventLogTest& t) {
         kstub::RegSetKey(kParametersKey);
         kstub::RegSetDword(kParametersKey, "Port", 2);
         kstub::SimPort& port = t.LoadWithPort("\\??\\COM2");
         port.Present = false;
         BreakUntilGivenUp(port, STATUS_DELETE_PENDING);
         Seconds(60);
         port.Present = true;
         Seconds(1);
     },
     {{kGivenUp, 0, {"COM2"}}, {kOpenFailed, kMissing, {"COM2", "0xC0000034"}}, {kReading, 0, {"COM2"}}}},
    {"CorrectedValuesAtLoadThenOnlyNewOnesAtAReload",
     [](EventLogTest& t) {
         kstub::RegSetKey(kParametersKey);
         kstub::RegSetDword(kParametersKey, "Port", 0);         // never corrected
         kstub::RegSetDword(kParametersKey, "XLow", 0x12345);   // cut to 16 bits
         kstub::RegSetDword(kParametersKey, "XPropt", 7);       // always recomputed: no entry
         kstub::RegSetDword(kParametersKey, "BeepFreq", 1000);  // in range
         kstub::RegSetDword(kParametersKey, "MouseMode", 0xFFFFFFFF);
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         kstub::RegSetDword(kParametersKey, "XLow", 5);
         kstub::RegSetDword(kParametersKey, "BeepMode", 3);
         t.Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
         kstub::RegSetDword(kParametersKey, "MouseMode", 4);
         t.Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
     },
     {{kCorrected, 0, {"XLow", "74565", "9029"}},
      {kCorrected, 0, {"MouseMode", "4294967295", "2"}},
      {kCorrected, 0, {"BeepMode", "3", "2"}},
      {kCorrected, 0, {"MouseMode", "4", "2"}}}},
    {"SetupsOwnValuesSayNothing",
     [](EventLogTest& t) {
         kstub::RegSetKey(kParametersKey);
         const std::pair<const char*, ULONG> written[] = {
             {"BeepMode", 1}, {"BeepFreq", 2000}, {"BeepTime", 20}, {"BeepFreq2", 2000}, {"BeepTime2", 20},
             {"DblClkRegion", 25}, {"ButtonMode", 2}, {"MouseMode", 2}, {"Port", 1}, {"XHigh", 2048},
             {"XLow", 1}, {"XOffset", 1}, {"YHigh", 2048}, {"YLow", 1}, {"YOffset", 1}};
         for (const auto& [name, value] : written) kstub::RegSetDword(kParametersKey, name, value);
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         t.Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
     },
     {}},
    {"HandStoredBeepTimeOnceAcrossAHundredReloads",
     [](EventLogTest& t) {
         kstub::RegSetKey(kParametersKey);
         kstub::RegSetDword(kParametersKey, "BeepTime", 25);
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         for (int i = 0; i < 100; ++i) t.Ioctl(IOCTL_TOUCH_RELOAD_PARAMETERS);
     },
     {{kCorrected, 0, {"BeepTime", "25", "40"}}}},
    {"ValueNameFillingTheEntryCutsTheNumbers",
     [](EventLogTest& t) {
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         OvtLogValueCorrected(std::string(46, 'N').c_str(), 4294967295u, 1u);
     },
     {{kCorrected, 0, {std::string(46, 'N'), ""}}}},
    {"LoadFails",
     [](EventLogTest& t) {
         W().CreateLinkStatus = STATUS_OBJECT_NAME_COLLISION;
         ASSERT_EQ(t.Load(), STATUS_OBJECT_NAME_COLLISION);
     },
     {{kLoadFailed, STATUS_OBJECT_NAME_COLLISION, {"0xC0000035"}}}},
    {"LoadFailsWithoutMemory",
     [](EventLogTest& t) {
         W().FailAllocationAt = 1;
         ASSERT_EQ(t.Load(), STATUS_ALLOTTED_SPACE_EXCEEDED);
     },
     {{kLoadFailed, STATUS_ALLOTTED_SPACE_EXCEEDED, {"0xC0000099"}}}},
    {"LostEntryLosesNothingElse",
     [](EventLogTest& t) {
         W().FailErrorLogEntries = 1;
         ASSERT_EQ(t.Load(), STATUS_SUCCESS);
         kstub::RunThreads();
         Seconds(60);
         kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
         Seconds(1);
         ASSERT_TRUE(port.ReadPending());
         kstub::SimMouseClass mouse;
         ASSERT_EQ(t.Connect(mouse), STATUS_SUCCESS);
         Touch(port);
         EXPECT_EQ(mouse.Deliveries.size(), 1u);
     },
     {{kReading, 0, {"COM1"}}}},
};

INSTANTIATE_TEST_SUITE_P(Driver, EventLogTest, ::testing::ValuesIn(kStories),
                         [](const ::testing::TestParamInfo<Story>& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace ovtest
