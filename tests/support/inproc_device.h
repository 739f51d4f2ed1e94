// A control device that is the driver's real dispatcher and touch core,
// in-process: programs' logic talks to it as to "\\.\ovtouch", and tests
// feed it controller packets.
#ifndef OVTOUCH_TESTS_SUPPORT_INPROC_DEVICE_H
#define OVTOUCH_TESTS_SUPPORT_INPROC_DEVICE_H

#include <mutex>
#include <vector>

#include "common/user/control_device.h"
#include "common/user/registry.h"
#include "driver/touch/control.h"

namespace ovt::test {

struct SentRequest {
    uint32_t code;
    std::vector<uint8_t> in;
    uint32_t outLength;
    int32_t status;
};

class InProcDevice : public ControlDevice {
  public:
    // Parameters come from `registry` (HKLM Parameters key) on reload,
    // when given; otherwise reloads see an empty key.
    explicit InProcDevice(Registry* registry = nullptr);

    bool Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytes) override;

    // Controller side.
    void Feed(const std::vector<uint8_t>& bytes);
    void Touch(uint8_t status, uint16_t rawX, uint16_t rawY);
    void Tap(uint16_t rawX, uint16_t rawY);  // down then up

    // Driver side, for assertions. Take the lock when another thread runs.
    std::mutex& Lock() { return mutex_; }
    TouchState& State() { return state_; }
    std::vector<SentRequest> Requests();
    std::vector<uint32_t> Codes();
    std::vector<MouseRecord> Records();
    std::vector<std::pair<uint32_t, uint32_t>> Beeps();
    int Reloads() const { return reloads_; }
    // Makes every request fail (as with a driver gone away).
    void FailAll(bool fail) { failAll_ = fail; }

  private:
    static int32_t Reload(void* context, DriverSettings* settings);
    static void Beep(void* context, uint32_t freq, uint32_t ms);

    std::mutex mutex_;
    Registry* registry_;
    TouchState state_{};
    TouchHooks hooks_{};
    ControlEnv env_{};
    std::vector<SentRequest> requests_;
    std::vector<MouseRecord> records_;
    std::vector<std::pair<uint32_t, uint32_t>> beeps_;
    int reloads_ = 0;
    bool failAll_ = false;
};

}  // namespace ovt::test

#endif
