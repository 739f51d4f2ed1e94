#include "control.h"

namespace ovt {

namespace {

// Records go through memcpy-like byte copies: the system buffer carries no
// alignment promise and the output may alias the input.
void CopyBytes(void* dst, const void* src, uint32_t n) {
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
}

uint32_t ReadWord(const void* in, uint32_t index) {
    uint32_t v;
    CopyBytes(&v, static_cast<const uint8_t*>(in) + static_cast<size_t>(index) * 4u, 4);
    return v;
}

}  // namespace

ControlResult DispatchControl(TouchState* state, const ControlEnv* env, uint32_t code,
                              const void* in, uint32_t inLength, void* out, uint32_t outLength) {
    DriverSettings& s = state->Settings;
    uint32_t words[3];
    const void* record = nullptr;
    uint32_t recordSize = 0;
    uint32_t needIn = 0;
    int32_t status = OVT_STATUS_SUCCESS;

    switch (code) {
    case IOCTL_TOUCH_GET_BUTTON_MODE:
        words[0] = s.ButtonMode;
        record = words;
        recordSize = 4;
        break;
    case IOCTL_TOUCH_GET_MOUSE_MODE:
        words[0] = s.MouseMode;
        record = words;
        recordSize = 4;
        break;
    case IOCTL_TOUCH_GET_CAPTURE:
        record = &state->Capture;
        recordSize = OVT_SIZEOF_CAPTURE_RECORD;
        break;
    case IOCTL_TOUCH_GET_LAST_REPORT:
        words[0] = state->Mouse.ButtonFlags;
        words[1] = static_cast<uint32_t>(state->Mouse.LastX);
        words[2] = static_cast<uint32_t>(state->Mouse.LastY);
        record = words;
        recordSize = OVT_SIZEOF_LAST_REPORT;
        break;
    case IOCTL_TOUCH_GET_BEEP:
        words[0] = s.BeepMode;
        words[1] = s.BeepFreq;
        words[2] = s.BeepTime;
        record = words;
        recordSize = OVT_SIZEOF_BEEP_SETTINGS;
        break;
    case IOCTL_TOUCH_ARM_CAPTURE:
        TouchArmCapture(state);
        break;
    case IOCTL_TOUCH_ENABLE_REPORTS:
        ++state->ReportEnableCount;
        break;
    case IOCTL_TOUCH_DISABLE_REPORTS:
        if (state->ReportEnableCount != 0) --state->ReportEnableCount;
        break;
    case IOCTL_TOUCH_RELOAD_PARAMETERS:
        if (env && env->Reload) env->Reload(env->Context, &s);
        break;
    case IOCTL_TOUCH_TEST_BEEP:
        if (env && env->Beep) env->Beep(env->Context, s.BeepFreq, s.BeepTime);
        break;
    case IOCTL_TOUCH_SET_CALIBRATION:
        needIn = OVT_SIZEOF_CALIBRATION_RECORD;
        break;
    case IOCTL_TOUCH_SET_BUTTON_MODE:
    case IOCTL_TOUCH_SET_MOUSE_MODE:
        needIn = 4;
        break;
    case IOCTL_TOUCH_SET_BEEP:
        needIn = OVT_SIZEOF_BEEP_SETTINGS;
        break;
    case IOCTL_TOUCH_RESERVED_910:
    case IOCTL_TOUCH_RESERVED_920:
    case IOCTL_TOUCH_RESERVED_998:
    case IOCTL_TOUCH_RESERVED_99F:
        status = OVT_STATUS_NOT_IMPLEMENTED;
        break;
    default:
        status = OVT_STATUS_INVALID_DEVICE_REQUEST;
        break;
    }

    if (needIn != 0) {
        if (in == nullptr || inLength < needIn) {
            status = OVT_STATUS_INVALID_PARAMETER;
        } else if (code == IOCTL_TOUCH_SET_CALIBRATION) {
            // Full 32-bit words, unlike a registry load.
            s.XLow = ReadWord(in, 0);
            s.YLow = ReadWord(in, 1);
            s.XHigh = ReadWord(in, 2);
            s.YHigh = ReadWord(in, 3);
            s.XOffset = ReadWord(in, 4);
            s.YOffset = ReadWord(in, 5);
            RecomputeSpans(&s);
        } else if (code == IOCTL_TOUCH_SET_BUTTON_MODE) {
            s.ButtonMode = ReadWord(in, 0) == 1u ? 1u : 0u;
        } else if (code == IOCTL_TOUCH_SET_MOUSE_MODE) {
            s.MouseMode = ReadWord(in, 0);
        } else {
            const uint32_t mode = ReadWord(in, 0);
            const uint32_t freq = ReadWord(in, 1);
            const uint32_t ms = ReadWord(in, 2);
            s.BeepMode = mode;
            s.BeepFreq = CorrectBeepFreq(freq);
            s.BeepTime = CorrectRequestedBeepTime(ms);
        }
    }

    ControlResult result = {status, 0};
    if (status == OVT_STATUS_SUCCESS && recordSize != 0) {
        if (out == nullptr || outLength < recordSize) {
            result.Status = OVT_STATUS_BUFFER_TOO_SMALL;
        } else {
            CopyBytes(out, record, recordSize);
            result.Information = recordSize;
        }
    }
    return result;
}

ControlResult DispatchFileRequest(FileRequest request) {
    ControlResult r = {OVT_STATUS_SUCCESS, 0};
    if (request != FileRequest::Create && request != FileRequest::Close) {
        r.Status = OVT_STATUS_NOT_IMPLEMENTED;
    }
    return r;
}

}  // namespace ovt
