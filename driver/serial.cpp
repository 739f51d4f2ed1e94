// Serial link: open the port (retrying), set the line, keep one one-byte
// read outstanding.
#include "ovtouch_sys.h"

namespace {

// ReadPhase: who issues the next read. While the issuer is inside the call
// to the port (Issuing), a completion that runs at once only marks Inline
// and returns; the issuer then loops. Bytes keep their order and the stack
// stays two frames deep however many bytes the port has buffered. Lost: the
// loop gave the port up; no read, retry or completion of it is left.
enum : LONG { PhaseIdle = 0, PhaseIssuing = 1, PhaseInline = 2, PhaseLost = 3 };

// A port stuck in an error (a latched line error under abort-on-error, a
// device that is gone) fails every read at once, and the issuer would loop
// at DISPATCH_LEVEL for good. A working line delivers a byte between two
// failed reads, since an error spoils at most the character it came with,
// so eight reads in a row without a byte mean a stuck port, while costing
// a healthy one nothing. From then on each read waits for the retry timer:
// 10 ms, about one clock tick, frees the processor between tries and still
// loses nothing the port has buffered.
const ULONG kByteLessRun = 8;
const LONGLONG kRetryDelay = -10 * 10000LL;

// A port that still fails after a second of retries will not mend while we
// hold it: its device went away, or its error outlives the open. The port-
// open thread then lets it go and opens it anew. Only failures count, so an
// idle port, whose one read simply stays out, is never given up.
const ULONG kRetriesBeforeReopen = 100;

void AcknowledgeStop() {
    if (g_ovt.ReadStopState == OVT_READ_STOP_REQUESTED) {
        g_ovt.ReadStopState = OVT_READ_STOPPED;
        KeSetEvent(&g_ovt.ReadStopped, IO_NO_INCREMENT, FALSE);
    }
}

NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT, PIRP irp, PVOID context);

// `retry`: called by the retry timer, whose read goes out whatever the run.
void IssueReads(bool retry) {
    OvtDeviceExtension* ext = g_ovt.Extension;
    for (;;) {
        if (g_ovt.ReadStopState != OVT_READ_RUNNING) {
            AcknowledgeStop();
            return;
        }
        if (!retry && g_ovt.ByteLessReads >= kByteLessRun) {
            if (g_ovt.Retries >= kRetriesBeforeReopen) {
                OVT_TRACE("OVT: port given up\n");
                OvtLogPortGivenUp();
                InterlockedExchange(&g_ovt.ReadPhase, PhaseLost);
                KeSetEvent(&g_ovt.ThreadWake, IO_NO_INCREMENT, FALSE);
                return;
            }
            ++g_ovt.Retries;
            LARGE_INTEGER due;
            due.QuadPart = kRetryDelay;
            KeSetTimer(&g_ovt.RetryTimer, due, &g_ovt.RetryDpc);
            return;
        }
        retry = false;
        PIRP irp = g_ovt.ReadIrp;
        IoReuseIrp(irp, STATUS_SUCCESS);
        irp->AssociatedIrp.SystemBuffer = &g_ovt.ReadByte;
        PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
        sp->MajorFunction = IRP_MJ_READ;
        sp->Parameters.Read.Length = 1;
        sp->Parameters.Read.ByteOffset.QuadPart = 0;
        IoSetCompletionRoutine(irp, ReadComplete, ext, TRUE, TRUE, TRUE);

        InterlockedExchange(&g_ovt.ReadPhase, PhaseIssuing);
        IoCallDriver(ext->PortDevice, irp);
        if (InterlockedCompareExchange(&g_ovt.ReadPhase, PhaseIdle, PhaseIssuing) == PhaseIssuing) {
            return;  // still outstanding: its completion carries on
        }
    }
}

VOID NTAPI RetryDpc(PKDPC, PVOID, PVOID, PVOID) { IssueReads(true); }

