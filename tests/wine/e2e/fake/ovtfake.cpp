// OVTFake.sys: plays the serial port behind \??\COMn and the mouse class for
// OVTouch.SYS under Wine, where neither exists. Test-only, never shipped.
//
// Port: answers the line-setting requests and records them, keeps the one
// 1-byte read pending (cancellable) and completes it with bytes the test
// program feeds, or fails/cancels it on request.
// Class: connects to the pointer port on request and records every
// MOUSE_INPUT_DATA the driver hands to its service routine.
#include "kernel.h"
#include <ntddser.h>
#include <ntddmou.h>
#include <kbdmou.h>

#include "ovtfake.h"

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path);

namespace {

const WCHAR kDefaultPort[] = L"\\??\\COM2";

struct FakeState {
    KSPIN_LOCK Lock;
    PDEVICE_OBJECT Device;
    PIRP PendingRead;
    LONG ReadDepth;
    UCHAR Queue[4096];
    ULONG QueueHead;
    ULONG QueueCount;
    BOOLEAN Inline;
    USHORT PortName[OVTFAKE_NAME_CHARS];
    USHORT PortNameLength;  // characters
    OvtFakeState Public;
    ovt::MouseRecord Records[OVTFAKE_MAX_RECORDS];
};

FakeState g;

void CopyBytes(void* to, const void* from, SIZE_T n) {
    UCHAR* d = static_cast<UCHAR*>(to);
    const UCHAR* s = static_cast<const UCHAR*>(from);
    while (n--) *d++ = *s++;
}

void ZeroBytes(void* to, SIZE_T n) {
    UCHAR* d = static_cast<UCHAR*>(to);
    while (n--) *d++ = 0;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

bool UpcaseEqual(const USHORT* a, USHORT an, const WCHAR* b, USHORT bn) {
    if (an != bn) return false;
    for (USHORT i = 0; i < an; ++i) {
        USHORT x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

// Takes the pending read away from the cancel path; null when there is none
// or a cancel already owns it.
PIRP TakePendingRead() {
    KIRQL irql;
    KeAcquireSpinLock(&g.Lock, &irql);
    PIRP irp = g.PendingRead;
    if (irp && IoSetCancelRoutine(irp, nullptr) == nullptr) irp = nullptr;
    if (irp) {
        g.PendingRead = nullptr;
        g.Public.ReadPending = 0;
    }
    KeReleaseSpinLock(&g.Lock, irql);
    return irp;
}

bool PopByte(UCHAR* byte) {
    if (g.QueueCount == 0) return false;
    *byte = g.Queue[g.QueueHead];
    g.QueueHead = (g.QueueHead + 1) % sizeof(g.Queue);
    --g.QueueCount;
    g.Public.Queued = g.QueueCount;
    return true;
}

void CompleteReadWithByte(PIRP irp, UCHAR byte) {
    *static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer) = byte;
    InterlockedIncrement(reinterpret_cast<LONG*>(&g.Public.ReadsCompleted));
    Complete(irp, STATUS_SUCCESS, 1);
}

void NTAPI CancelRead(PDEVICE_OBJECT, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g.Lock, &irql);
    if (g.PendingRead == irp) {
        g.PendingRead = nullptr;
        g.Public.ReadPending = 0;
    }
    ++g.Public.ReadsCancelled;
    KeReleaseSpinLock(&g.Lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

NTSTATUS Read(PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    LONG depth = InterlockedIncrement(&g.ReadDepth);
    KIRQL irql;
    KeAcquireSpinLock(&g.Lock, &irql);
    ++g.Public.ReadsReceived;
    if (static_cast<ULONG>(depth) > g.Public.MaxReadDepth) g.Public.MaxReadDepth = depth;
    NTSTATUS status = STATUS_PENDING;
    UCHAR byte = 0;
    bool deliver = false;
    if (sp->Parameters.Read.Length != 1 || !irp->AssociatedIrp.SystemBuffer) {
        ++g.Public.BadReads;
        status = STATUS_INVALID_PARAMETER;
    } else if (g.PendingRead) {
        ++g.Public.OverlappingReads;
        status = STATUS_DEVICE_BUSY;
    } else if (g.Inline && PopByte(&byte)) {
        deliver = true;
    } else {
        IoSetCancelRoutine(irp, CancelRead);
        if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
            status = STATUS_CANCELLED;
            ++g.Public.ReadsCancelled;
        } else {
            IoMarkIrpPending(irp);
            g.PendingRead = irp;
            g.Public.ReadPending = 1;
        }
    }
    KeReleaseSpinLock(&g.Lock, irql);
    if (deliver) {
        CompleteReadWithByte(irp, byte);
        status = STATUS_SUCCESS;
    } else if (status != STATUS_PENDING) {
        Complete(irp, status, 0);
    }
    InterlockedDecrement(&g.ReadDepth);
    return status;
}

// Hands queued bytes to pending reads. The driver issues its next read from
// the completion, usually before IoCompleteRequest returns; a driver that
// re-issues later gets up to two seconds.
void Deliver() {
    for (int idle = 0; idle < 2000;) {
        KIRQL irql;
        KeAcquireSpinLock(&g.Lock, &irql);
        bool more = g.QueueCount != 0;
        KeReleaseSpinLock(&g.Lock, irql);
        if (!more) return;
        PIRP irp = TakePendingRead();
        if (!irp) {
            LARGE_INTEGER ms;
            ms.QuadPart = -10000;
            KeDelayExecutionThread(KernelMode, FALSE, &ms);
            ++idle;
            continue;
        }
        UCHAR byte = 0;
        KeAcquireSpinLock(&g.Lock, &irql);
        bool have = PopByte(&byte);
        KeReleaseSpinLock(&g.Lock, irql);
        if (!have) {
            // Nothing left after all: put the read back.
            KeAcquireSpinLock(&g.Lock, &irql);
            IoSetCancelRoutine(irp, CancelRead);
            g.PendingRead = irp;
            g.Public.ReadPending = 1;
            KeReleaseSpinLock(&g.Lock, irql);
            return;
        }
        CompleteReadWithByte(irp, byte);
        idle = 0;
    }
}

VOID NTAPI ClassService(PDEVICE_OBJECT, PMOUSE_INPUT_DATA start, PMOUSE_INPUT_DATA end,
                        PULONG consumed) {
    ULONG n = static_cast<ULONG>(end - start);
    KIRQL irql;
    KeAcquireSpinLock(&g.Lock, &irql);
    ++g.Public.ClassCalls;
    if (n != 1) ++g.Public.MultiRecordCalls;
    for (ULONG i = 0; i < n; ++i) {
        if (g.Public.RecordsHeld < OVTFAKE_MAX_RECORDS) {
            CopyBytes(&g.Records[g.Public.RecordsHeld++], &start[i], sizeof(ovt::MouseRecord));
        } else {
            ++g.Public.RecordsLost;
        }
    }
    KeReleaseSpinLock(&g.Lock, irql);
    if (consumed) *consumed = n;
}

NTSTATUS SendInternal(PDEVICE_OBJECT target, ULONG code, PVOID in, ULONG inLength, PVOID out,
                      ULONG outLength, BOOLEAN internal, ULONG_PTR* information) {
    KEVENT event;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(code, target, in, inLength, out, outLength, internal,
                                             &event, &iosb);
    if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = IoCallDriver(target, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        status = iosb.Status;
    }
    if (information) *information = NT_SUCCESS(status) ? iosb.Information : 0;
    return status;
}

// The mouse class's side of the connection: find the pointer port's device
// (the driver's only device) and connect with our service routine.
void Connect(OvtFakeConnect* out) {
    ZeroBytes(out, sizeof(*out));
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\Driver\\OVTouch");
    PVOID object = nullptr;
    NTSTATUS status = ObReferenceObjectByName(&name, OBJ_CASE_INSENSITIVE, nullptr, 0,
                                              IoDriverObjectType, KernelMode, nullptr, &object);
    if (!NT_SUCCESS(status)) {
        out->Status = out->ShortStatus = out->SecondStatus = out->AttributesStatus = status;
        return;
    }
    PDEVICE_OBJECT port = static_cast<PDRIVER_OBJECT>(object)->DeviceObject;
    if (!port) {
        ObDereferenceObject(object);
        out->Status = out->ShortStatus = out->SecondStatus = out->AttributesStatus =
            STATUS_OBJECT_NAME_NOT_FOUND;
        return;
    }
    CONNECT_DATA data;
    data.ClassDeviceObject = g.Device;
    data.ClassService = reinterpret_cast<PVOID>(&ClassService);
    out->ShortStatus = SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &data, 4, nullptr, 0,
                                    TRUE, nullptr);
    out->Status = SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &data, sizeof(data), nullptr,
                               0, TRUE, nullptr);
    if (NT_SUCCESS(out->Status) || NT_SUCCESS(out->ShortStatus)) g.Public.Connected = 1;
    out->SecondStatus = SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &data, sizeof(data),
                                     nullptr, 0, TRUE, nullptr);
    // Buffered: Wine hands the input pointer over as the system buffer, so
    // the same buffer serves as input and output.
    UCHAR attributes[16];
    ZeroBytes(attributes, sizeof(attributes));
    ULONG_PTR bytes = 0;
    out->AttributesStatus = SendInternal(port, IOCTL_MOUSE_QUERY_ATTRIBUTES, attributes,
                                         sizeof(attributes), attributes, sizeof(attributes),
                                         TRUE, &bytes);
    out->AttributesBytes = static_cast<uint32_t>(bytes);
    CopyBytes(&out->MouseIdentifier, attributes, 2);
    CopyBytes(&out->NumberOfButtons, attributes + 2, 2);
    CopyBytes(&out->SampleRate, attributes + 4, 2);
    CopyBytes(&out->InputDataQueueLength, attributes + 8, 4);
    ObDereferenceObject(object);
}

