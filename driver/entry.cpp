// Entry, unload, request dispatch, the record sink and the tone output.
#include "ovtouch_sys.h"

OvtState g_ovt;

namespace {

WCHAR kDeviceName[] = OVT_W("\\Device\\PointerPort0");
WCHAR kLinkName[] = OVT_W("\\??\\OVTouch");
const LONGLONG kUnloadPause = -10 * 10000LL;  // 10 ms

// Every request leaves through here: one completion, no boost.
NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// --- record sink -----------------------------------------------------------

bool SinkConnected(void*) { return g_ovt.Class.ClassService != NULL; }

void DeliverBegin(void*) { KeRaiseIrql(DISPATCH_LEVEL, &g_ovt.DeliverIrql); }

void Deliver(void*, const ovt::MouseRecord* record) {
    static_assert(sizeof(ovt::MouseRecord) == sizeof(MOUSE_INPUT_DATA), "record layout");
    PMOUSE_INPUT_DATA first = reinterpret_cast<PMOUSE_INPUT_DATA>(const_cast<ovt::MouseRecord*>(record));
    ULONG consumed = 0;
    OvtClassService service = reinterpret_cast<OvtClassService>(g_ovt.Class.ClassService);
    service(g_ovt.Class.ClassDeviceObject, first, first + 1, &consumed);
}

void DeliverEnd(void*) { KeLowerIrql(g_ovt.DeliverIrql); }

// The packet processing's beep and the test beep alike.
void Beep(void*, uint32_t freq, uint32_t ms) { OvtBeep(freq, ms); }

// --- settings lock -----------------------------------------------------------

uint32_t AcquireSettings(void*) {
    KIRQL old;
    KeAcquireSpinLock(&g_ovt.SettingsLock, &old);
    return old;
}

void ReleaseSettings(void*, uint32_t old) { KeReleaseSpinLock(&g_ovt.SettingsLock, static_cast<KIRQL>(old)); }

const ovt::SettingsLock kSettingsLock = {NULL, AcquireSettings, ReleaseSettings};

// --- tone ------------------------------------------------------------------

VOID NTAPI ToneDpc(PKDPC, PVOID, PVOID, PVOID) {
    KIRQL old;
    KeAcquireSpinLock(&g_ovt.ToneLock, &old);
    if (g_ovt.ToneStale) {
        g_ovt.ToneStale = FALSE;
    } else {
        HalMakeBeep(0);
        g_ovt.ToneSounding = FALSE;
    }
    KeReleaseSpinLock(&g_ovt.ToneLock, old);
}

// --- dispatch --------------------------------------------------------------

NTSTATUS NTAPI DispatchFile(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ovt::FileRequest request;
    switch (sp->MajorFunction) {
    case IRP_MJ_CREATE: request = ovt::FileRequest::Create; break;
    case IRP_MJ_CLOSE: request = ovt::FileRequest::Close; break;
    case IRP_MJ_READ: request = ovt::FileRequest::Read; break;
    case IRP_MJ_WRITE: request = ovt::FileRequest::Write; break;
    default: request = ovt::FileRequest::Other; break;
    }
    const ovt::ControlResult r = ovt::DispatchFileRequest(request);
    return Complete(irp, r.Status, r.Information);
}

int32_t EnvReload(void*, ovt::DriverSettings* settings) {
    bool started = false;
    const NTSTATUS status = OvtLoadParameters(settings, &started);
    return started ? status : ovt::kReloadNotRun;
}

NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    const ovt::ControlEnv env = {NULL, EnvReload, Beep};
    const ovt::ControlResult r = ovt::DispatchControl(&g_ovt.Touch, &env, sp->Parameters.DeviceIoControl.IoControlCode,
                                                      buffer, inLength, buffer, outLength);
    return Complete(irp, r.Status, r.Information);
}

