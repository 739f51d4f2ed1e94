#include "settings.h"

namespace ovt {

const ParameterDef kParameterTable[OVT_PARAMETER_COUNT] = {
    {OVT_VALUE_PORT, &DriverSettings::Port, OVT_PORT_DEFAULT},
    {OVT_VALUE_XLOW, &DriverSettings::XLow, OVT_BOUND_DEFAULT_LOW},
    {OVT_VALUE_XHIGH, &DriverSettings::XHigh, OVT_BOUND_DEFAULT_HIGH},
    {OVT_VALUE_XOFFSET, &DriverSettings::XOffset, OVT_OFFSET_DEFAULT},
    {OVT_VALUE_XPROP, &DriverSettings::XSpan, OVT_SPAN_DEFAULT},
    {OVT_VALUE_YHIGH, &DriverSettings::YHigh, OVT_BOUND_DEFAULT_HIGH},
    {OVT_VALUE_YLOW, &DriverSettings::YLow, OVT_BOUND_DEFAULT_LOW},
    {OVT_VALUE_YOFFSET, &DriverSettings::YOffset, OVT_OFFSET_DEFAULT},
    {OVT_VALUE_YPROP, &DriverSettings::YSpan, OVT_SPAN_DEFAULT},
    {OVT_VALUE_BEEPFREQ, &DriverSettings::BeepFreq, OVT_BEEPFREQ_DEFAULT},
    {OVT_VALUE_BEEPTIME, &DriverSettings::BeepTime, OVT_BEEPTIME_DEFAULT},
    {OVT_VALUE_BEEPFREQ2, &DriverSettings::BeepFreq2, OVT_BEEPFREQ_DEFAULT},
    {OVT_VALUE_BEEPTIME2, &DriverSettings::BeepTime2, OVT_BEEPTIME_DEFAULT},
    {OVT_VALUE_BUTTONMODE, &DriverSettings::ButtonMode, OVT_BUTTONMODE_DEFAULT},
    {OVT_VALUE_MOUSEMODE, &DriverSettings::MouseMode, OVT_MOUSEMODE_DEFAULT},
    {OVT_VALUE_BEEPMODE, &DriverSettings::BeepMode, OVT_BEEPMODE_DEFAULT},
};

void ApplyParameterDefaults(DriverSettings* settings) {
    for (const ParameterDef& def : kParameterTable) settings->*def.Field = def.Default;
}

void RecomputeSpans(DriverSettings* s) {
    s->XSpan = OvtSpan(s->XLow, s->XHigh);
    s->YSpan = OvtSpan(s->YLow, s->YHigh);
}

void CorrectLoadedParameters(DriverSettings* s) {
    s->XLow &= OVT_BOUND_MASK;
    s->XHigh &= OVT_BOUND_MASK;
    s->YLow &= OVT_BOUND_MASK;
    s->YHigh &= OVT_BOUND_MASK;
    RecomputeSpans(s);
    s->BeepFreq = OvtCorrectBeepFreq(s->BeepFreq);
    s->BeepTime = OvtCorrectBeepTime(s->BeepTime, OVT_BEEPTIME_LOAD_FALLBACK);
    s->ButtonMode = OvtCorrectButtonMode(s->ButtonMode);
    s->MouseMode = OvtCorrectMouseMode(s->MouseMode, OVT_MOUSEMODE_DRIVER_FALLBACK);
    s->BeepMode = OvtCorrectBeepMode(s->BeepMode);
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
