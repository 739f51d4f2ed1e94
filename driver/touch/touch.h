// Touch report processing: the controller's byte stream in, mouse records,
// beep requests and the capture record out. No OS headers, no allocation;
// the kernel binding and the host tools run exactly this code.
#ifndef OVTOUCH_DRIVER_TOUCH_TOUCH_H
#define OVTOUCH_DRIVER_TOUCH_TOUCH_H

#include "settings.h"

namespace ovt {

// The platform's MOUSE_INPUT_DATA, field for field.
struct MouseRecord {
    uint16_t UnitId;
    uint16_t Flags;
    uint16_t ButtonFlags;
    uint16_t ButtonData;
    uint32_t RawButtons;
    int32_t LastX;
    int32_t LastY;
    uint32_t ExtraInformation;
};
static_assert(sizeof(MouseRecord) == 24, "MOUSE_INPUT_DATA is 24 bytes");
static_assert(offsetof(MouseRecord, ButtonFlags) == 4, "ButtonFlags at 4");
static_assert(offsetof(MouseRecord, LastX) == 12, "LastX at 12");
static_assert(offsetof(MouseRecord, ExtraInformation) == 20, "ExtraInformation at 20");

struct PacketFramer {
    uint8_t State;                     // 0..9: index of the byte expected next
    uint8_t Sum;                       // 0x53 plus bytes 2 to State - 1
    uint8_t Bytes[TOUCH_PACKET_SIZE];  // bytes 2 to 8 at their offsets
};

// What the processing hands out. Sink calls come in Begin / Deliver... / End
// groups, one group per packet that delivers. Observer hooks may be null.
struct TouchHooks {
    void* Context;
    // True while a mouse class is connected.
    bool (*SinkConnected)(void* context);
    void (*DeliverBegin)(void* context);
    void (*Deliver)(void* context, const MouseRecord* record);
    void (*DeliverEnd)(void* context);
    void (*Beep)(void* context, uint32_t freq, uint32_t ms);
    // Observers, for the host tools.
    void (*OnPacket)(void* context, uint8_t status, uint32_t rawX, uint32_t rawY);
    void (*OnCaptureChange)(void* context, const CaptureRecord* capture);
    void (*OnChecksumDrop)(void* context);
};

// Keeps DriverSettings whole between the packet processing and the requests
// that change them, which may run on another processor: a packet uses one
// set throughout, a request publishes a complete one. Acquire's result is
// handed to Release (the kernel's previous IRQL).
struct SettingsLock {
    void* Context;
    uint32_t (*Acquire)(void* context);
    void (*Release)(void* context, uint32_t token);
};

struct TouchState {
    DriverSettings Settings;
    PacketFramer Framer;
    MouseRecord Mouse;
    CaptureRecord Capture;
    uint32_t ReportEnableCount;  // changed only atomically
    const SettingsLock* Lock;    // null where one thread does everything
};

uint32_t MapAxis(uint32_t raw, uint32_t low, uint32_t high, uint32_t span);

// One completed one-byte serial read.
void TouchOnReadCompleted(TouchState* state, const TouchHooks* hooks, bool success,
                      uint32_t transferred, uint8_t byte);
// One received byte through the framer.
void TouchFeedByte(TouchState* state, const TouchHooks* hooks, uint8_t byte);
void TouchArmCapture(TouchState* state);

uint8_t TouchChecksum(const uint8_t packet[TOUCH_PACKET_SIZE]);

}  // namespace ovt

#endif