NTSTATUS NTAPI DispatchInternal(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;

    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_INTERNAL_MOUSE_CONNECT: {
        PCONNECT_DATA connect = static_cast<PCONNECT_DATA>(sp->Parameters.DeviceIoControl.Type3InputBuffer);
        if (g_ovt.Class.ClassService != NULL) {
            status = STATUS_SHARING_VIOLATION;
        } else if (inLength < sizeof(CONNECT_DATA) || connect == NULL) {
            status = STATUS_INVALID_PARAMETER;
        } else {
            // The completion tests the service pointer: store it last.
            g_ovt.Class.ClassDeviceObject = connect->ClassDeviceObject;
            g_ovt.Class.ClassService = connect->ClassService;
        }
        break;
    }
    case IOCTL_INTERNAL_MOUSE_DISCONNECT:
    case IOCTL_INTERNAL_MOUSE_DISABLE:
        status = STATUS_NOT_SUPPORTED;
        break;
    case IOCTL_INTERNAL_MOUSE_ENABLE:
        break;
    case IOCTL_MOUSE_QUERY_ATTRIBUTES:
        if (outLength < sizeof(MOUSE_ATTRIBUTES) || irp->AssociatedIrp.SystemBuffer == NULL) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            PMOUSE_ATTRIBUTES a = static_cast<PMOUSE_ATTRIBUTES>(irp->AssociatedIrp.SystemBuffer);
            a->MouseIdentifier = MOUSE_SERIAL_HARDWARE;
            a->NumberOfButtons = 2;
            a->InputDataQueueLength = 12;
            information = sizeof(MOUSE_ATTRIBUTES);
        }
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    return Complete(irp, status, information);
}

VOID NTAPI Unload(PDRIVER_OBJECT) {
    if (g_ovt.Extension == NULL) return;

    // Reads and the port-open thread end first: after this nothing of ours
    // runs in another context, and no read reaches a released port.
    OvtStopSerialLink();

    // The speaker is touched only if a tone may still be sounding. A stop
    // routine already running on another processor holds the lock until it
    // is done, or finds the tone stopped and leaves it.
    KIRQL old;
    KeAcquireSpinLock(&g_ovt.ToneLock, &old);
    KeCancelTimer(&g_ovt.ToneTimer);
    KeRemoveQueueDpc(&g_ovt.ToneDpc);
    if (g_ovt.ToneSounding) {
        HalMakeBeep(0);
        g_ovt.ToneSounding = FALSE;
        g_ovt.ToneStale = TRUE;
    }
    KeReleaseSpinLock(&g_ovt.ToneLock, old);

    OvtDeviceExtension* ext = g_ovt.Extension;
    if (ext->PortFile != NULL) {
        ObDereferenceObject(ext->PortFile);
        ext->PortFile = NULL;
        ext->PortDevice = NULL;
    }

    // The pointer-port value stays, as it always has: the device map is
    // volatile and clears at the next boot. A failed load takes it back, as
    // no device ever stood behind it.
    UNICODE_STRING link;
    OvtInitName(&link, kLinkName);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(ext->Self);
    g_ovt.Extension = NULL;
    ExFreePool(g_ovt.ServiceKey.Buffer);
    g_ovt.ServiceKey.Buffer = NULL;

    // Windows 2000 cannot wait for another processor's DPCs: the read
    // completion and the retry and stop routines end with the call that
    // tells unload they are done, or a stop routine just taken from the
    // queue may not have reached its lock yet. A pause lets them leave the
    // image before it goes.
    LARGE_INTEGER pause;
    pause.QuadPart = kUnloadPause;
    KeDelayExecutionThread(KernelMode, FALSE, &pause);
}

}  // namespace

const ovt::TouchHooks g_ovtHooks = {
    NULL, SinkConnected, DeliverBegin, Deliver, DeliverEnd, Beep, NULL, NULL, NULL,
};

