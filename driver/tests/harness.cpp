#include "harness.h"

namespace ovtest {

const char kServiceKey[] = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OVTouch";
const char kParametersKey[] = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OVTouch\\Parameters";
const char kDeviceMapKey[] = "\\Registry\\Machine\\HARDWARE\\DEVICEMAP";
const char kPointerPortKey[] = "\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\PointerPort";

std::vector<UCHAR> Packet(UCHAR status, USHORT x, USHORT y) {
    std::vector<UCHAR> p = {0x55, 0x54, status, UCHAR(x & 0xFF), UCHAR(x >> 8), UCHAR(y & 0xFF), UCHAR(y >> 8), 0, 0, 0};
    p[9] = ovt::TouchChecksum(p.data());
    return p;
}

std::vector<UCHAR> Concat(std::initializer_list<std::vector<UCHAR>> parts) {
    std::vector<UCHAR> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

ULONG Word(const kstub::Request& r, size_t index) {
    ULONG w = 0;
    std::memcpy(&w, r.Output.data() + 4 * index, 4);
    return w;
}

void DriverTest::SetUp() {
    kstub::Reset();
    kstub::RegSetKey("\\Registry");
    kstub::RegSetKey("\\Registry\\Machine");
    kstub::RegSetKey("\\Registry\\Machine\\HARDWARE", true);
    kstub::RegSetKey(kDeviceMapKey, true);
    kstub::RegSetKey("\\Registry\\Machine\\System");
    kstub::RegSetKey(kServiceKey);
    ServicePath = kstub::U16(kServiceKey);
    RegistryPath.Buffer = ServicePath.data();
    RegistryPath.Length = static_cast<USHORT>(ServicePath.size() * 2);
    RegistryPath.MaximumLength = RegistryPath.Length;
}

void DriverTest::TearDown() {
    const kstub::World& w = kstub::W();
    EXPECT_EQ(w.IrqlErrors, 0) << "a routine ran at the wrong IRQL";
    EXPECT_EQ(w.IrpMisuse, 0) << "a request was completed twice, reused while out, or left pending";
    EXPECT_EQ(w.ThreadError, "");
    EXPECT_EQ(w.RuleBroken, "");
    EXPECT_EQ(w.Irql, PASSIVE_LEVEL);
    kstub::Reset();
}

NTSTATUS DriverTest::Load() {
    const NTSTATUS s = DriverEntry(&Driver, &RegistryPath);
    Loaded = NT_SUCCESS(s);
    return s;
}

void DriverTest::Unload() {
    ASSERT_NE(Driver.DriverUnload, nullptr);
    Driver.DriverUnload(&Driver);
    Loaded = false;
}

PDEVICE_OBJECT DriverTest::Device() {
    auto it = kstub::W().Devices.find(u"\\device\\pointerport0");
    return it == kstub::W().Devices.end() ? nullptr : it->second;
}

kstub::Request DriverTest::Ioctl(ULONG code, const void* in, ULONG inLength, ULONG outLength) {
    return kstub::Send(Device(), IRP_MJ_DEVICE_CONTROL, code, in, inLength, outLength);
}

kstub::Request DriverTest::Internal(ULONG code, const void* in, ULONG inLength, ULONG outLength) {
    return kstub::Send(Device(), IRP_MJ_INTERNAL_DEVICE_CONTROL, code, in, inLength, outLength);
}

NTSTATUS DriverTest::Connect(kstub::SimMouseClass& mouse) {
    CONNECT_DATA c;
    c.ClassDeviceObject = &mouse.Device;
    c.ClassService = reinterpret_cast<PVOID>(&kstub::SimMouseClass::Service);
    return Internal(IOCTL_INTERNAL_MOUSE_CONNECT, &c, sizeof(c)).Status;
}

kstub::SimPort& DriverTest::LoadWithPort(const char* name) {
    kstub::SimPort& port = kstub::AddPort(name);
    EXPECT_EQ(Load(), STATUS_SUCCESS);
    kstub::RunThreads();
    kstub::ElapseWaits();
    return port;
}

}  // namespace ovtest
