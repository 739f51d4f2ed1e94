// A minimal decoder of the controller's packets, written from the packet
// format alone: the yardstick for the core's byte path. scripts/bench.sh
// runs both over the same streams, one call per completed read. For each
// valid packet it builds the platform's 24-byte mouse record (left button
// flag from the status, both axes mapped over one calibration) and hands it
// to its sink; it has none of the core's button and mouse modes, capture,
// report switch, beeps or observers.
#ifndef OVTOUCH_TESTS_BENCH_REFERENCE_DECODER_H
#define OVTOUCH_TESTS_BENCH_REFERENCE_DECODER_H

#include <cstdint>

namespace ovt::bench {

struct ReferenceRecord {
    uint16_t unit, flags, buttons, buttonData;
    uint32_t rawButtons;
    int32_t x, y;
    uint32_t extra;
};

struct ReferenceDecoder {
    uint32_t count;     // bytes of the current packet so far
    uint8_t bytes[10];  // the packet so far, each byte at its offset
    uint32_t low, high, span;
    ReferenceRecord record;
    void* context;
    void (*sink)(void* context, const ReferenceRecord* record);
};

void ReferenceReadOutcome(ReferenceDecoder* d, bool ok, uint32_t transferred, uint8_t byte);

// A decoder over the default calibration that counts its records.
ReferenceDecoder CountingReference(uint32_t* records);

}  // namespace ovt::bench

#endif