// A second beep replaces the first, and only its own timer stops it: the
// first one's is cancelled, or taken from the queue, or, already running on
// another processor, told to leave the speaker alone.
void OvtBeep(ULONG frequency, ULONG milliseconds) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(static_cast<LONG>(milliseconds) * 10000);
    KIRQL old;
    KeAcquireSpinLock(&g_ovt.ToneLock, &old);
    if (!KeCancelTimer(&g_ovt.ToneTimer) && g_ovt.ToneSounding && !KeRemoveQueueDpc(&g_ovt.ToneDpc)) {
        g_ovt.ToneStale = TRUE;
    }
    HalMakeBeep(frequency);
    g_ovt.ToneSounding = TRUE;
    KeSetTimer(&g_ovt.ToneTimer, due, &g_ovt.ToneDpc);
    KeReleaseSpinLock(&g_ovt.ToneLock, old);
}

namespace {

NTSTATUS Start(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    RtlZeroMemory(&g_ovt, sizeof(g_ovt));
    KeInitializeSpinLock(&g_ovt.SettingsLock);
    g_ovt.Touch.Lock = &kSettingsLock;
    // Ready before the device exists: a test beep may come before the port.
    KeInitializeTimer(&g_ovt.ToneTimer);
    KeInitializeDpc(&g_ovt.ToneDpc, ToneDpc, NULL);
    KeInitializeSpinLock(&g_ovt.ToneLock);
    OvtInitSerialLink();

    // Not STATUS_INSUFFICIENT_RESOURCES: the load has always failed so here,
    // and the event log's entry reads the same on every release.
    if (!OvtCopyName(&g_ovt.ServiceKey, registryPath, NULL, 0)) return STATUS_ALLOTTED_SPACE_EXCEEDED;

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchFile;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchFile;
    driver->MajorFunction[IRP_MJ_READ] = DispatchFile;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchFile;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternal;
    driver->DriverUnload = Unload;

    UNICODE_STRING deviceName, linkName;
    OvtInitName(&deviceName, kDeviceName);
    OvtInitName(&linkName, kLinkName);
    PDEVICE_OBJECT device = NULL;
    OvtDeviceExtension* ext = NULL;
    HANDLE thread = NULL;

    NTSTATUS status = OvtLoadParameters(&g_ovt.Touch.Settings);
    if (!NT_SUCCESS(status)) goto FreePath;
    status = IoCreateDevice(driver, sizeof(OvtDeviceExtension), &deviceName, FILE_DEVICE_MOUSE, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) goto FreePath;
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) goto DeleteDevice;

    ext = static_cast<OvtDeviceExtension*>(device->DeviceExtension);
    ext->Self = device;
    ext->PortDevice = NULL;
    ext->PortFile = NULL;
    g_ovt.Extension = ext;
    OvtRegisterPointerPort();
    device->Flags |= DO_BUFFERED_IO;

    status = PsCreateSystemThread(&thread, 0, NULL, NULL, NULL, OvtPortOpenThread, NULL);
    if (!NT_SUCCESS(status)) goto Unregister;
    // Unload waits for the thread; without a reference to wait on, the
    // driver must never be unloaded.
    if (!NT_SUCCESS(ObReferenceObjectByHandle(thread, SYNCHRONIZE, NULL, KernelMode, &g_ovt.OpenThread, NULL))) {
        g_ovt.OpenThread = NULL;
        driver->DriverUnload = NULL;
    }
    ZwClose(thread);
    return status;

    // A failed step undoes the ones before it, last first.
Unregister:
    OvtUnregisterPointerPort();
    g_ovt.Extension = NULL;
    IoDeleteSymbolicLink(&linkName);
DeleteDevice:
    IoDeleteDevice(device);
FreePath:
    ExFreePool(g_ovt.ServiceKey.Buffer);
    g_ovt.ServiceKey.Buffer = NULL;
    return status;
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    OvtEventLogInit(driver);
    const NTSTATUS status = Start(driver, registryPath);
    if (!NT_SUCCESS(status)) OvtLogLoadFailed(status);
    return status;
}
