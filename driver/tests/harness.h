// Fixture for the kernel binding under the stand-in: a fresh world per
// test, the driver loaded on request, invariants checked at the end.
#ifndef OVTOUCH_DRIVER_TESTS_HARNESS_H
#define OVTOUCH_DRIVER_TESTS_HARNESS_H

#include <gtest/gtest.h>

#include <vector>

#include "kstub/sim.h"
#include "ovtouch_sys.h"

namespace ovtest {

extern const char kServiceKey[];
extern const char kParametersKey[];
extern const char kDeviceMapKey[];
extern const char kPointerPortKey[];

std::vector<UCHAR> Packet(UCHAR status, USHORT x, USHORT y);
std::vector<UCHAR> Concat(std::initializer_list<std::vector<UCHAR>> parts);
ULONG Word(const kstub::Request& r, size_t index);

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    NTSTATUS Load();
    void Unload();
    PDEVICE_OBJECT Device();
    kstub::Request Ioctl(ULONG code, const void* in = nullptr, ULONG inLength = 0, ULONG outLength = 0);
    kstub::Request Internal(ULONG code, const void* in, ULONG inLength, ULONG outLength = 0);
    NTSTATUS Connect(kstub::SimMouseClass& mouse);
    // Port present, loaded, one second passes: the thread opens it.
    kstub::SimPort& LoadWithPort(const char* name = "\\??\\COM1");

    DRIVER_OBJECT Driver{};
    kstub::SimMouseClass Mouse;
    std::u16string ServicePath;
    UNICODE_STRING RegistryPath{};
    bool Loaded = false;
};

}  // namespace ovtest

#endif
