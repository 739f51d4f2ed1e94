// Google Benchmark figures of the touch core, beside the minimal reference
// decoder, and of the control dispatcher.
// scripts/bench.sh runs this; it is no pass/fail test.
#include <benchmark/benchmark.h>

#include "reference_decoder.h"
#include "streams.h"

namespace {

using namespace ovt;
using namespace ovt::bench;

constexpr size_t kStreamBytes = 1u << 20;

void FeedBytes(benchmark::State& st, StreamKind kind) {
    const std::vector<uint8_t> bytes = MakeStream(kind, kStreamBytes);
    Driver d;
    size_t i = 0;
    for (auto _ : st) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
        TouchOnReadCompleted(&d.state, &d.hooks, true, 1, bytes[i]);
        if (++i == bytes.size()) i = 0;
    }
    benchmark::DoNotOptimize(d.delivered);
    st.SetItemsProcessed(st.iterations());
    st.SetLabel("per byte");
}

// The same through the minimal reference decoder.
void FeedReference(benchmark::State& st, StreamKind kind) {
    const std::vector<uint8_t> bytes = MakeStream(kind, kStreamBytes);
    uint32_t records = 0;
    ReferenceDecoder d = CountingReference(&records);
    size_t i = 0;
    for (auto _ : st) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
        ReferenceReadOutcome(&d, true, 1, bytes[i]);
        if (++i == bytes.size()) i = 0;
    }
    benchmark::DoNotOptimize(records);
    st.SetItemsProcessed(st.iterations());
    st.SetLabel("per byte, reference");
}

void BM_ByteNoise(benchmark::State& st) { FeedBytes(st, StreamKind::Noise); }
void BM_BytePackets(benchmark::State& st) { FeedBytes(st, StreamKind::Packets); }
void BM_ByteMixed(benchmark::State& st) { FeedBytes(st, StreamKind::Mixed); }
void BM_ReferenceNoise(benchmark::State& st) { FeedReference(st, StreamKind::Noise); }
void BM_ReferencePackets(benchmark::State& st) { FeedReference(st, StreamKind::Packets); }
void BM_ReferenceMixed(benchmark::State& st) { FeedReference(st, StreamKind::Mixed); }
BENCHMARK(BM_ByteNoise);
BENCHMARK(BM_BytePackets);
BENCHMARK(BM_ByteMixed);
BENCHMARK(BM_ReferenceNoise);
BENCHMARK(BM_ReferencePackets);
BENCHMARK(BM_ReferenceMixed);

// One whole packet (10 bytes) per iteration, touches cycling down, moves, up.
void BM_PacketMouseMode(benchmark::State& st) {
    const std::vector<uint8_t> bytes = MakeStream(StreamKind::Packets, size_t{8} * TOUCH_PACKET_SIZE * 64);
    Driver d(static_cast<uint32_t>(st.range(0)));
    size_t i = 0;
    for (auto _ : st) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
        for (int k = 0; k < TOUCH_PACKET_SIZE; ++k) TouchOnReadCompleted(&d.state, &d.hooks, true, 1, bytes[i + k]);
        i += TOUCH_PACKET_SIZE;
        if (i == bytes.size()) i = 0;
    }
    benchmark::DoNotOptimize(d.delivered);
    st.SetItemsProcessed(st.iterations());
    st.SetLabel("per packet");
}
BENCHMARK(BM_PacketMouseMode)->DenseRange(0, 3)->ArgName("MouseMode");

void Dispatch(benchmark::State& st, uint32_t code, const void* in, uint32_t inLength, uint32_t outLength) {
    Driver d;
    ControlEnv env{};
    uint32_t out[4] = {};
    for (auto _ : st) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop idiom
        ControlResult r = DispatchControl(&d.state, &env, code, in, inLength, out, outLength);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(out);
    }
    st.SetItemsProcessed(st.iterations());
    st.SetLabel("per request");
}

const uint32_t kCalibration[8] = {100, 120, 1900, 1880, 0, 0, 0, 0};
const uint32_t kBeep[3] = {1, 2500, 64};

void BM_DispatchGetCapture(benchmark::State& st) { Dispatch(st, IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 12); }
void BM_DispatchGetBeep(benchmark::State& st) { Dispatch(st, IOCTL_TOUCH_GET_BEEP, nullptr, 0, 12); }
void BM_DispatchSetCalibration(benchmark::State& st) {
    Dispatch(st, IOCTL_TOUCH_SET_CALIBRATION, kCalibration, sizeof(kCalibration), 0);
}
void BM_DispatchSetBeep(benchmark::State& st) { Dispatch(st, IOCTL_TOUCH_SET_BEEP, kBeep, sizeof(kBeep), 0); }
void BM_DispatchArmCapture(benchmark::State& st) { Dispatch(st, IOCTL_TOUCH_ARM_CAPTURE, nullptr, 0, 0); }
void BM_DispatchUnknown(benchmark::State& st) { Dispatch(st, 0xF2404u, nullptr, 0, 4); }
BENCHMARK(BM_DispatchGetCapture);
BENCHMARK(BM_DispatchGetBeep);
BENCHMARK(BM_DispatchSetCalibration);
BENCHMARK(BM_DispatchSetBeep);
BENCHMARK(BM_DispatchArmCapture);
BENCHMARK(BM_DispatchUnknown);

}  // namespace

BENCHMARK_MAIN();