void NoteSerialCode(ULONG code, ULONG outLength) {
    if (g.Public.SerialCodeCount < OVTFAKE_MAX_CODES)
        g.Public.SerialCodes[g.Public.SerialCodeCount] = code;
    ++g.Public.SerialCodeCount;
    if (outLength) ++g.Public.SerialOutputBuffers;
}

NTSTATUS OpenPort(PIRP irp, PIO_STACK_LOCATION sp) {
    PUNICODE_STRING name =
        static_cast<PUNICODE_STRING>(sp->Parameters.DeviceIoControl.Type3InputBuffer);
    if (irp->RequestorMode != KernelMode || !name) return Complete(irp, STATUS_ACCESS_DENIED, 0);
    KIRQL irql;
    KeAcquireSpinLock(&g.Lock, &irql);
    ++g.Public.OpenAttempts;
    USHORT n = name->Length / sizeof(WCHAR);
    USHORT keep = n < OVTFAKE_NAME_CHARS - 1 ? n : OVTFAKE_NAME_CHARS - 1;
    for (USHORT i = 0; i < keep; ++i) g.Public.LastOpenName[i] = name->Buffer[i];
    g.Public.LastOpenName[keep] = 0;
    bool mine = UpcaseEqual(g.PortName, g.PortNameLength, name->Buffer, n);
    if (mine) ++g.Public.Opens;
    KeReleaseSpinLock(&g.Lock, irql);
    return Complete(irp, mine ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND, 0);
}

