// The driver's working settings and how they are loaded from the
// Parameters key. Platform-free: the kernel binding supplies the reader.
#ifndef OVTOUCH_DRIVER_TOUCH_SETTINGS_H
#define OVTOUCH_DRIVER_TOUCH_SETTINGS_H

#include "../../common/ovtouch.h"
#include "../../common/ovtouch_values.h"

namespace ovt {

// Field order is part of the contract. The calibration block is the
// program's CalibrationRecord, stored in one piece by
// IOCTL_TOUCH_SET_CALIBRATION, with the spans after it; the beep block is
// BeepSettings.
struct DriverSettings {
    uint32_t Port;
    CalibrationRecord Calibration;
    uint32_t XSpan;
    uint32_t YSpan;
    uint32_t BeepMode;
    uint32_t BeepFreq;
    uint32_t BeepTime;
    uint32_t BeepFreq2;
    uint32_t BeepTime2;
    uint32_t ButtonMode;
    uint32_t MouseMode;
};

static_assert(sizeof(DriverSettings) == 64, "DriverSettings is 16 words");
static_assert(offsetof(DriverSettings, Calibration) == 4, "calibration block");
static_assert(offsetof(DriverSettings, XSpan) == 28, "XSpan follows the offsets");
static_assert(offsetof(DriverSettings, BeepMode) == 36, "beep block");
static_assert(offsetof(DriverSettings, ButtonMode) == 56, "modes");

// A word of DriverSettings by its offset, which names calibration fields
// too: OVT_SETTINGS_WORD(Calibration.XLow).
#define OVT_SETTINGS_WORD(field) static_cast<uint32_t>(offsetof(::ovt::DriverSettings, field))
inline uint32_t& SettingsWord(DriverSettings* s, uint32_t word) {
    return *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s) + word);
}
inline uint32_t SettingsWord(const DriverSettings& s, uint32_t word) {
    return *reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(&s) + word);
}

// One row of the driver's query, in query order.
struct ParameterDef {
    const char* Name;  // ASCII value name
    uint32_t Field;    // OVT_SETTINGS_WORD
    uint32_t Default;
    // What setup stores (common/ovtouch_values.h): its correction at a load
    // is stated behaviour, not news for the event log. Setup stores no span.
    uint32_t Installed;
};

extern const ParameterDef kParameterTable[OVT_PARAMETER_COUNT];

// Reads one REG_DWORD value. Returns OVT_STATUS_SUCCESS with *value set,
// OVT_STATUS_OBJECT_NAME_NOT_FOUND when the value (or the key) is absent or
// is not a 4-byte REG_DWORD (the default stays), or any other status, which
// ends the query and is handed back by LoadParameters.
typedef int32_t (*ParameterReader)(void* context, const char* name, uint32_t* value);

// Defaults, one value at a time through the reader, then the corrections.
// On a failed read the remaining values keep their defaults; the
// corrections run all the same.
int32_t LoadParameters(DriverSettings* settings, ParameterReader reader, void* context);

void ApplyParameterDefaults(DriverSettings* settings);
// Cut the bounds to 16 bits, recompute the spans, correct the ranges.
void CorrectLoadedParameters(DriverSettings* settings);
// XSpan = XHigh - XLow (2048 when equal), and YSpan likewise.
void RecomputeSpans(DriverSettings* settings);

}  // namespace ovt

#endif
