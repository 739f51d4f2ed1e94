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
    uint32_t sum = 0x53;
    for (int i = 2; i <= 8; ++i) sum += packet[i];
    return static_cast<uint8_t>(sum);
}

void TouchArmCapture(TouchState* state) { state->Capture.State = CAPTURE_ARMED; }

namespace {

void DeliverOne(TouchState* state, const TouchHooks* hooks, uint16_t flags) {
    state->Mouse.ButtonFlags = flags;
    hooks->Deliver(hooks->Context, &state->Mouse);
}

}  // namespace

void TouchProcessPacket(TouchState* state, const TouchHooks* hooks, uint8_t status,
                        uint32_t rawX, uint32_t rawY) {
    const DriverSettings& s = state->Settings;
    const bool right = s.ButtonMode == 1u;
    const uint16_t downFlag = right ? OVT_MOUSE_RIGHT_BUTTON_DOWN : OVT_MOUSE_LEFT_BUTTON_DOWN;
    const uint16_t upFlag = right ? OVT_MOUSE_RIGHT_BUTTON_UP : OVT_MOUSE_LEFT_BUTTON_UP;
    const uint16_t tableFlag = status == TOUCH_DOWN ? downFlag : status == TOUCH_UP ? upFlag : 0;

    MouseRecord& m = state->Mouse;
    m.UnitId = 0;
    m.Flags = OVT_MOUSE_MOVE_ABSOLUTE;
    m.ButtonFlags = tableFlag;
    m.ButtonData = 0;
    m.RawButtons = 0;
    m.LastX = static_cast<int32_t>(MapAxis(rawX, s.XLow, s.XHigh, s.XSpan));
    m.LastY = static_cast<int32_t>(MapAxis(rawY, s.YLow, s.YHigh, s.YSpan));
    m.ExtraInformation = 0;

    CaptureRecord& c = state->Capture;
    const uint32_t before = c.State;
    if (status == TOUCH_DOWN && c.State == CAPTURE_ARMED) {
        c.State = CAPTURE_TOUCHED;
    } else if (status == TOUCH_UP && c.State == CAPTURE_TOUCHED) {
        c.State = CAPTURE_DONE;
    }
    c.RawY = rawY;
    c.RawX = rawX;
    if (c.State != before && hooks->OnCaptureChange) hooks->OnCaptureChange(hooks->Context, &c);

    if (state->ReportEnableCount == 0 || !hooks->SinkConnected || !hooks->SinkConnected(hooks->Context)) {
        return;
    }

    enum { Move, Click, Table } action;
    const uint32_t mode = s.MouseMode;
    if (status == TOUCH_MOVE) {
        action = Move;
    } else if (mode == 0) {
        action = status == TOUCH_DOWN ? Click : Move;
    } else if (mode == 1) {
        action = status == TOUCH_UP ? Click : Move;
    } else {
        action = Table;
    }

    if (hooks->DeliverBegin) hooks->DeliverBegin(hooks->Context);
    switch (action) {
    case Move:
        DeliverOne(state, hooks, 0);
        break;
    case Click:
        DeliverOne(state, hooks, downFlag);
        DeliverOne(state, hooks, upFlag);
        break;
    case Table:
        DeliverOne(state, hooks, tableFlag);
        break;
    }
    if (hooks->DeliverEnd) hooks->DeliverEnd(hooks->Context);

    const uint32_t beepMode = s.BeepMode;
    if ((beepMode == 1u && status == TOUCH_DOWN) || (beepMode == 2u && status == TOUCH_UP)) {
        if (hooks->Beep) hooks->Beep(hooks->Context, s.BeepFreq, s.BeepTime);
    }
}

void TouchFeedByte(TouchState* state, const TouchHooks* hooks, uint8_t byte) {
    PacketFramer& f = state->Framer;
    switch (f.State) {
    case 0:
        if (byte == TOUCH_HEADER_0) f.State = 1;
        return;
    case 1:
        f.State = byte == TOUCH_HEADER_1 ? 2 : 0;
        return;
    case 2:
        if (byte == TOUCH_DOWN || byte == TOUCH_MOVE || byte == TOUCH_UP) {
            f.Status = byte;
            f.State = 3;
        } else {
            f.State = 0;
        }
        return;
    case 9: {
        f.State = 0;
        uint32_t sum = 0x53u + f.Status;
        for (uint8_t b : f.Body) sum += b;
        if (static_cast<uint8_t>(sum) != byte) {
            if (hooks->OnChecksumDrop) hooks->OnChecksumDrop(hooks->Context);
            return;
        }
        const uint32_t rawX = f.Body[0] + 256u * f.Body[1];
        const uint32_t rawY = f.Body[2] + 256u * f.Body[3];
        if (hooks->OnPacket) hooks->OnPacket(hooks->Context, f.Status, rawX, rawY);
        TouchProcessPacket(state, hooks, f.Status, rawX, rawY);
        return;
    }
    default:
        if (f.State > 9) {  // cannot happen; never index out of Body
            f.State = 0;
            return;
        }
        f.Body[f.State - 3] = byte;
        ++f.State;
        return;
    }
}

void TouchReadOutcome(TouchState* state, const TouchHooks* hooks, bool success,
                      uint32_t transferred, uint8_t byte) {
    if (!success) {
        state->Framer.State = 0;
        return;
    }
    if (transferred == 0) return;
    TouchFeedByte(state, hooks, byte);
}

}  // namespace ovt
