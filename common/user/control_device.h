// The driver's control device as the programs see it: one synchronous
// device-control call. The Win32 shell opens "\\.\ovtouch"; host tests use
// the real dispatcher in-process.
#ifndef OVTOUCH_COMMON_USER_CONTROL_DEVICE_H
#define OVTOUCH_COMMON_USER_CONTROL_DEVICE_H

#include <stdint.h>

namespace ovt {

class ControlDevice {
  public:
    // Returns true when the request succeeded; *bytes gets the count the
    // driver returned (0 on failure). Buffers may be null with length 0.
    virtual bool Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                         uint32_t outLength, uint32_t* bytes) = 0;

    bool Send(uint32_t code) {
        uint32_t n = 0;
        return Control(code, 0, 0, 0, 0, &n);
    }

  protected:
    // Never deleted through the interface: no deleting destructor, so the
    // applet links without the C++ runtime.
    ~ControlDevice() = default;
};

}  // namespace ovt

#endif
