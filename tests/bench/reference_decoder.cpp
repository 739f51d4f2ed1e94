#include "reference_decoder.h"

#include "common/ovtouch.h"
#include "common/ovtouch_values.h"

namespace ovt::bench {

namespace {

uint32_t Map(const ReferenceDecoder* d, uint32_t raw) {
    if (raw <= d->low) return 1;
    if (raw >= d->high) return 0xFFF0;
    return (raw - d->low) * 65535u / d->span;
}

}  // namespace

void ReferenceReadOutcome(ReferenceDecoder* d, bool ok, uint32_t transferred, uint8_t byte) {
    if (!ok) {
        d->count = 0;
        return;
    }
    if (transferred == 0) return;
    const uint32_t n = d->count;
    if (n == 0) {
        d->count = byte == TOUCH_HEADER_0;
        return;
    }
    uint8_t* p = d->bytes;
    p[n] = byte;
    if (n - TOUCH_X_AT <= TOUCH_SUM_LAST - TOUCH_X_AT) {
        d->count = n + 1;
        return;
    }
    if (n == 1) {
        d->count = byte == TOUCH_HEADER_1 ? 2 : 0;
        return;
    }
    if (n == TOUCH_STATUS_AT) {
        d->count = (byte == TOUCH_DOWN || byte == TOUCH_MOVE || byte == TOUCH_UP) ? 3 : 0;
        return;
    }
    d->count = 0;
    const uint8_t sum = static_cast<uint8_t>(TOUCH_SUM_SEED + p[2] + p[3] + p[4] + p[5] + p[6] + p[7] + p[8]);
    if (sum != byte) return;
    ReferenceRecord& r = d->record;
    r.unit = 0;
    r.flags = OVT_MOUSE_MOVE_ABSOLUTE;
    r.buttons = p[TOUCH_STATUS_AT] == TOUCH_DOWN ? OVT_MOUSE_LEFT_BUTTON_DOWN
                : p[TOUCH_STATUS_AT] == TOUCH_UP ? OVT_MOUSE_LEFT_BUTTON_UP
                                                 : 0;
    r.buttonData = 0;
    r.rawButtons = 0;
    r.x = static_cast<int32_t>(Map(d, TOUCH_RAW_X(p)));
    r.y = static_cast<int32_t>(Map(d, TOUCH_RAW_Y(p)));
    r.extra = 0;
    d->sink(d->context, &r);
}

ReferenceDecoder CountingReference(uint32_t* records) {
    ReferenceDecoder d{};
    d.high = OVT_BOUND_DEFAULT_HIGH;
    d.span = OVT_SPAN_DEFAULT;
    d.context = records;
    d.sink = [](void* c, const ReferenceRecord*) { ++*static_cast<uint32_t*>(c); };
    return d;
}

}  // namespace ovt::bench
