// Shared by the fuzz targets: a non-allocating input cursor, a check that
// aborts with a message (libFuzzer keeps the crashing input), and an
// allocation counter fed by the sanitizer's malloc hooks.
#ifndef OVTOUCH_TESTS_FUZZ_FUZZ_COMMON_H
#define OVTOUCH_TESTS_FUZZ_FUZZ_COMMON_H

#include <sanitizer/allocator_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "driver/touch/control.h"

namespace ovt::fuzz {

#define OVT_FUZZ_CHECK(cond)                                                              \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

// Reads the fuzzer's bytes front to back; past the end everything is 0.
class Cursor {
  public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return pos_ >= size_; }
    size_t Left() const { return Empty() ? 0 : size_ - pos_; }
    uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    uint16_t Half() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t Word() { return Half() | (static_cast<uint32_t>(Half()) << 16); }
    // Up to n bytes in place, without copying.
    const uint8_t* Take(size_t n, size_t* got) {
        *got = n < Left() ? n : Left();
        const uint8_t* p = data_ + pos_;
        pos_ += *got;
        return p;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Counts allocations made on this thread while a Counting scope is open, so
// the harness's own buffers and libFuzzer's bookkeeping stay out of it.
struct AllocCounter {
    static inline thread_local bool active = false;
    static inline thread_local unsigned long count = 0;

    static void OnMalloc(const volatile void*, size_t) {
        if (active) ++count;
    }
    static void OnFree(const volatile void*) {}
    static void Install() {
        static bool done = false;
        if (!done) {
            done = true;
            __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
        }
    }
};

class Counting {
  public:
    Counting() : before_(AllocCounter::count) { AllocCounter::active = true; }
    ~Counting() {
        AllocCounter::active = false;
        OVT_FUZZ_CHECK(AllocCounter::count == before_);
    }

  private:
    unsigned long before_;
};

inline bool IsCaptureState(uint32_t s) {
    return s == CAPTURE_IDLE || s == CAPTURE_ARMED || s == CAPTURE_TOUCHED || s == CAPTURE_DONE;
}

inline bool IsStatus(int32_t s) {
    return s == OVT_STATUS_SUCCESS || s == OVT_STATUS_NOT_IMPLEMENTED ||
           s == OVT_STATUS_INVALID_DEVICE_REQUEST || s == OVT_STATUS_BUFFER_TOO_SMALL ||
           s == OVT_STATUS_INVALID_PARAMETER;
}

// Every code the dispatcher knows, for picking a code from one byte.
inline constexpr uint32_t kCodes[] = {
    IOCTL_TOUCH_GET_BUTTON_MODE,  IOCTL_TOUCH_GET_CAPTURE,       IOCTL_TOUCH_ARM_CAPTURE,
    IOCTL_TOUCH_GET_LAST_REPORT,  IOCTL_TOUCH_RESERVED_910,      IOCTL_TOUCH_RESERVED_920,
    IOCTL_TOUCH_GET_MOUSE_MODE,   IOCTL_TOUCH_SET_CALIBRATION,   IOCTL_TOUCH_ENABLE_REPORTS,
    IOCTL_TOUCH_DISABLE_REPORTS,  IOCTL_TOUCH_RELOAD_PARAMETERS, IOCTL_TOUCH_SET_BUTTON_MODE,
    IOCTL_TOUCH_SET_BEEP,         IOCTL_TOUCH_GET_BEEP,          IOCTL_TOUCH_SET_MOUSE_MODE,
    IOCTL_TOUCH_TEST_BEEP,        IOCTL_TOUCH_RESERVED_998,      IOCTL_TOUCH_RESERVED_99F,
};
inline constexpr size_t kCodeCount = sizeof(kCodes) / sizeof(kCodes[0]);

// Settings as any sequence of loads and requests can leave them.
inline void CheckSettings(const DriverSettings& s) {
    const uint32_t xs = s.Calibration.XHigh == s.Calibration.XLow ? 2048u : s.Calibration.XHigh - s.Calibration.XLow;
    const uint32_t ys = s.Calibration.YHigh == s.Calibration.YLow ? 2048u : s.Calibration.YHigh - s.Calibration.YLow;
    OVT_FUZZ_CHECK(s.XSpan == xs && s.YSpan == ys);
    OVT_FUZZ_CHECK(s.XSpan != 0 && s.YSpan != 0);
    OVT_FUZZ_CHECK(s.ButtonMode <= 1);
    OVT_FUZZ_CHECK(s.BeepFreq >= 1000 && s.BeepFreq <= 5000);
    OVT_FUZZ_CHECK(s.BeepTime >= 32 && s.BeepTime <= 750);
}

}  // namespace ovt::fuzz

#endif
