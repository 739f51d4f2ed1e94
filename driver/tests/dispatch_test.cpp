// Requests to the pointer port device: file requests, the mouse class's
// internal requests and the control codes through real request objects.
#include "harness.h"

namespace ovtest {
namespace {

using kstub::W;

class DispatchTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        ASSERT_EQ(Load(), STATUS_SUCCESS);
    }
};

TEST_F(DispatchTest, FileRequests) {
    const struct {
        UCHAR Major;
        NTSTATUS Status;
    } cases[] = {
        {IRP_MJ_CREATE, STATUS_SUCCESS},
        {IRP_MJ_CLOSE, STATUS_SUCCESS},
        {IRP_MJ_READ, STATUS_NOT_IMPLEMENTED},
        {IRP_MJ_WRITE, STATUS_NOT_IMPLEMENTED},
    };
    for (const auto& c : cases) {
        const kstub::Request r = kstub::Send(Device(), c.Major, 0, nullptr, 0, 4);
        EXPECT_EQ(r.Status, c.Status) << int(c.Major);
        EXPECT_EQ(r.Information, 0u) << int(c.Major);
    }
}

TEST_F(DispatchTest, InternalRequestsWithoutAConnection) {
    const struct {
        ULONG Code;
        NTSTATUS Status;
    } cases[] = {
        {IOCTL_INTERNAL_MOUSE_DISCONNECT, STATUS_NOT_SUPPORTED},
        {IOCTL_INTERNAL_MOUSE_ENABLE, STATUS_SUCCESS},
        {IOCTL_INTERNAL_MOUSE_DISABLE, STATUS_NOT_SUPPORTED},
        {0x000F0007, STATUS_INVALID_DEVICE_REQUEST},
        {IOCTL_TOUCH_GET_BEEP, STATUS_INVALID_DEVICE_REQUEST},
    };
    for (const auto& c : cases) {
        const kstub::Request r = Internal(c.Code, nullptr, 0, 12);
        EXPECT_EQ(r.Status, c.Status) << std::hex << c.Code;
        EXPECT_EQ(r.Information, 0u);
    }
    EXPECT_EQ(g_ovt.Class.ClassService, nullptr);
}

TEST_F(DispatchTest, ShortConnectIsRefused) {
    CONNECT_DATA c = {&Mouse.Device, reinterpret_cast<PVOID>(&kstub::SimMouseClass::Service)};
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_CONNECT, &c, 4).Status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_CONNECT, nullptr, sizeof(c)).Status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(g_ovt.Class.ClassService, nullptr);
    EXPECT_EQ(Connect(Mouse), STATUS_SUCCESS);
}

TEST_F(DispatchTest, SecondConnectIsRefusedAndTheFirstStays) {
    kstub::SimMouseClass other;
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    EXPECT_EQ(Connect(other), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(Internal(IOCTL_INTERNAL_MOUSE_DISCONNECT, nullptr, 0).Status, STATUS_NOT_SUPPORTED);
    EXPECT_EQ(g_ovt.Class.ClassDeviceObject, &Mouse.Device);

    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    kstub::RunThreads();
    kstub::ElapseWaits();
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    port.Deliver();
    EXPECT_EQ(Mouse.Deliveries.size(), 1u);
    EXPECT_TRUE(other.Deliveries.empty());
}

TEST_F(DispatchTest, QueryAttributes) {
    const kstub::Request small = Internal(IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, 8);
    EXPECT_EQ(small.Status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(small.Information, 0u);
    EXPECT_EQ(small.Output, std::vector<UCHAR>(8, 0xEE)) << "nothing written";

    const kstub::Request r = Internal(IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, 16);
    ASSERT_EQ(r.Status, STATUS_SUCCESS);
    EXPECT_EQ(r.Information, 12u);
    const std::vector<UCHAR> expected = {4, 0, 2, 0, 0xEE, 0xEE, 0xEE, 0xEE, 12, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(r.Output, expected) << "sample rate and the bytes past the record untouched";
}

TEST_F(DispatchTest, ControlCodesAnswerThroughTheSystemBuffer) {
    const kstub::Request shortCapture = Ioctl(IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, 8);
    EXPECT_EQ(shortCapture.Status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(shortCapture.Information, 0u);
    EXPECT_EQ(shortCapture.Output, std::vector<UCHAR>(8, 0xEE));

    const kstub::Request beep = Ioctl(IOCTL_TOUCH_GET_BEEP, nullptr, 0, 16);
    EXPECT_EQ(beep.Status, STATUS_SUCCESS);
    EXPECT_EQ(beep.Information, 12u);
    EXPECT_EQ(Word(beep, 0), 2u);
    EXPECT_EQ(Word(beep, 1), 2000u);
    EXPECT_EQ(Word(beep, 2), 40u);

    const ULONG calibration[8] = {500, 0, 500, 2048, 7, 8, 0, 0};
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_SET_CALIBRATION, calibration, 32).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.Touch.Settings.XSpan, 2048u);
    EXPECT_EQ(g_ovt.Touch.Settings.YOffset, 8u);

    EXPECT_EQ(Ioctl(0xF2404, nullptr, 0, 4).Status, STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_RESERVED_910).Status, STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(Ioctl(IOCTL_INTERNAL_MOUSE_CONNECT).Status, STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(DispatchTest, EnableAndDisableCountAroundTheLink) {
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 0u);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_DISABLE_REPORTS).Status, STATUS_SUCCESS);
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 0u);
    kstub::SimPort& port = kstub::AddPort("\\??\\COM1");
    kstub::RunThreads();
    kstub::ElapseWaits();
    EXPECT_EQ(g_ovt.Touch.ReportEnableCount, 1u);
    ASSERT_EQ(Connect(Mouse), STATUS_SUCCESS);
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_DISABLE_REPORTS).Status, STATUS_SUCCESS);
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    port.Deliver();
    EXPECT_TRUE(Mouse.Deliveries.empty());
    EXPECT_EQ(Ioctl(IOCTL_TOUCH_ENABLE_REPORTS).Status, STATUS_SUCCESS);
    port.QueueBytes(Packet(TOUCH_MOVE, 1024, 1024));
    port.Deliver();
    EXPECT_EQ(Mouse.Deliveries.size(), 1u);
}

}  // namespace
}  // namespace ovtest
