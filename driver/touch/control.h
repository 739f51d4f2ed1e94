// The control device's requests, answered against the driver's state.
// Platform-free: the kernel binding unpacks a request, calls this and
// completes the request with the status and byte count it returns.
#ifndef OVTOUCH_DRIVER_TOUCH_CONTROL_H
#define OVTOUCH_DRIVER_TOUCH_CONTROL_H

#include "touch.h"

namespace ovt {

// What a request may need beyond the state: the registry for a reload and
// the speaker for a test beep.
struct ControlEnv {
    void* Context;
    // Runs LoadParameters against the Parameters key; its status is
    // ignored. kReloadNotRun: the load could not start, nothing was read.
    int32_t (*Reload)(void* context, DriverSettings* settings);
    void (*Beep)(void* context, uint32_t freq, uint32_t ms);
};

// No status a parameter read returns.
const int32_t kReloadNotRun = 0x7FFFFFFF;

struct ControlResult {
    int32_t Status;
    uint32_t Information;  // bytes returned
};

// Device control. `in` holds inLength bytes, `out` has room for outLength
// bytes; with METHOD_BUFFERED both may be the same buffer. Nothing outside
// those lengths is read or written.
ControlResult DispatchControl(TouchState* state, const ControlEnv* env, uint32_t code,
                              const void* in, uint32_t inLength, void* out, uint32_t outLength);

// Create and close succeed; read, write and anything else fail.
enum class FileRequest { Create, Close, Read, Write, Other };
ControlResult DispatchFileRequest(FileRequest request);

}  // namespace ovt

#endif
