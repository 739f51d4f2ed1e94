// The control dispatcher under arbitrary codes, lengths and buffers.
//
// Input: requests until the bytes run out, each:
//   byte   code selector: below 0xC0 one of the known codes, else a raw
//          code from the next 4 bytes (mostly unknown ones)
//   byte   flags: bit 0 null input, bit 1 null output, bit 2 one shared
//          buffer for both (as METHOD_BUFFERED hands them over)
//   byte   input length (0..255), byte output length (0..255)
//   bytes  the input, as many as the length asks (fewer when the data ends)
// Both buffers are heap blocks of exactly the stated size, so ASan sees any
// byte read or written outside them.
#include <cstring>

#include "fuzz_common.h"

namespace {

using namespace ovt;
using namespace ovt::fuzz;

constexpr uint8_t kCanary = 0xA5;

uint32_t RecordSize(uint32_t code) {
    switch (code) {
    case IOCTL_TOUCH_GET_BUTTON_MODE:
    case IOCTL_TOUCH_GET_MOUSE_MODE:
        return 4;
    case IOCTL_TOUCH_GET_CAPTURE:
    case IOCTL_TOUCH_GET_LAST_REPORT:
    case IOCTL_TOUCH_GET_BEEP:
        return 12;
    default:
        return 0;
    }
}

uint32_t InputSize(uint32_t code) {
    switch (code) {
    case IOCTL_TOUCH_SET_CALIBRATION:
        return 24;
    case IOCTL_TOUCH_SET_BEEP:
        return 12;
    case IOCTL_TOUCH_SET_BUTTON_MODE:
    case IOCTL_TOUCH_SET_MOUSE_MODE:
        return 4;
    default:
        return 0;
    }
}

bool Known(uint32_t code) {
    for (uint32_t k : kCodes) {
        if (k == code) return true;
    }
    return false;
}

bool Reserved(uint32_t code) {
    return code == IOCTL_TOUCH_RESERVED_910 || code == IOCTL_TOUCH_RESERVED_920 ||
           code == IOCTL_TOUCH_RESERVED_998 || code == IOCTL_TOUCH_RESERVED_99F;
}

int32_t EmptyKey(void*, DriverSettings* s) { return LoadParameters(s, nullptr, nullptr); }

void OneRequest(TouchState* state, Cursor* c) {
    const uint8_t pick = c->Byte();
    const uint32_t code = pick < 0xC0 ? kCodes[pick % kCodeCount] : c->Word();
    const uint8_t flags = c->Byte();
    const uint32_t inLength = c->Byte();
    const uint32_t outLength = c->Byte();
    const bool shared = flags & 4;

    // A 0-byte request still yields a block ASan guards: any access to it is caught.
    uint8_t* inBuf = nullptr;
    uint8_t* outBuf = nullptr;
    if (shared) {
        const uint32_t n = inLength > outLength ? inLength : outLength;
        inBuf = outBuf = static_cast<uint8_t*>(std::malloc(n ? n : 1));
        std::memset(inBuf, kCanary, n ? n : 1);
    } else {
        // NOLINTNEXTLINE(clang-analyzer-optin.portability.UnixAPI): 0-byte blocks on purpose
        inBuf = static_cast<uint8_t*>(std::malloc(inLength));
        // NOLINTNEXTLINE(clang-analyzer-optin.portability.UnixAPI): as above
        outBuf = static_cast<uint8_t*>(std::malloc(outLength));
        std::memset(outBuf, kCanary, outLength);
    }
    size_t got = 0;
    const uint8_t* src = c->Take(inLength, &got);
    if (inLength) std::memcpy(inBuf, src, got);

    const void* in = (flags & 1) ? nullptr : inBuf;
    void* out = (flags & 2) ? nullptr : outBuf;
    const DriverSettings before = state->Settings;
    const uint32_t enableBefore = state->ReportEnableCount;

    ControlEnv env{};
    env.Reload = EmptyKey;
    env.Beep = [](void*, uint32_t, uint32_t) {};
    ControlResult r;
    {
        Counting none;
        r = DispatchControl(state, &env, code, in, inLength, out, outLength);
    }

    // The input is only read.
    if (!shared && got != 0) OVT_FUZZ_CHECK(std::memcmp(inBuf, src, got) == 0);
    OVT_FUZZ_CHECK(IsStatus(r.Status));
    if (!Known(code)) OVT_FUZZ_CHECK(r.Status == OVT_STATUS_INVALID_DEVICE_REQUEST);
    if (Reserved(code)) OVT_FUZZ_CHECK(r.Status == OVT_STATUS_NOT_IMPLEMENTED);
    if (r.Status != OVT_STATUS_SUCCESS) OVT_FUZZ_CHECK(r.Information == 0);
    OVT_FUZZ_CHECK(r.Information <= outLength);

    const uint32_t record = RecordSize(code);
    if (record != 0) {
        const bool fits = out != nullptr && outLength >= record;
        OVT_FUZZ_CHECK(r.Status == (fits ? OVT_STATUS_SUCCESS : OVT_STATUS_BUFFER_TOO_SMALL));
        OVT_FUZZ_CHECK(r.Information == (fits ? record : 0u));
    } else {
        OVT_FUZZ_CHECK(r.Information == 0);
    }
    // Nothing beyond the record is touched, and nothing at all on failure.
    if (!shared && outBuf) {
        for (uint32_t i = r.Information; i < outLength; ++i) OVT_FUZZ_CHECK(outBuf[i] == kCanary);
    }

    const uint32_t need = InputSize(code);
    if (need != 0) {
        const bool enough = in != nullptr && inLength >= need;
        OVT_FUZZ_CHECK(r.Status == (enough ? OVT_STATUS_SUCCESS : OVT_STATUS_INVALID_PARAMETER));
        if (!enough) OVT_FUZZ_CHECK(std::memcmp(&before, &state->Settings, sizeof(before)) == 0);
    }
    if (code == IOCTL_TOUCH_DISABLE_REPORTS) {
        OVT_FUZZ_CHECK(state->ReportEnableCount == (enableBefore ? enableBefore - 1 : 0));
    }
    std::free(inBuf);
    if (!shared) std::free(outBuf);

    OVT_FUZZ_CHECK(IsCaptureState(state->Capture.State));
    CheckSettings(state->Settings);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    AllocCounter::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TouchState state{};
    LoadParameters(&state.Settings, nullptr, nullptr);
    state.ReportEnableCount = 1;
    Cursor c(data, size);
    while (!c.Empty()) OneRequest(&state, &c);
    return 0;
}
