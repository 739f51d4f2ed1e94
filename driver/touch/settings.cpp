#include "settings.h"

namespace ovt {

const ParameterDef kParameterTable[OVT_PARAMETER_COUNT] = {
    {OVT_VALUE_PORT, &DriverSettings::Port, 1},
    {OVT_VALUE_XLOW, &DriverSettings::XLow, 0},
    {OVT_VALUE_XHIGH, &DriverSettings::XHigh, 2048},
    {OVT_VALUE_XOFFSET, &DriverSettings::XOffset, 0},
    {OVT_VALUE_XPROP, &DriverSettings::XSpan, 2048},
    {OVT_VALUE_YHIGH, &DriverSettings::YHigh, 2048},
    {OVT_VALUE_YLOW, &DriverSettings::YLow, 0},
    {OVT_VALUE_YOFFSET, &DriverSettings::YOffset, 0},
    {OVT_VALUE_YPROP, &DriverSettings::YSpan, 2048},
    {OVT_VALUE_BEEPFREQ, &DriverSettings::BeepFreq, 2000},
    {OVT_VALUE_BEEPTIME, &DriverSettings::BeepTime, 40},
    {OVT_VALUE_BEEPFREQ2, &DriverSettings::BeepFreq2, 2000},
    {OVT_VALUE_BEEPTIME2, &DriverSettings::BeepTime2, 40},
    {OVT_VALUE_BUTTONMODE, &DriverSettings::ButtonMode, 0},
    {OVT_VALUE_MOUSEMODE, &DriverSettings::MouseMode, 0},
    {OVT_VALUE_BEEPMODE, &DriverSettings::BeepMode, 2},
};

void ApplyParameterDefaults(DriverSettings* settings) {
    for (const ParameterDef& def : kParameterTable) settings->*def.Field = def.Default;
}

void RecomputeSpans(DriverSettings* s) {
    s->XSpan = (s->XHigh == s->XLow) ? 2048u : s->XHigh - s->XLow;
    s->YSpan = (s->YHigh == s->YLow) ? 2048u : s->YHigh - s->YLow;
}

uint32_t CorrectBeepFreq(uint32_t freq) {
    return (freq < 1000u || freq > 5000u) ? 2000u : freq;
}

uint32_t CorrectRequestedBeepTime(uint32_t ms) {
    return (ms < 32u || ms > 750u) ? 32u : ms;
}

void CorrectLoadedParameters(DriverSettings* s) {
    s->XLow &= 0xFFFFu;
    s->XHigh &= 0xFFFFu;
    s->YLow &= 0xFFFFu;
    s->YHigh &= 0xFFFFu;
    RecomputeSpans(s);
    s->BeepFreq = CorrectBeepFreq(s->BeepFreq);
    if (s->BeepTime < 32u || s->BeepTime > 750u) s->BeepTime = 40u;
    if (s->ButtonMode != 1u) s->ButtonMode = 0u;
    if (s->MouseMode > 3u) s->MouseMode = 2u;
    if (s->BeepMode > 2u) s->BeepMode = 2u;
}

int32_t LoadParameters(DriverSettings* settings, ParameterReader reader, void* context) {
    ApplyParameterDefaults(settings);
    int32_t status = OVT_STATUS_SUCCESS;
    for (const ParameterDef& def : kParameterTable) {
        uint32_t value = 0;
        const int32_t rc = reader ? reader(context, def.Name, &value) : OVT_STATUS_OBJECT_NAME_NOT_FOUND;
        if (rc == OVT_STATUS_SUCCESS) {
            settings->*def.Field = value;
        } else if (rc != OVT_STATUS_OBJECT_NAME_NOT_FOUND) {
            status = rc;
            break;
        }
    }
    CorrectLoadedParameters(settings);
    return status;
}

}  // namespace ovt
