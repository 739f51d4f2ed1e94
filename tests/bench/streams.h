// The fixed byte streams the benchmarks and the callgrind runs feed: noise,
// back-to-back packets and a mix, all from one seed so every run sees the
// same bytes.
#ifndef OVTOUCH_TESTS_BENCH_STREAMS_H
#define OVTOUCH_TESTS_BENCH_STREAMS_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/touch/control.h"

namespace ovt::bench {

enum class StreamKind { Noise, Packets, Mixed };

inline uint32_t NextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

inline void AppendPacket(std::vector<uint8_t>* out, uint8_t status, uint16_t x, uint16_t y) {
    uint8_t p[TOUCH_PACKET_SIZE] = {TOUCH_HEADER_0, TOUCH_HEADER_1, status, uint8_t(x), uint8_t(x >> 8),
                                    uint8_t(y), uint8_t(y >> 8), 0, 0, 0};
    p[TOUCH_SUM_AT] = TouchChecksum(p);
    out->insert(out->end(), p, p + TOUCH_PACKET_SIZE);
}

// A touch: down, moves, up, wandering over the raw range.
inline uint8_t StatusAt(uint32_t i) {
    const uint32_t k = i % 8;
    return k == 0 ? TOUCH_DOWN : k == 7 ? TOUCH_UP : TOUCH_MOVE;
}

inline std::vector<uint8_t> MakeStream(StreamKind kind, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size + 2 * TOUCH_PACKET_SIZE);
    uint32_t seed = 12345u;
    uint32_t count = 0;
    while (out.size() < size) {
        if (kind == StreamKind::Noise) {
            // Noise that never starts a packet: the framer's cheapest path.
            uint8_t b = static_cast<uint8_t>(NextRandom(&seed));
            out.push_back(b == TOUCH_HEADER_0 ? 0 : b);
            continue;
        }
        if (kind == StreamKind::Mixed) {
            const uint32_t r = NextRandom(&seed);
            // Some noise, a lost byte, a bad checksum now and then.
            for (uint32_t n = r % 4; n > 0; --n) out.push_back(static_cast<uint8_t>(NextRandom(&seed)));
            if (r % 16 == 1) {
                AppendPacket(&out, TOUCH_MOVE, 1, 1);
                out.back() ^= 0xFF;
                continue;
            }
        }
        const uint16_t x = static_cast<uint16_t>(NextRandom(&seed) % 2100);
        const uint16_t y = static_cast<uint16_t>(NextRandom(&seed) % 2100);
        AppendPacket(&out, StatusAt(count), x, y);
        ++count;
    }
    out.resize(size);
    return out;
}

// Valid packets in a stream, as the framer sees them.
inline size_t CountPackets(const std::vector<uint8_t>& bytes) {
    TouchState state{};
    LoadParameters(&state.Settings, nullptr, nullptr);
    size_t n = 0;
    TouchHooks hooks{};
    hooks.Context = &n;
    hooks.OnPacket = [](void* c, uint8_t, uint32_t, uint32_t) { ++*static_cast<size_t*>(c); };
    for (uint8_t b : bytes) TouchFeedByte(&state, &hooks, b);
    return n;
}

// A driver as after load, started, with the mouse class connected.
struct Driver {
    TouchState state{};
    TouchHooks hooks{};
    uint32_t delivered = 0;
    uint32_t beeps = 0;

    explicit Driver(uint32_t mouseMode = 0) {
        LoadParameters(&state.Settings, nullptr, nullptr);
        state.Settings.MouseMode = mouseMode;
        state.ReportEnableCount = 1;
        hooks.Context = this;
        hooks.SinkConnected = [](void*) { return true; };
        hooks.Deliver = [](void* c, const MouseRecord*) { ++static_cast<Driver*>(c)->delivered; };
        hooks.Beep = [](void* c, uint32_t, uint32_t) { ++static_cast<Driver*>(c)->beeps; };
    }
};

}  // namespace ovt::bench

#endif
