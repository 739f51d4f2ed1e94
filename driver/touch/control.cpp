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
    CopyBytes(&v, static_cast<const uint8_t*>(in) + static_cast<size_t>(index) * OVT_SIZEOF_WORD, OVT_SIZEOF_WORD);
    return v;
}

bool Holds(const void* buffer, uint32_t length, uint32_t need) { return buffer != nullptr && length >= need; }

// A query's answer goes out whole or not at all.
int32_t Answer(const void* record, uint32_t size, void* out, uint32_t outLength, uint32_t* information) {
    if (!Holds(out, outLength, size)) return OVT_STATUS_BUFFER_TOO_SMALL;
    CopyBytes(out, record, size);
    *information = size;
    return OVT_STATUS_SUCCESS;
}

// The settings lock for one copy in or out; never held across the registry
// or the speaker.
class Held {
public:
    explicit Held(const TouchState* state) : lock_(state->Lock), token_(lock_ ? lock_->Acquire(lock_->Context) : 0) {}
    ~Held() {
        if (lock_) lock_->Release(lock_->Context, token_);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    const SettingsLock* lock_;
    uint32_t token_;
};

}  // namespace

ControlResult DispatchControl(TouchState* state, const ControlEnv* env, uint32_t code,
                              const void* in, uint32_t inLength, void* out, uint32_t outLength) {
    DriverSettings& s = state->Settings;
    uint32_t words[3] = {};
    int32_t status = OVT_STATUS_SUCCESS;
    uint32_t information = 0;

    switch (code) {
    case IOCTL_TOUCH_GET_BUTTON_MODE:
    case IOCTL_TOUCH_GET_MOUSE_MODE:
        {
            const Held held(state);
            words[0] = code == IOCTL_TOUCH_GET_BUTTON_MODE ? s.ButtonMode : s.MouseMode;
        }
        status = Answer(words, OVT_SIZEOF_WORD, out, outLength, &information);
        break;
    // The packet processing writes both records under the lock, on another
    // processor perhaps: one packet's, whole.
    case IOCTL_TOUCH_GET_CAPTURE: {
        CaptureRecord capture;
        {
            const Held held(state);
            capture = state->Capture;
        }
        status = Answer(&capture, OVT_SIZEOF_CAPTURE_RECORD, out, outLength, &information);
        break;
    }
    case IOCTL_TOUCH_GET_LAST_REPORT:
        {
            const Held held(state);
            words[0] = state->Mouse.ButtonFlags;
            words[1] = static_cast<uint32_t>(state->Mouse.LastX);
            words[2] = static_cast<uint32_t>(state->Mouse.LastY);
        }
        status = Answer(words, OVT_SIZEOF_LAST_REPORT, out, outLength, &information);
        break;
    case IOCTL_TOUCH_GET_BEEP:
        {
            const Held held(state);
            words[0] = s.BeepMode;
            words[1] = s.BeepFreq;
            words[2] = s.BeepTime;
        }
        status = Answer(words, OVT_SIZEOF_BEEP_SETTINGS, out, outLength, &information);
        break;
    case IOCTL_TOUCH_ARM_CAPTURE: {
        // Not between a lift-off's test of the state and its write of DONE.
        const Held held(state);
        TouchArmCapture(state);
        break;
    }
    // Two programs on two processors must not lose a change.
    case IOCTL_TOUCH_ENABLE_REPORTS:
        __atomic_fetch_add(&state->ReportEnableCount, 1u, __ATOMIC_SEQ_CST);
        break;
    case IOCTL_TOUCH_DISABLE_REPORTS: {
        uint32_t count = __atomic_load_n(&state->ReportEnableCount, __ATOMIC_RELAXED);
        while (count != 0 && !__atomic_compare_exchange_n(&state->ReportEnableCount, &count, count - 1, true,
                                                           __ATOMIC_SEQ_CST, __ATOMIC_RELAXED)) {
        }
        break;
    }
    case IOCTL_TOUCH_RELOAD_PARAMETERS:
        if (env && env->Reload) {
            // Built aside, since a packet meanwhile must not see the defaults
            // or half the key, and published whole whenever the load ran,
            // even as the set it replaces: that may be another reload's,
            // published meanwhile from a key changed since. A reload that
            // could not start publishes nothing, so it undoes no request
            // that ran meanwhile.
            DriverSettings fresh;
            if (env->Reload(env->Context, &fresh) != kReloadNotRun) {
                const Held held(state);
                s = fresh;
            }
        }
        break;
    case IOCTL_TOUCH_TEST_BEEP:
        if (env && env->Beep) {
            {
                const Held held(state);
                words[0] = s.BeepFreq;
                words[1] = s.BeepTime;
            }
            env->Beep(env->Context, words[0], words[1]);
        }
        break;
    case IOCTL_TOUCH_SET_CALIBRATION: {
        if (!Holds(in, inLength, OVT_SIZEOF_CALIBRATION_RECORD)) {
            status = OVT_STATUS_INVALID_PARAMETER;
            break;
        }
        // Full 32-bit words, unlike a registry load; bounds and spans change
        // together.
        CalibrationRecord c;
        CopyBytes(&c, in, OVT_SIZEOF_CALIBRATION_RECORD);
        const Held held(state);
        s.Calibration = c;
        RecomputeSpans(&s);
        break;
    }
    case IOCTL_TOUCH_SET_BUTTON_MODE:
    case IOCTL_TOUCH_SET_MOUSE_MODE: {
        if (!Holds(in, inLength, OVT_SIZEOF_WORD)) {
            status = OVT_STATUS_INVALID_PARAMETER;
            break;
        }
        // A mouse mode is taken as given: the button emulation takes anything
        // above 1 as the table.
        const bool button = code == IOCTL_TOUCH_SET_BUTTON_MODE;
        const uint32_t word = ReadWord(in, 0);
        const uint32_t mode = button ? OvtCorrectButtonMode(word) : word;
        const Held held(state);
        (button ? s.ButtonMode : s.MouseMode) = mode;
        break;
    }
    case IOCTL_TOUCH_SET_BEEP: {
        if (!Holds(in, inLength, OVT_SIZEOF_BEEP_SETTINGS)) {
            status = OVT_STATUS_INVALID_PARAMETER;
            break;
        }
        const uint32_t mode = ReadWord(in, 0);  // as given, like MouseMode
        const uint32_t freq = OvtCorrectBeepFreq(ReadWord(in, 1));
        const uint32_t ms = OvtCorrectBeepTime(ReadWord(in, 2), OVT_BEEPTIME_REQUEST_FALLBACK);
        const Held held(state);
        s.BeepMode = mode;
        s.BeepFreq = freq;
        s.BeepTime = ms;
        break;
    }
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

    const ControlResult result = {status, information};
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