NTSTATUS DeviceControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;

    switch (code) {
    case IOCTL_SERIAL_SET_LINE_CONTROL:
    case IOCTL_SERIAL_SET_BAUD_RATE:
    case IOCTL_SERIAL_SET_TIMEOUTS: {
        KeAcquireSpinLock(&g.Lock, &irql);
        NoteSerialCode(code, outLength);
        ULONG n = inLength;
        if (code == IOCTL_SERIAL_SET_LINE_CONTROL) {
            g.Public.LineControlLength = n;
            if (buffer) CopyBytes(g.Public.LineControl, buffer, n < 3 ? n : 3);
        } else if (code == IOCTL_SERIAL_SET_BAUD_RATE) {
            g.Public.BaudLength = n;
            if (buffer) CopyBytes(&g.Public.BaudRate, buffer, n < 4 ? n : 4);
        } else {
            g.Public.TimeoutsLength = n;
            if (buffer) CopyBytes(g.Public.Timeouts, buffer, n < 20 ? n : 20);
        }
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IOCTL_OVTFAKE_FEED: {
        KeAcquireSpinLock(&g.Lock, &irql);
        ULONG room = sizeof(g.Queue) - g.QueueCount;
        ULONG n = inLength < room ? inLength : room;
        for (ULONG i = 0; i < n; ++i)
            g.Queue[(g.QueueHead + g.QueueCount + i) % sizeof(g.Queue)] =
                static_cast<UCHAR*>(buffer)[i];
        g.QueueCount += n;
        g.Public.Queued = g.QueueCount;
        KeReleaseSpinLock(&g.Lock, irql);
        Deliver();
        return Complete(irp, n == inLength ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW, 0);
    }
    case IOCTL_OVTFAKE_FAIL_READ: {
        NTSTATUS with = STATUS_DEVICE_DATA_ERROR;
        if (inLength >= 4 && *static_cast<LONG*>(buffer)) with = *static_cast<LONG*>(buffer);
        PIRP read = TakePendingRead();
        if (!read) return Complete(irp, STATUS_NOT_FOUND, 0);
        InterlockedIncrement(reinterpret_cast<LONG*>(&g.Public.ReadsFailed));
        Complete(read, with, 0);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IOCTL_OVTFAKE_CANCEL_READ: {
        KeAcquireSpinLock(&g.Lock, &irql);
        PIRP read = g.PendingRead;
        KeReleaseSpinLock(&g.Lock, irql);
        if (!read) return Complete(irp, STATUS_NOT_FOUND, 0);
        return Complete(irp, IoCancelIrp(read) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL, 0);
    }
    case IOCTL_OVTFAKE_GET_STATE: {
        if (outLength < sizeof(OvtFakeState)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        KeAcquireSpinLock(&g.Lock, &irql);
        CopyBytes(buffer, &g.Public, sizeof(OvtFakeState));
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof(OvtFakeState));
    }
    case IOCTL_OVTFAKE_CONNECT: {
        if (outLength < sizeof(OvtFakeConnect)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        OvtFakeConnect result;
        Connect(&result);
        CopyBytes(buffer, &result, sizeof(result));
        return Complete(irp, STATUS_SUCCESS, sizeof(result));
    }
    case IOCTL_OVTFAKE_TAKE_RECORDS: {
        if (outLength < sizeof(OvtFakeRecords)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        ULONG room = (outLength - sizeof(OvtFakeRecords)) / sizeof(ovt::MouseRecord);
        KeAcquireSpinLock(&g.Lock, &irql);
        ULONG n = g.Public.RecordsHeld < room ? g.Public.RecordsHeld : room;
        OvtFakeRecords head;
        head.Count = n;
        head.Lost = g.Public.RecordsLost;
        CopyBytes(buffer, &head, sizeof(head));
        CopyBytes(static_cast<UCHAR*>(buffer) + sizeof(head), g.Records,
                  n * sizeof(ovt::MouseRecord));
        // Keep what did not fit, in order.
        for (ULONG i = n; i < g.Public.RecordsHeld; ++i) g.Records[i - n] = g.Records[i];
        g.Public.RecordsHeld -= n;
        g.Public.RecordsLost = 0;
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof(head) + n * sizeof(ovt::MouseRecord));
    }
    case IOCTL_OVTFAKE_SET_INLINE:
        if (inLength < 4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        g.Inline = *static_cast<ULONG*>(buffer) != 0;
        return Complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_OVTFAKE_SET_PORT_NAME: {
        ULONG n = inLength / sizeof(WCHAR);
        if (n == 0 || n >= OVTFAKE_NAME_CHARS) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        KeAcquireSpinLock(&g.Lock, &irql);
        CopyBytes(g.PortName, buffer, n * sizeof(WCHAR));
        g.PortNameLength = static_cast<USHORT>(n);
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    default:
        KeAcquireSpinLock(&g.Lock, &irql);
        ++g.Public.OtherRequests;
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
    case IRP_MJ_CLEANUP:
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_READ:
        return Read(irp);
    case IRP_MJ_DEVICE_CONTROL:
        return DeviceControl(device, irp);
    case IRP_MJ_INTERNAL_DEVICE_CONTROL:
        if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_OVTFAKE_OPEN_PORT)
            return OpenPort(irp, sp);
        return DeviceControl(device, irp);
    default: {
        KIRQL irql;
        KeAcquireSpinLock(&g.Lock, &irql);
        ++g.Public.OtherRequests;
        KeReleaseSpinLock(&g.Lock, irql);
        return Complete(irp, STATUS_NOT_IMPLEMENTED, 0);
    }
    }
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    ZeroBytes(&g, sizeof(g));
    KeInitializeSpinLock(&g.Lock);
    for (USHORT i = 0; kDefaultPort[i]; ++i) g.PortName[g.PortNameLength++] = kDefaultPort[i];
    for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = Dispatch;
    // No unload routine: the test never stops it (Wine cannot unload cleanly
    // while the other driver holds our device).
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, L"\\Device\\OVTFake");
    RtlInitUnicodeString(&link, L"\\DosDevices\\OVTFake");
    PDEVICE_OBJECT device;
    NTSTATUS status =
        IoCreateDevice(driver, 0, &name, FILE_DEVICE_SERIAL_PORT, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    device->Flags |= DO_BUFFERED_IO;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    g.Device = device;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
