// The framer and packet processing under arbitrary serial bytes, read
// failures and settings changes; the framer against a model of the
// protocol's framing table.
//
// Input: a stream of operations, each an opcode byte (low 3 bits) and its
// arguments:
//   0-3  n = next byte % 32 + 1, then n serial bytes, each a good read
//   4    a failed read
//   5    a good read with 0 bytes transferred (next byte is ignored junk)
//   6    a control request: code index byte, then 6 words of input; a
//        reload reads the Parameters from the following bytes
//   7    the mouse class connects or disconnects
#include "fuzz_common.h"

namespace {

using namespace ovt;
using namespace ovt::fuzz;

// The framer as the protocol's table states it: true when the byte
// completes a packet with a correct checksum.
struct ModelFramer {
    uint8_t state = 0;
    uint8_t p[TOUCH_PACKET_SIZE] = {};

    bool Step(uint8_t b) {
        switch (state) {
        case 0:
            state = b == TOUCH_HEADER_0 ? 1 : 0;
            return false;
        case 1:
            state = b == TOUCH_HEADER_1 ? 2 : 0;
            return false;
        case TOUCH_STATUS_AT:
            state = (b == TOUCH_DOWN || b == TOUCH_MOVE || b == TOUCH_UP) ? 3 : 0;
            p[TOUCH_STATUS_AT] = b;
            return false;
        case TOUCH_SUM_AT: {
            state = 0;
            uint32_t sum = TOUCH_SUM_SEED;
            for (int i = TOUCH_SUM_FIRST; i <= TOUCH_SUM_LAST; ++i) sum += p[i];
            return (sum & 0xFF) == b;
        }
        default:
            p[state++] = b;
            return false;
        }
    }
};

struct Harness {
    ModelFramer model;
    TouchState state{};
    TouchHooks hooks{};
    Cursor* in = nullptr;
    bool connected = true;
    // The packet being processed, as the framer announced it.
    bool inPacket = false;
    uint8_t status = 0;
    uint32_t rawX = 0, rawY = 0;
    uint32_t captureBefore = 0;
    int deliveries = 0;
    int groups = 0;
    int beeps = 0;
    bool open = false;
};

int32_t ReadParameter(void* context, const char*, uint32_t* value) {
    Cursor* c = static_cast<Cursor*>(context);
    switch (c->Byte() & 3) {
    case 0:
        *value = c->Word();
        return OVT_STATUS_SUCCESS;
    case 1:
        *value = c->Byte();
        return OVT_STATUS_SUCCESS;
    case 2:
        return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    default:
        return static_cast<int32_t>(0xC0000000u | c->Byte());
    }
}

uint32_t ExpectedAxis(uint32_t raw, uint32_t low, uint32_t high, uint32_t span) {
    if (low < raw && raw < high) {
        const uint64_t q = static_cast<uint64_t>(raw - low) * 65535u / span;
        OVT_FUZZ_CHECK(q < 65535u);
        return static_cast<uint32_t>(q);
    }
    return raw <= low ? 1u : 65520u;
}

void CheckRecord(const Harness& h, const MouseRecord& m) {
    const DriverSettings& s = h.state.Settings;
    OVT_FUZZ_CHECK(m.UnitId == 0 && m.ButtonData == 0 && m.RawButtons == 0 && m.ExtraInformation == 0);
    OVT_FUZZ_CHECK(m.Flags == OVT_MOUSE_MOVE_ABSOLUTE);
    const uint16_t f = m.ButtonFlags;
    if (s.ButtonMode == 1) {
        OVT_FUZZ_CHECK(f == 0 || f == OVT_MOUSE_RIGHT_BUTTON_DOWN || f == OVT_MOUSE_RIGHT_BUTTON_UP);
    } else {
        OVT_FUZZ_CHECK(f == 0 || f == OVT_MOUSE_LEFT_BUTTON_DOWN || f == OVT_MOUSE_LEFT_BUTTON_UP);
    }
    OVT_FUZZ_CHECK(m.LastX >= 0 && m.LastX <= 65535 && m.LastY >= 0 && m.LastY <= 65535);
    OVT_FUZZ_CHECK(static_cast<uint32_t>(m.LastX) == ExpectedAxis(h.rawX, s.Calibration.XLow, s.Calibration.XHigh, s.XSpan));
    OVT_FUZZ_CHECK(static_cast<uint32_t>(m.LastY) == ExpectedAxis(h.rawY, s.Calibration.YLow, s.Calibration.YHigh, s.YSpan));
}

void InstallHooks(Harness* h) {
    TouchHooks& k = h->hooks;
    k.Context = h;
    k.SinkConnected = [](void* c) { return static_cast<Harness*>(c)->connected; };
    k.DeliverBegin = [](void* c) {
        auto* h = static_cast<Harness*>(c);
        OVT_FUZZ_CHECK(h->inPacket && !h->open);
        h->open = true;
        ++h->groups;
    };
    k.Deliver = [](void* c, const MouseRecord* m) {
        auto* h = static_cast<Harness*>(c);
        OVT_FUZZ_CHECK(h->open && m == &h->state.Mouse);
        ++h->deliveries;
        CheckRecord(*h, *m);
    };
    k.DeliverEnd = [](void* c) {
        auto* h = static_cast<Harness*>(c);
        OVT_FUZZ_CHECK(h->open);
        h->open = false;
    };
    k.Beep = [](void* c, uint32_t freq, uint32_t ms) {
        auto* h = static_cast<Harness*>(c);
        const DriverSettings& s = h->state.Settings;
        OVT_FUZZ_CHECK(h->inPacket && !h->open);
        OVT_FUZZ_CHECK(freq == s.BeepFreq && ms == s.BeepTime);
        OVT_FUZZ_CHECK((s.BeepMode == 1 && h->status == TOUCH_DOWN) ||
                       (s.BeepMode == 2 && h->status == TOUCH_UP));
        ++h->beeps;
    };
    k.OnPacket = [](void* c, uint8_t status, uint32_t x, uint32_t y) {
        auto* h = static_cast<Harness*>(c);
        OVT_FUZZ_CHECK(status == TOUCH_DOWN || status == TOUCH_MOVE || status == TOUCH_UP);
        OVT_FUZZ_CHECK(x <= 0xFFFF && y <= 0xFFFF);
        h->inPacket = true;
        h->status = status;
        h->rawX = x;
        h->rawY = y;
        h->captureBefore = h->state.Capture.State;
        h->deliveries = h->groups = h->beeps = 0;
    };
}

// What one packet may have done, checked once it is through.
void CheckPacket(Harness* h) {
    if (!h->inPacket) return;
    h->inPacket = false;
    const TouchState& st = h->state;
    OVT_FUZZ_CHECK(!h->open);
    OVT_FUZZ_CHECK(h->groups <= 1 && h->deliveries <= 2 && h->beeps <= 1);
    const bool live = st.ReportEnableCount > 0 && h->connected;
    OVT_FUZZ_CHECK(live ? h->deliveries >= 1 : (h->deliveries == 0 && h->beeps == 0));
    const uint32_t before = h->captureBefore, after = st.Capture.State;
    OVT_FUZZ_CHECK(after == before || (before == CAPTURE_ARMED && after == CAPTURE_TOUCHED && h->status == TOUCH_DOWN) ||
                   (before == CAPTURE_TOUCHED && after == CAPTURE_DONE && h->status == TOUCH_UP));
    OVT_FUZZ_CHECK(st.Capture.RawX == h->rawX && st.Capture.RawY == h->rawY);
    // The record keeps the position of the packet, delivered or not.
    OVT_FUZZ_CHECK(static_cast<uint32_t>(st.Mouse.LastX) ==
                   ExpectedAxis(h->rawX, st.Settings.Calibration.XLow, st.Settings.Calibration.XHigh, st.Settings.XSpan));
}

void Request(Harness* h, Cursor* c) {
    const uint32_t code = kCodes[c->Byte() % kCodeCount];
    uint32_t words[6];
    for (uint32_t& w : words) w = c->Word();
    uint32_t out[3] = {};
    ControlEnv env{};
    env.Context = c;
    env.Reload = [](void* context, DriverSettings* s) { return LoadParameters(s, ReadParameter, context); };
    env.Beep = [](void*, uint32_t, uint32_t) {};
    ControlResult r;
    {
        Counting none;
        r = DispatchControl(&h->state, &env, code, words, sizeof(words), out, sizeof(out));
    }
    OVT_FUZZ_CHECK(IsStatus(r.Status));
    OVT_FUZZ_CHECK(r.Information <= sizeof(out));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    AllocCounter::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Cursor c(data, size);
    Harness h;
    InstallHooks(&h);
    const uint8_t setup = c.Byte();
    {
        Counting none;
        LoadParameters(&h.state.Settings, (setup & 1) ? ReadParameter : nullptr, &c);
    }
    h.state.ReportEnableCount = (setup & 2) ? 0 : 1;
    h.connected = (setup & 4) == 0;
    if (setup & 8) TouchArmCapture(&h.state);

    while (!c.Empty()) {
        const uint8_t op = c.Byte() & 7;
        if (op <= 3) {
            size_t n = 0;
            const uint8_t* bytes = c.Take(c.Byte() % 32u + 1u, &n);
            for (size_t i = 0; i < n; ++i) {
                const bool packet = h.model.Step(bytes[i]);
                {
                    Counting none;
                    TouchOnReadCompleted(&h.state, &h.hooks, true, 1, bytes[i]);
                }
                OVT_FUZZ_CHECK(h.inPacket == packet);
                OVT_FUZZ_CHECK(!packet || (h.status == h.model.p[TOUCH_STATUS_AT] && h.rawX == TOUCH_RAW_X(h.model.p) &&
                                           h.rawY == TOUCH_RAW_Y(h.model.p)));
                CheckPacket(&h);
                OVT_FUZZ_CHECK(h.state.Framer.State == h.model.state);
            }
        } else if (op == 4) {
            Counting none;
            TouchOnReadCompleted(&h.state, &h.hooks, false, 0, c.Byte());
            h.model.state = 0;
            OVT_FUZZ_CHECK(h.state.Framer.State == 0);
        } else if (op == 5) {
            const uint8_t before = h.state.Framer.State;
            Counting none;
            TouchOnReadCompleted(&h.state, &h.hooks, true, 0, c.Byte());
            OVT_FUZZ_CHECK(h.state.Framer.State == before);
        } else if (op == 6) {
            Request(&h, &c);
        } else {
            h.connected = !h.connected;
        }
        OVT_FUZZ_CHECK(h.state.Framer.State <= 9);
        OVT_FUZZ_CHECK(IsCaptureState(h.state.Capture.State));
        CheckSettings(h.state.Settings);
    }
    return 0;
}
