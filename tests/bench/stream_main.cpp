// Feeds one fixed 1 MiB stream through the core, or through the minimal
// reference decoder, for callgrind:
//   ovt_stream noise|packets|mixed [MOUSEMODE|reference] [lock]
// Prints bytes, valid packets and records; only ovt_bench_feed (the core)
// or ovt_bench_reference_feed is measured (valgrind --toggle-collect=...).
// "lock": the core takes a settings lock per packet, a plain spin lock like
// the kernel's less the IRQL change.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "reference_decoder.h"
#include "streams.h"

using namespace ovt::bench;

extern "C" __attribute__((noinline)) void ovt_bench_feed(Driver* d, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) ovt::TouchOnReadCompleted(&d->state, &d->hooks, true, 1, bytes[i]);
}

extern "C" __attribute__((noinline)) void ovt_bench_reference_feed(ReferenceDecoder* d, const uint8_t* bytes,
                                                                    size_t n) {
    for (size_t i = 0; i < n; ++i) ReferenceReadOutcome(d, true, 1, bytes[i]);
}

namespace {

uint32_t g_lockWord;

uint32_t Acquire(void* word) {
    while (__atomic_exchange_n(static_cast<uint32_t*>(word), 1u, __ATOMIC_ACQUIRE) != 0) {
    }
    return 0;
}

void Release(void* word, uint32_t) { __atomic_store_n(static_cast<uint32_t*>(word), 0u, __ATOMIC_RELEASE); }

const ovt::SettingsLock kSpinLock = {&g_lockWord, Acquire, Release};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s noise|packets|mixed [MOUSEMODE|reference]\n", argv[0]);
        return 2;
    }
    StreamKind kind;
    if (std::strcmp(argv[1], "noise") == 0) {
        kind = StreamKind::Noise;
    } else if (std::strcmp(argv[1], "packets") == 0) {
        kind = StreamKind::Packets;
    } else if (std::strcmp(argv[1], "mixed") == 0) {
        kind = StreamKind::Mixed;
    } else {
        std::fprintf(stderr, "unknown stream %s\n", argv[1]);
        return 2;
    }
    const std::vector<uint8_t> bytes = MakeStream(kind, 1u << 20);
    if (argc > 2 && std::strcmp(argv[2], "reference") == 0) {
        uint32_t records = 0;
        ReferenceDecoder d = CountingReference(&records);
        ovt_bench_reference_feed(&d, bytes.data(), bytes.size());
        std::printf("bytes %zu packets %zu records %u\n", bytes.size(), CountPackets(bytes), records);
        return 0;
    }
    Driver d(argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 0u);
    if (argc > 3 && std::strcmp(argv[3], "lock") == 0) d.state.Lock = &kSpinLock;
    ovt_bench_feed(&d, bytes.data(), bytes.size());
    std::printf("bytes %zu packets %zu records %u beeps %u\n", bytes.size(), CountPackets(bytes), d.delivered,
                d.beeps);
    return 0;
}
