// Test build only: Wine cannot open a device by name from a driver
// (IoGetDeviceObjectPointer is a stub), so the port is the OVTFake driver's
// device, found through its driver object. OVTFake answers whether it plays
// the port by that name, so the name the driver forms is still checked.
#include "ovtouch_sys.h"

#include "fake/ovtfake.h"

extern "C" __declspec(dllimport) POBJECT_TYPE IoDriverObjectType;
extern "C" __declspec(dllimport) NTSTATUS NTAPI ObReferenceObjectByName(
    PUNICODE_STRING name, ULONG attributes, PACCESS_STATE access, ACCESS_MASK desired,
    POBJECT_TYPE type, KPROCESSOR_MODE mode, PVOID parse, PVOID* object);

NTSTATUS OvtOpenPort(PUNICODE_STRING name, PDEVICE_OBJECT* device, PVOID* reference) {
    UNICODE_STRING driverName;
    RtlInitUnicodeString(&driverName, L"\\Driver\\OVTFake");
    PVOID object = NULL;
    NTSTATUS status = ObReferenceObjectByName(&driverName, OBJ_CASE_INSENSITIVE, NULL, 0,
                                              IoDriverObjectType, KernelMode, NULL, &object);
    if (!NT_SUCCESS(status)) return status;  // not loaded yet: the caller retries
    PDEVICE_OBJECT port = static_cast<PDRIVER_OBJECT>(object)->DeviceObject;
    if (port == NULL) {
        ObDereferenceObject(object);
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    KEVENT event;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_OVTFAKE_OPEN_PORT, port, name, sizeof(*name),
                                             NULL, 0, TRUE, &event, &iosb);
    if (irp == NULL) {
        ObDereferenceObject(object);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = IoCallDriver(port, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
        status = iosb.Status;
    }
    if (!NT_SUCCESS(status)) {
        ObDereferenceObject(object);
        return status;
    }
    *device = port;
    *reference = object;
    return STATUS_SUCCESS;
}