// The request is ours and is reused: never completed upward.
NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT, PIRP irp, PVOID) {
    if (g_ovt.ReadStopState == OVT_READ_RUNNING) {
        const bool ok = irp->IoStatus.Status == STATUS_SUCCESS;
        const ULONG bytes = static_cast<ULONG>(irp->IoStatus.Information);
        // A read that stayed pending found a healthy, idle port: failures
        // before it are no run, however many hours gathered them.
        if (g_ovt.ReadPhase == PhaseIdle) {
            g_ovt.ByteLessReads = 0;
            g_ovt.Retries = 0;
        }
        if (ok && bytes != 0) {
            g_ovt.ByteLessReads = 0;
            g_ovt.Retries = 0;
            OvtLogPortByte();
        } else {
            if (g_ovt.ByteLessReads < kByteLessRun) ++g_ovt.ByteLessReads;
            OVT_TRACE("OVT: read status %08lx bytes %lu\n", static_cast<ULONG>(irp->IoStatus.Status), bytes);
        }
        ovt::TouchOnReadCompleted(&g_ovt.Touch, &g_ovtHooks, ok, bytes, g_ovt.ReadByte);
    }
    if (InterlockedCompareExchange(&g_ovt.ReadPhase, PhaseInline, PhaseIssuing) != PhaseIssuing) {
        IssueReads(false);
    }
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// A port driver may leave a line setting pending; longer than this, and
// the port counts as failing to open.
const LONGLONG kPortRequestLimit = -2 * 10000000LL;  // 2 s

// False when the port left the request pending past the limit. Its answer
// is only traced.
bool PortRequest(ULONG code, PDEVICE_OBJECT port, PVOID input, ULONG inputLength) {
    KEVENT event;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    iosb.Status = STATUS_SUCCESS;
    iosb.Information = 0;
    PIRP irp = IoBuildDeviceIoControlRequest(code, port, input, inputLength, NULL, 0, FALSE, &event, &iosb);
    if (irp == NULL) return true;
    NTSTATUS status = IoCallDriver(port, irp);
    if (status == STATUS_PENDING) {
        LARGE_INTEGER limit;
        limit.QuadPart = kPortRequestLimit;
        if (KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &limit) == STATUS_TIMEOUT) {
            // The request names this frame's event and status block: it must
            // be back before the frame goes. A port driver that honours no
            // cancel keeps the thread here; nothing safe can free it.
            IoCancelIrp(irp);
            KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
            return false;
        } else {
            status = iosb.Status;
        }
    } else if (NT_SUCCESS(status)) {
        status = iosb.Status;
    }
    OVT_TRACE("OVT: request %08lx: %08lx\n", code, static_cast<ULONG>(status));
    return true;
}

// Configures the open port and starts reading; the port is named to the log
// before its first byte can arrive. A failure (a line setting that never
// completes, no read request) lets the port go, to be opened again later.
NTSTATUS StartLink(PDEVICE_OBJECT port, PVOID reference, PCWSTR name) {
    SERIAL_LINE_CONTROL line;
    line.StopBits = STOP_BIT_1;
    line.Parity = NO_PARITY;
    line.WordLength = 8;
    SERIAL_BAUD_RATE baud;
    baud.BaudRate = 9600;
    SERIAL_TIMEOUTS timeouts;
    RtlZeroMemory(&timeouts, sizeof(timeouts));
    // Other answers are not looked at: a port that refuses a setting may
    // still deliver bytes, and reading anyway beats leaving the screen dead.
    const ULONG codes[3] = {IOCTL_SERIAL_SET_LINE_CONTROL, IOCTL_SERIAL_SET_BAUD_RATE, IOCTL_SERIAL_SET_TIMEOUTS};
    const PVOID inputs[3] = {&line, &baud, &timeouts};
    const ULONG lengths[3] = {sizeof(line), sizeof(baud), sizeof(timeouts)};
    bool answered = true;
    for (int i = 0; i < 3 && answered; ++i) answered = PortRequest(codes[i], port, inputs[i], lengths[i]);

    PIRP irp = answered ? IoAllocateIrp(port->StackSize, FALSE) : NULL;
    if (irp == NULL) {
        ObDereferenceObject(reference);
        return answered ? STATUS_INSUFFICIENT_RESOURCES : STATUS_IO_TIMEOUT;
    }
    OvtDeviceExtension* ext = g_ovt.Extension;
    ext->PortDevice = port;
    ext->PortFile = reference;
    g_ovt.ReadIrp = irp;
    // Reports start with the first open only: a reopen after the port was
    // given up must not undo a program's DISABLE_REPORTS.
    if (!g_ovt.PortEverOpened) {
        g_ovt.PortEverOpened = TRUE;
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_ovt.Touch.ReportEnableCount), 1);
    }
    OvtLogPortOpening(name);
    IssueReads(false);
    return STATUS_SUCCESS;
}

