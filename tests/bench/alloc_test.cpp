// The driver's steady state allocates nothing per byte, per packet or per
// request: counted in-process around the core and the dispatcher.
#include <gtest/gtest.h>

#include "alloc_count.h"
#include "streams.h"

namespace {

using namespace ovt;
using namespace ovt::bench;
using ovt::test::CountAllocations;

TEST(AllocCount, CountsWhatTheScopeAllocates) {
    // The counter itself must see an allocation, or a zero below means nothing.
    unsigned long seen;
    {
        CountAllocations c;
        void* volatile p = std::malloc(16);
        std::free(p);
        int* volatile q = new int(1);
        delete q;
        seen = c.Count();
    }
    EXPECT_EQ(seen, 2u);
}

struct StreamCase {
    const char* name;
    StreamKind kind;
};

class SteadyState : public ::testing::TestWithParam<std::tuple<StreamCase, uint32_t, uint32_t>> {};

TEST_P(SteadyState, NoAllocationPerByteOrPacket) {
    const auto [stream, mouseMode, buttonMode] = GetParam();
    const std::vector<uint8_t> bytes = MakeStream(stream.kind, size_t{64} * 1024);
    Driver d(mouseMode);
    d.state.Settings.ButtonMode = buttonMode;
    d.state.Settings.BeepMode = 1 + mouseMode % 2;
    TouchArmCapture(&d.state);
    unsigned long count;
    {
        CountAllocations c;
        for (size_t i = 0; i < bytes.size(); ++i) {
            // A failed read now and then, as a noisy line gives.
            TouchOnReadCompleted(&d.state, &d.hooks, i % 4099 != 0, 1, bytes[i]);
        }
        count = c.Count();
    }
    EXPECT_EQ(count, 0u);
    if (stream.kind != StreamKind::Noise) {
        EXPECT_GT(d.delivered, 1000u);
    }
}

const StreamCase kStreams[] = {
    {"noise", StreamKind::Noise}, {"packets", StreamKind::Packets}, {"mixed", StreamKind::Mixed}};

INSTANTIATE_TEST_SUITE_P(Core, SteadyState,
                         ::testing::Combine(::testing::ValuesIn(kStreams), ::testing::Values(0u, 1u, 2u, 3u),
                                            ::testing::Values(0u, 1u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_mode" +
                                    std::to_string(std::get<1>(info.param)) + "_button" +
                                    std::to_string(std::get<2>(info.param));
                         });

TEST(SteadyState, NoAllocationPerRequest) {
    Driver d;
    ControlEnv env{};
    env.Beep = [](void*, uint32_t, uint32_t) {};
    const uint32_t calibration[8] = {100, 120, 1900, 1880, 0, 0, 0, 0};
    const uint32_t beep[3] = {1, 2500, 64};
    const uint32_t one = 1;
    struct Request {
        uint32_t code;
        const void* in;
        uint32_t inLength;
        uint32_t outLength;
    };
    const Request requests[] = {
        {IOCTL_TOUCH_GET_BUTTON_MODE, nullptr, 0, 4}, {IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 12},
        {IOCTL_TOUCH_ARM_CAPTURE, nullptr, 0, 0},     {IOCTL_TOUCH_GET_LAST_REPORT, nullptr, 0, 12},
        {IOCTL_TOUCH_GET_MOUSE_MODE, nullptr, 0, 4},  {IOCTL_TOUCH_SET_CALIBRATION, calibration, 32, 0},
        {IOCTL_TOUCH_ENABLE_REPORTS, nullptr, 0, 0},  {IOCTL_TOUCH_DISABLE_REPORTS, nullptr, 0, 0},
        {IOCTL_TOUCH_SET_BUTTON_MODE, &one, 4, 0},    {IOCTL_TOUCH_SET_BEEP, beep, 12, 0},
        {IOCTL_TOUCH_GET_BEEP, nullptr, 0, 12},       {IOCTL_TOUCH_SET_MOUSE_MODE, &one, 4, 0},
        {IOCTL_TOUCH_TEST_BEEP, nullptr, 0, 0},       {IOCTL_TOUCH_RESERVED_910, nullptr, 0, 0},
        {0xF2404u, nullptr, 0, 4},                    {IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 8},
    };
    uint32_t out[4];
    for (const Request& r : requests) {
        unsigned long count;
        {
            CountAllocations c;
            for (int i = 0; i < 100; ++i) DispatchControl(&d.state, &env, r.code, r.in, r.inLength, out, r.outLength);
            count = c.Count();
        }
        EXPECT_EQ(count, 0u) << std::hex << r.code;
    }
}

}  // namespace
