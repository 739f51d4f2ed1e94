// The loaded driver streams packets without taking memory: after start-up
// every pool and request allocation of the kernel stand-in is made to fail
// and counted, and the stream must still come through whole.
#include "harness.h"

#include "../bench/streams.h"

namespace ovtest {
namespace {

using kstub::W;

constexpr int kNever = 1 << 30;

class DriverSteadyState : public DriverTest,
                          public ::testing::WithParamInterface<std::tuple<ovt::bench::StreamKind, ULONG>> {};

TEST_P(DriverSteadyState, NoAllocationPerByteOrPacket) {
    const auto [kind, mouseMode] = GetParam();
    kstub::SimPort& port = LoadWithPort();
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_MOUSE_MODE, &mouseMode, sizeof(mouseMode)).Status, STATUS_SUCCESS);
    const ULONG beep[3] = {1, 2000, 40};
    ASSERT_EQ(Ioctl(IOCTL_TOUCH_SET_BEEP, beep, sizeof(beep)).Status, STATUS_SUCCESS);

    const std::vector<UCHAR> bytes = ovt::bench::MakeStream(kind, 32 * 1024);
    const size_t packets = ovt::bench::CountPackets(bytes);

    const int allocations = W().Allocations;
    const size_t pool = W().Pool.size();
    const int irps = W().LiveIrps;
    const int handles = W().Handles;
    W().FailAllocationAt = 1;
    W().FailIrpAllocations = kNever;
    W().FailBuildRequests = kNever;

    // In slices, as a serial port hands them over; a failed read now and then.
    for (size_t at = 0; at < bytes.size(); at += 997) {
        const size_t end = std::min(bytes.size(), at + 997);
        port.QueueBytes(std::vector<UCHAR>(bytes.begin() + at, bytes.begin() + end));
        if (at % (997 * 8) == 0) port.QueueError(STATUS_DEVICE_DATA_ERROR);
        port.Deliver();
    }

    EXPECT_EQ(W().Allocations, allocations) << "pool allocations while streaming";
    EXPECT_EQ(W().Pool.size(), pool);
    EXPECT_EQ(W().LiveIrps, irps);
    EXPECT_EQ(W().Handles, handles);
    EXPECT_EQ(W().FailIrpAllocations, kNever) << "a request was allocated while streaming";
    EXPECT_EQ(W().FailBuildRequests, kNever) << "a request was built while streaming";
    EXPECT_TRUE(port.ReadPending()) << "the read loop stopped";
    if (kind != ovt::bench::StreamKind::Noise) {
        EXPECT_GE(Mouse.Deliveries.size(), packets / 2) << "the stream did not come through";
        EXPECT_GT(W().Beeps.size(), 0u);
    }
    W().FailAllocationAt = 0;
    W().FailIrpAllocations = 0;
    W().FailBuildRequests = 0;
}

std::string CaseName(const ::testing::TestParamInfo<DriverSteadyState::ParamType>& info) {
    static const char* const kNames[] = {"noise", "packets", "mixed"};
    return std::string(kNames[static_cast<int>(std::get<0>(info.param))]) + "_mode" +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DriverSteadyState,
    ::testing::Combine(::testing::Values(ovt::bench::StreamKind::Noise, ovt::bench::StreamKind::Packets,
                                         ovt::bench::StreamKind::Mixed),
                       ::testing::Values(0u, 1u, 2u, 3u)),
    CaseName);

}  // namespace
}  // namespace ovtest
