// ovtdump --driver: the running driver watched through its control device,
// and the one-line reasons a port or the device does not open. Platform-free.
#ifndef OVTOUCH_TOOLS_OVTDUMP_WATCH_H
#define OVTOUCH_TOOLS_OVTDUMP_WATCH_H

#include <stdint.h>

#include <cstdio>
#include <string>

namespace ovtdump {

class DriverLink {
public:
    virtual ~DriverLink() {}
    // One control request with its output buffer; false when it fails.
    virtual bool Control(uint32_t code, void* out, uint32_t outLength) = 0;
    virtual void Sleep(uint32_t ms) = 0;
    virtual bool Interrupted() = 0;
};

// Prints the working settings, a "watching" line once polling, then a line
// whenever the settings or the latest packet's place and record change,
// polled every 50 ms as the programs poll, until interrupted. Queries only:
// the capture stays the programs'. Returns the exit code.
int WatchDriver(DriverLink& link, std::FILE* out);

// System error codes the messages tell apart.
enum : uint32_t { kErrFileNotFound = 2, kErrPathNotFound = 3, kErrAccessDenied = 5, kErrSharingViolation = 32 };

std::string PortOpenFailure(const std::string& port, uint32_t error, bool driverRunning);
std::string DriverOpenFailure(uint32_t error);

}  // namespace ovtdump

#endif
