#include "touch.h"

namespace ovt {

uint32_t MapAxis(uint32_t raw, uint32_t low, uint32_t high, uint32_t span) {
    if (low < raw && raw < high) {
        // A span can only be 0 if a caller broke the settings invariant;
        // map as the load would have corrected it rather than trap.
        if (span == 0) span = OVT_SPAN_DEFAULT;
        // raw - low < 65536 here, so the product stays below 2^32.
        return ((raw - low) * 65535u) / span;
    }
    return raw <= low ? 1u : 0xFFF0u;
}

uint8_t TouchChecksum(const uint8_t packet[TOUCH_PACKET_SIZE]) {
    uint32_t sum = TOUCH_SUM_SEED;
    for (int i = TOUCH_SUM_FIRST; i <= TOUCH_SUM_LAST; ++i) sum += packet[i];
    return static_cast<uint8_t>(sum);
}

void TouchArmCapture(TouchState* state) { state->Capture.State = CAPTURE_ARMED; }

namespace {

// The right button's flags are the left's two places up.
static_assert(OVT_MOUSE_RIGHT_BUTTON_DOWN == OVT_MOUSE_LEFT_BUTTON_DOWN << 2, "right down");
static_assert(OVT_MOUSE_RIGHT_BUTTON_UP == OVT_MOUSE_LEFT_BUTTON_UP << 2, "right up");

inline uint32_t ButtonShift(const DriverSettings& s) { return s.ButtonMode == OVT_BUTTONMODE_RIGHT ? 2u : 0u; }

// The flag a status stands for: down, up, or none for a move.
inline uint16_t StatusButtonFlag(uint8_t status, uint32_t shift) {
    const uint32_t left = status == TOUCH_DOWN ? OVT_MOUSE_LEFT_BUTTON_DOWN
                          : status == TOUCH_UP ? OVT_MOUSE_LEFT_BUTTON_UP
                                               : 0u;
    return static_cast<uint16_t>(left << shift);
}

// Reports are on and the mouse class is connected.
inline bool CanDeliver(const TouchState* state, const TouchHooks* hooks) {
    return __atomic_load_n(&state->ReportEnableCount, __ATOMIC_RELAXED) != 0 && hooks->SinkConnected &&
           hooks->SinkConnected(hooks->Context);
}

void DeliverOne(TouchState* state, const TouchHooks* hooks, uint32_t flags) {
    state->Mouse.ButtonFlags = static_cast<uint16_t>(flags);
    hooks->Deliver(hooks->Context, &state->Mouse);
}

// A touch-down or a lift-off, once the record holds the position.
void ReportDownOrUp(TouchState* state, const TouchHooks* hooks, uint8_t status) {
    const DriverSettings& s = state->Settings;
    MouseRecord& m = state->Mouse;
    CaptureRecord& c = state->Capture;
    m.ButtonFlags = StatusButtonFlag(status, ButtonShift(s));
    if ((status == TOUCH_DOWN && c.State == CAPTURE_ARMED) || (status == TOUCH_UP && c.State == CAPTURE_TOUCHED)) {
        c.State = status == TOUCH_DOWN ? CAPTURE_TOUCHED : CAPTURE_DONE;
        if (hooks->OnCaptureChange) hooks->OnCaptureChange(hooks->Context, &c);
    }
    if (!CanDeliver(state, hooks)) return;

    // Mode 0 clicks at touch-down and mode 1 at lift-off (the other status
    // moves); any other mode sends the status's own flag.
    if (hooks->DeliverBegin) hooks->DeliverBegin(hooks->Context);
    const uint32_t mode = s.MouseMode;
    if (mode > OVT_MOUSEMODE_CLICK_AT_LIFT) {
        hooks->Deliver(hooks->Context, &m);
    } else if (status == (mode == OVT_MOUSEMODE_CLICK_AT_DOWN ? TOUCH_DOWN : TOUCH_UP)) {
        const uint32_t shift = ButtonShift(s);
        DeliverOne(state, hooks, OVT_MOUSE_LEFT_BUTTON_DOWN << shift);
        DeliverOne(state, hooks, OVT_MOUSE_LEFT_BUTTON_UP << shift);
    } else {
        DeliverOne(state, hooks, 0);
    }
    if (hooks->DeliverEnd) hooks->DeliverEnd(hooks->Context);

    const uint32_t beepMode = s.BeepMode;
    if ((beepMode == OVT_BEEPMODE_AT_DOWN && status == TOUCH_DOWN) ||
        (beepMode == OVT_BEEPMODE_AT_LIFT && status == TOUCH_UP)) {
        if (hooks->Beep) hooks->Beep(hooks->Context, s.BeepFreq, s.BeepTime);
    }
}

// The record and the capture's position; a move is delivered here, any other
// status goes on to ReportDownOrUp. Forced inline: left to the compiler it
// stays out of line and a packet costs 3% more (359 instructions against
// 347, scripts/bench.sh).
__attribute__((always_inline)) inline void ReportPacket(TouchState* state, const TouchHooks* hooks,
                                                        uint8_t status, uint32_t rawX, uint32_t rawY) {
    const DriverSettings& s = state->Settings;
    MouseRecord& m = state->Mouse;
    m.UnitId = 0;
    m.Flags = OVT_MOUSE_MOVE_ABSOLUTE;
    m.ButtonFlags = 0;
    m.ButtonData = 0;
    m.RawButtons = 0;
    m.LastX = static_cast<int32_t>(MapAxis(rawX, s.Calibration.XLow, s.Calibration.XHigh, s.XSpan));
    m.LastY = static_cast<int32_t>(MapAxis(rawY, s.Calibration.YLow, s.Calibration.YHigh, s.YSpan));
    m.ExtraInformation = 0;
    CaptureRecord& c = state->Capture;
    c.RawY = rawY;
    c.RawX = rawX;
    if (status != TOUCH_MOVE) {
        ReportDownOrUp(state, hooks, status);
        return;
    }
    // Most packets are moves: no button, no capture step, no beep, one
    // record in every mouse mode.
    if (!CanDeliver(state, hooks)) return;
    if (hooks->DeliverBegin) hooks->DeliverBegin(hooks->Context);
    hooks->Deliver(hooks->Context, &m);
    if (hooks->DeliverEnd) hooks->DeliverEnd(hooks->Context);
}

// The packet under the settings lock, so that it is mapped, buttoned and
// beeped with one whole set. Out of line: without a lock a packet pays only
// the test for one (347 instructions against 358 inlined, scripts/bench.sh);
// a locked packet pays 10 more for the call (387 against 377).
__attribute__((noinline)) void ReportPacketLocked(TouchState* state, const TouchHooks* hooks, uint8_t status,
                                                  uint32_t rawX, uint32_t rawY) {
    const SettingsLock* lock = state->Lock;
    const uint32_t token = lock->Acquire(lock->Context);
    ReportPacket(state, hooks, status, rawX, rawY);
    lock->Release(lock->Context, token);
}

// The tenth byte.
void PacketEnd(TouchState* state, const TouchHooks* hooks, uint8_t byte) {
    PacketFramer& f = state->Framer;
    f.State = 0;
    if (f.Sum != byte) {
        if (hooks->OnChecksumDrop) hooks->OnChecksumDrop(hooks->Context);
        return;
    }
    if (hooks->OnPacket) {
        hooks->OnPacket(hooks->Context, f.Bytes[TOUCH_STATUS_AT], TOUCH_RAW_X(f.Bytes), TOUCH_RAW_Y(f.Bytes));
    }
    if (state->Lock) {
        ReportPacketLocked(state, hooks, f.Bytes[TOUCH_STATUS_AT], TOUCH_RAW_X(f.Bytes), TOUCH_RAW_Y(f.Bytes));
        return;
    }
    ReportPacket(state, hooks, f.Bytes[TOUCH_STATUS_AT], TOUCH_RAW_X(f.Bytes), TOUCH_RAW_Y(f.Bytes));
}

// A byte in a packet's middle or noise between packets takes a few
// instructions; only the tenth byte leaves this path.
inline void FrameByte(TouchState* state, const TouchHooks* hooks, uint8_t byte) {
    PacketFramer& f = state->Framer;
    const uint8_t i = f.State;
    if (static_cast<uint8_t>(i - TOUCH_X_AT) <= TOUCH_SUM_LAST - TOUCH_X_AT) {
        f.Bytes[i] = byte;
        f.Sum = static_cast<uint8_t>(f.Sum + byte);
        f.State = static_cast<uint8_t>(i + 1);
    } else if (i == 0) {
        f.State = byte == TOUCH_HEADER_0 ? 1 : 0;
    } else if (i == 1) {
        f.State = byte == TOUCH_HEADER_1 ? 2 : 0;
    } else if (i == TOUCH_STATUS_AT) {
        f.Bytes[TOUCH_STATUS_AT] = byte;
        f.Sum = static_cast<uint8_t>(TOUCH_SUM_SEED + byte);
        f.State = (byte == TOUCH_DOWN || byte == TOUCH_MOVE || byte == TOUCH_UP) ? 3 : 0;
    } else if (i == TOUCH_SUM_AT) {
        PacketEnd(state, hooks, byte);
    } else {  // cannot happen; never index past the packet
        f.State = 0;
    }
}

}  // namespace

void TouchFeedByte(TouchState* state, const TouchHooks* hooks, uint8_t byte) { FrameByte(state, hooks, byte); }

void TouchOnReadCompleted(TouchState* state, const TouchHooks* hooks, bool success,
                      uint32_t transferred, uint8_t byte) {
    if (!success) {
        state->Framer.State = 0;
        return;
    }
    if (transferred != 0) FrameByte(state, hooks, byte);
}

}  // namespace ovt