// The read loop gave the port up: nothing of it runs any more.
void ReleaseLink() {
    OvtDeviceExtension* ext = g_ovt.Extension;
    IoFreeIrp(g_ovt.ReadIrp);
    g_ovt.ReadIrp = NULL;
    ObDereferenceObject(ext->PortFile);
    ext->PortFile = NULL;
    ext->PortDevice = NULL;
    g_ovt.ByteLessReads = 0;
    g_ovt.Retries = 0;
    InterlockedExchange(&g_ovt.ReadPhase, PhaseIdle);
}

bool Stopping() { return g_ovt.ReadStopState != OVT_READ_RUNNING; }

}  // namespace

// Opens the port, retrying once a second, and starts reading; then sleeps
// until unload, or until the read loop gives the port up and it is opened
// anew. Unload and the read loop wake it through ThreadWake.
VOID NTAPI OvtPortOpenThread(PVOID) {
    LARGE_INTEGER second;
    second.QuadPart = -10000000LL;
    while (!Stopping()) {
        if (KeWaitForSingleObject(&g_ovt.ThreadWake, Executive, KernelMode, FALSE, &second) != STATUS_TIMEOUT) {
            continue;
        }
        // Port is read anew each time: a reload may have changed it.
        WCHAR nameText[] = OVT_W("\\??\\COM1");
        nameText[7] = static_cast<WCHAR>(OVT_W('0') + g_ovt.Touch.Settings.Port);
        UNICODE_STRING name;
        OvtInitName(&name, nameText);

        PDEVICE_OBJECT port = NULL;
        PVOID reference = NULL;
        const NTSTATUS opened = OvtOpenPort(&name, &port, &reference);
        OVT_TRACE("OVT: open COM%lu: %08lx\n", g_ovt.Touch.Settings.Port, opened);
        const NTSTATUS started = NT_SUCCESS(opened) ? StartLink(port, reference, nameText + 4) : opened;
        if (!NT_SUCCESS(started)) {
            OvtLogPortOpenFailed(nameText + 4, started);  // without "\??\"
            continue;
        }
        OvtLogPortOpened();

        while (!Stopping() && g_ovt.ReadPhase != PhaseLost) {
            KeWaitForSingleObject(&g_ovt.ThreadWake, Executive, KernelMode, FALSE, NULL);
        }
        // On unload a port given up stays as it is: unload releases it.
        if (!Stopping()) ReleaseLink();
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

void OvtInitSerialLink() {
    KeInitializeEvent(&g_ovt.ReadStopped, NotificationEvent, FALSE);
    KeInitializeEvent(&g_ovt.ThreadWake, SynchronizationEvent, FALSE);
    KeInitializeTimer(&g_ovt.RetryTimer);
    KeInitializeDpc(&g_ovt.RetryDpc, RetryDpc, NULL);
}

// Unload: afterwards neither the thread nor a read completion can run, and
// the read request is gone. The port itself is released by the caller.
void OvtStopSerialLink() {
    g_ovt.ReadStopState = OVT_READ_STOP_REQUESTED;
    KeSetEvent(&g_ovt.ThreadWake, IO_NO_INCREMENT, FALSE);
    if (g_ovt.OpenThread != NULL) {
        KeWaitForSingleObject(g_ovt.OpenThread, Executive, KernelMode, FALSE, NULL);
        ObDereferenceObject(g_ovt.OpenThread);
        g_ovt.OpenThread = NULL;
    }
    if (g_ovt.ReadIrp == NULL) return;  // the port never opened

    // A cancel can land while the request is between two reads and be
    // forgotten by the reuse; ask again until the stop is acknowledged.
    LARGE_INTEGER poll;
    poll.QuadPart = -1000000LL;  // 100 ms
    do {
        // A retry still waiting will never run now, and a port given up has
        // no read out: the stop is ours to acknowledge. A retry routine
        // already running sees the stop itself, or issues a read to cancel.
        if (KeCancelTimer(&g_ovt.RetryTimer) || KeRemoveQueueDpc(&g_ovt.RetryDpc) || g_ovt.ReadPhase == PhaseLost) {
            AcknowledgeStop();
        } else {
            IoCancelIrp(g_ovt.ReadIrp);
        }
    } while (KeWaitForSingleObject(&g_ovt.ReadStopped, Executive, KernelMode, FALSE, &poll) == STATUS_TIMEOUT);
    IoFreeIrp(g_ovt.ReadIrp);
    g_ovt.ReadIrp = NULL;
}
