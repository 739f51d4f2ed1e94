#include "settings.h"

namespace ovt {

// XOffset, YOffset, BeepFreq2, BeepTime2 and the stored spans steer
// nothing: the offsets and the second beep are held for no one, the spans
// are recomputed from the bounds. They stay in the query because installed
// keys carry them and the load has always read all sixteen: a value that
// cannot be read fails the load like any other, and dropping a row would
// change that. They are not corrected, so they never reach the event log;
// nothing else depends on reading them.
const ParameterDef kParameterTable[OVT_PARAMETER_COUNT] = {
    {OVT_VALUE_PORT, OVT_SETTINGS_WORD(Port), OVT_PORT_DEFAULT, OVT_INSTALL_PORT},
    {OVT_VALUE_XLOW, OVT_SETTINGS_WORD(Calibration.XLow), OVT_BOUND_DEFAULT_LOW, OVT_INSTALL_BOUND_LOW},
    {OVT_VALUE_XHIGH, OVT_SETTINGS_WORD(Calibration.XHigh), OVT_BOUND_DEFAULT_HIGH, OVT_BOUND_DEFAULT_HIGH},
    {OVT_VALUE_XOFFSET, OVT_SETTINGS_WORD(Calibration.XOffset), OVT_OFFSET_DEFAULT, OVT_INSTALL_OFFSET},
    {OVT_VALUE_XPROP, OVT_SETTINGS_WORD(XSpan), OVT_SPAN_DEFAULT, OVT_SPAN_DEFAULT},
    {OVT_VALUE_YHIGH, OVT_SETTINGS_WORD(Calibration.YHigh), OVT_BOUND_DEFAULT_HIGH, OVT_BOUND_DEFAULT_HIGH},
    {OVT_VALUE_YLOW, OVT_SETTINGS_WORD(Calibration.YLow), OVT_BOUND_DEFAULT_LOW, OVT_INSTALL_BOUND_LOW},
    {OVT_VALUE_YOFFSET, OVT_SETTINGS_WORD(Calibration.YOffset), OVT_OFFSET_DEFAULT, OVT_INSTALL_OFFSET},
    {OVT_VALUE_YPROP, OVT_SETTINGS_WORD(YSpan), OVT_SPAN_DEFAULT, OVT_SPAN_DEFAULT},
    {OVT_VALUE_BEEPFREQ, OVT_SETTINGS_WORD(BeepFreq), OVT_BEEPFREQ_DEFAULT, OVT_BEEPFREQ_DEFAULT},
    {OVT_VALUE_BEEPTIME, OVT_SETTINGS_WORD(BeepTime), OVT_BEEPTIME_DEFAULT, OVT_INSTALL_BEEPTIME},
    {OVT_VALUE_BEEPFREQ2, OVT_SETTINGS_WORD(BeepFreq2), OVT_BEEPFREQ_DEFAULT, OVT_BEEPFREQ_DEFAULT},
    {OVT_VALUE_BEEPTIME2, OVT_SETTINGS_WORD(BeepTime2), OVT_BEEPTIME_DEFAULT, OVT_INSTALL_BEEPTIME},
    {OVT_VALUE_BUTTONMODE, OVT_SETTINGS_WORD(ButtonMode), OVT_BUTTONMODE_DEFAULT, OVT_INSTALL_BUTTONMODE},
    {OVT_VALUE_MOUSEMODE, OVT_SETTINGS_WORD(MouseMode), OVT_MOUSEMODE_DEFAULT, OVT_INSTALL_MOUSEMODE},
    {OVT_VALUE_BEEPMODE, OVT_SETTINGS_WORD(BeepMode), OVT_BEEPMODE_DEFAULT, OVT_INSTALL_BEEPMODE},
};

void ApplyParameterDefaults(DriverSettings* settings) {
    for (const ParameterDef& def : kParameterTable) SettingsWord(settings, def.Field) = def.Default;
}

void RecomputeSpans(DriverSettings* s) {
    const CalibrationRecord& c = s->Calibration;
    s->XSpan = OvtSpan(c.XLow, c.XHigh);
    s->YSpan = OvtSpan(c.YLow, c.YHigh);
}

void CorrectLoadedParameters(DriverSettings* s) {
    CalibrationRecord& c = s->Calibration;
    c.XLow &= OVT_BOUND_MASK;
    c.XHigh &= OVT_BOUND_MASK;
    c.YLow &= OVT_BOUND_MASK;
    c.YHigh &= OVT_BOUND_MASK;
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
            SettingsWord(settings, def.Field) = value;
        } else if (rc != OVT_STATUS_OBJECT_NAME_NOT_FOUND) {
            status = rc;
            break;
        }
    }
    CorrectLoadedParameters(settings);
    return status;
}

}  // namespace ovt
