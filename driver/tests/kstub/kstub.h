// Host stand-in for the kernel services the driver binding calls: the same
// names, types and field names as the DDK, for exactly what the binding
// uses. Behaviour lives in kstub.cpp; tests steer it through sim.h.
#ifndef OVTOUCH_DRIVER_KSTUB_KSTUB_H
#define OVTOUCH_DRIVER_KSTUB_KSTUB_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#define NTAPI
#define IN
#define OUT
#define OPTIONAL

typedef void VOID;
typedef void* PVOID;
typedef uint8_t UCHAR, *PUCHAR, BOOLEAN, *PBOOLEAN, KIRQL, *PKIRQL;
typedef int8_t CCHAR;
typedef int16_t CSHORT;
typedef uint16_t USHORT;
typedef uint32_t ULONG, *PULONG, ACCESS_MASK;
typedef int32_t LONG, NTSTATUS;
typedef int64_t LONGLONG;
typedef uintptr_t ULONG_PTR;
typedef char16_t WCHAR, *PWCH, *PWSTR;
typedef const char16_t* PCWSTR;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;

#define TRUE 1
#define FALSE 0

#define NT_SUCCESS(s) (static_cast<NTSTATUS>(s) >= 0)

#define STATUS_SUCCESS                   static_cast<NTSTATUS>(0x00000000)
#define STATUS_TIMEOUT                   static_cast<NTSTATUS>(0x00000102)
#define STATUS_PENDING                   static_cast<NTSTATUS>(0x00000103)
#define STATUS_BUFFER_OVERFLOW           static_cast<NTSTATUS>(0x80000005)
#define STATUS_UNSUCCESSFUL              static_cast<NTSTATUS>(0xC0000001)
#define STATUS_NOT_IMPLEMENTED           static_cast<NTSTATUS>(0xC0000002)
#define STATUS_INVALID_PARAMETER         static_cast<NTSTATUS>(0xC000000D)
#define STATUS_INVALID_DEVICE_REQUEST    static_cast<NTSTATUS>(0xC0000010)
#define STATUS_MORE_PROCESSING_REQUIRED  static_cast<NTSTATUS>(0xC0000016)
#define STATUS_ACCESS_DENIED             static_cast<NTSTATUS>(0xC0000022)
#define STATUS_BUFFER_TOO_SMALL          static_cast<NTSTATUS>(0xC0000023)
#define STATUS_OBJECT_NAME_NOT_FOUND     static_cast<NTSTATUS>(0xC0000034)
#define STATUS_OBJECT_NAME_COLLISION     static_cast<NTSTATUS>(0xC0000035)
#define STATUS_OBJECT_PATH_NOT_FOUND     static_cast<NTSTATUS>(0xC000003A)
#define STATUS_SHARING_VIOLATION         static_cast<NTSTATUS>(0xC0000043)
#define STATUS_ALLOTTED_SPACE_EXCEEDED   static_cast<NTSTATUS>(0xC0000099)
#define STATUS_INSUFFICIENT_RESOURCES    static_cast<NTSTATUS>(0xC000009A)
#define STATUS_IO_TIMEOUT                static_cast<NTSTATUS>(0xC00000B5)
#define STATUS_NOT_SUPPORTED             static_cast<NTSTATUS>(0xC00000BB)
#define STATUS_CANCELLED                 static_cast<NTSTATUS>(0xC0000120)
#define STATUS_DEVICE_DATA_ERROR         static_cast<NTSTATUS>(0xC000009C)
#define STATUS_DELETE_PENDING            static_cast<NTSTATUS>(0xC0000056)
#define STATUS_REGISTRY_CORRUPT          static_cast<NTSTATUS>(0xC000014C)

#define PASSIVE_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2

#define RtlZeroMemory(d, n) std::memset((d), 0, (n))
#define RtlCopyMemory(d, s, n) std::memcpy((d), (s), (n))

struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
typedef UNICODE_STRING* PUNICODE_STRING;

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
typedef LARGE_INTEGER* PLARGE_INTEGER;

// --- objects and registry --------------------------------------------------

#define OBJ_CASE_INSENSITIVE 0x00000040
#define OBJ_KERNEL_HANDLE 0x00000200
#define SYNCHRONIZE 0x00100000
#define KEY_READ 0x00020019
#define KEY_WRITE 0x00020006
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define REG_OPTION_VOLATILE 0x00000001
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define RTL_REGISTRY_ABSOLUTE 0
#define RTL_REGISTRY_DEVICEMAP 4

struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
typedef OBJECT_ATTRIBUTES* POBJECT_ATTRIBUTES;

#define InitializeObjectAttributes(p, n, a, r, s) \
    do {                                          \
        (p)->Length = sizeof(OBJECT_ATTRIBUTES);  \
        (p)->RootDirectory = (r);                 \
        (p)->Attributes = (a);                    \
        (p)->ObjectName = (n);                    \
        (p)->SecurityDescriptor = (s);            \
        (p)->SecurityQualityOfService = nullptr;  \
    } while (0)

enum KEY_VALUE_INFORMATION_CLASS { KeyValueBasicInformation, KeyValueFullInformation, KeyValuePartialInformation };

struct KEY_VALUE_PARTIAL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataLength;
    UCHAR Data[1];
};

typedef PVOID POBJECT_TYPE;
enum KPROCESSOR_MODE { KernelMode, UserMode };
enum KWAIT_REASON { Executive };
enum POOL_TYPE { NonPagedPool, PagedPool };

// --- dispatcher objects ------------------------------------------------------

enum EVENT_TYPE { NotificationEvent, SynchronizationEvent };

struct KEVENT {
    ULONG StubMagic;
    LONG Signaled;
    EVENT_TYPE Type;
};
typedef KEVENT* PKEVENT;

struct KDPC;
typedef VOID (*PKDEFERRED_ROUTINE)(KDPC* dpc, PVOID context, PVOID arg1, PVOID arg2);
struct KDPC {
    ULONG StubMagic;
    PKDEFERRED_ROUTINE DeferredRoutine;
    PVOID DeferredContext;
    BOOLEAN Queued;
};
typedef KDPC* PKDPC;

struct KTIMER {
    ULONG StubMagic;
    BOOLEAN Pending;
    LONGLONG DueTime;  // stand-in clock, 100 ns units
    PKDPC Dpc;
};
typedef KTIMER* PKTIMER;

typedef VOID (*PKSTART_ROUTINE)(PVOID context);

typedef ULONG_PTR KSPIN_LOCK, *PKSPIN_LOCK;

// --- I/O ---------------------------------------------------------------------

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_READ 0x03
#define IRP_MJ_WRITE 0x04
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_INTERNAL_DEVICE_CONTROL 0x0f
#define IRP_MJ_CLEANUP 0x12
#define IRP_MJ_MAXIMUM_FUNCTION 0x1b

#define SL_INVOKE_ON_CANCEL 0x20
#define SL_INVOKE_ON_SUCCESS 0x40
#define SL_INVOKE_ON_ERROR 0x80

#define IO_NO_INCREMENT 0
#define DO_BUFFERED_IO 0x00000004
#define DO_DEVICE_INITIALIZING 0x00000080
#define FILE_DEVICE_MOUSE 0x0000000f
#define FILE_DEVICE_SERIAL_PORT 0x0000001b

#define METHOD_BUFFERED 0
#define METHOD_NEITHER 3
#define CTL_CODE(t, f, m, a) (((t) << 16) | ((a) << 14) | ((f) << 2) | (m))

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
struct IRP;
typedef DEVICE_OBJECT* PDEVICE_OBJECT;
typedef DRIVER_OBJECT* PDRIVER_OBJECT;
typedef IRP* PIRP;

typedef NTSTATUS (*PDRIVER_DISPATCH)(PDEVICE_OBJECT device, PIRP irp);
typedef VOID (*PDRIVER_UNLOAD)(PDRIVER_OBJECT driver);
typedef NTSTATUS (*PIO_COMPLETION_ROUTINE)(PDEVICE_OBJECT device, PIRP irp, PVOID context);
typedef VOID (*PDRIVER_CANCEL)(PDEVICE_OBJECT device, PIRP irp);

struct DRIVER_OBJECT {
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
    PDRIVER_UNLOAD DriverUnload;
};

struct DEVICE_OBJECT {
    PDRIVER_OBJECT DriverObject;
    PVOID DeviceExtension;
    ULONG Flags;
    ULONG DeviceType;
    CCHAR StackSize;
};

struct FILE_OBJECT {
    PDEVICE_OBJECT DeviceObject;
};
typedef FILE_OBJECT* PFILE_OBJECT;

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
};
typedef IO_STATUS_BLOCK* PIO_STATUS_BLOCK;

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Flags;
    UCHAR Control;
    union {
        struct {
            ULONG Length;
            ULONG Key;
            LARGE_INTEGER ByteOffset;
        } Read;
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
            PVOID Type3InputBuffer;
        } DeviceIoControl;
    } Parameters;
    PDEVICE_OBJECT DeviceObject;
    PFILE_OBJECT FileObject;
    PIO_COMPLETION_ROUTINE CompletionRoutine;
    PVOID Context;
};
typedef IO_STACK_LOCATION* PIO_STACK_LOCATION;

struct IRP {
    IO_STATUS_BLOCK IoStatus;
    union {
        PVOID SystemBuffer;
    } AssociatedIrp;
    BOOLEAN Cancel;
    CCHAR StackCount;
    CCHAR CurrentLocation;
    PIO_STATUS_BLOCK UserIosb;
    PKEVENT UserEvent;
    PVOID UserBuffer;
    PDRIVER_CANCEL CancelRoutine;
    struct {
        struct {
            PIO_STACK_LOCATION CurrentStackLocation;
        } Overlay;
    } Tail;
    // Stand-in bookkeeping.
    IO_STACK_LOCATION* StubStack;
    bool StubThreaded;        // built by IoBuildDeviceIoControlRequest
    bool StubAllocated;       // from IoAllocateIrp: the driver's own
    bool StubOutstanding;     // in the hands of a lower driver
    int StubCompletions;      // IoCompleteRequest calls since the last reuse
    CCHAR StubBoost;
    void* StubOwnedBuffer;
    ULONG StubOutputLength;
};

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation; }
inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation - 1; }
inline VOID IoSetCompletionRoutine(PIRP irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN onSuccess,
                                   BOOLEAN onError, BOOLEAN onCancel) {
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->CompletionRoutine = routine;
    sp->Context = context;
    sp->Control = 0;
    if (onSuccess) sp->Control |= SL_INVOKE_ON_SUCCESS;
    if (onError) sp->Control |= SL_INVOKE_ON_ERROR;
    if (onCancel) sp->Control |= SL_INVOKE_ON_CANCEL;
}

// --- mouse class and serial port records ---------------------------------------

struct CONNECT_DATA {
    PDEVICE_OBJECT ClassDeviceObject;
    PVOID ClassService;
};
typedef CONNECT_DATA* PCONNECT_DATA;

struct MOUSE_INPUT_DATA {
    USHORT UnitId;
    USHORT Flags;
    union {
        ULONG Buttons;
        struct {
            USHORT ButtonFlags;
            USHORT ButtonData;
        };
    };
    ULONG RawButtons;
    LONG LastX;
    LONG LastY;
    ULONG ExtraInformation;
};
typedef MOUSE_INPUT_DATA* PMOUSE_INPUT_DATA;

struct MOUSE_ATTRIBUTES {
    USHORT MouseIdentifier;
    USHORT NumberOfButtons;
    USHORT SampleRate;
    ULONG InputDataQueueLength;
};
typedef MOUSE_ATTRIBUTES* PMOUSE_ATTRIBUTES;
#define MOUSE_SERIAL_HARDWARE 4

#define IOCTL_INTERNAL_MOUSE_CONNECT CTL_CODE(0x0f, 0x0080, METHOD_NEITHER, 0)
#define IOCTL_INTERNAL_MOUSE_DISCONNECT CTL_CODE(0x0f, 0x0100, METHOD_NEITHER, 0)
#define IOCTL_INTERNAL_MOUSE_ENABLE CTL_CODE(0x0f, 0x0200, METHOD_NEITHER, 0)
#define IOCTL_INTERNAL_MOUSE_DISABLE CTL_CODE(0x0f, 0x0400, METHOD_NEITHER, 0)
#define IOCTL_MOUSE_QUERY_ATTRIBUTES CTL_CODE(0x0f, 0, METHOD_BUFFERED, 0)

struct SERIAL_LINE_CONTROL {
    UCHAR StopBits;
    UCHAR Parity;
    UCHAR WordLength;
};
struct SERIAL_BAUD_RATE {
    ULONG BaudRate;
};
struct SERIAL_TIMEOUTS {
    ULONG ReadIntervalTimeout;
    ULONG ReadTotalTimeoutMultiplier;
    ULONG ReadTotalTimeoutConstant;
    ULONG WriteTotalTimeoutMultiplier;
    ULONG WriteTotalTimeoutConstant;
};
#define STOP_BIT_1 0
#define NO_PARITY 0
#define IOCTL_SERIAL_SET_BAUD_RATE CTL_CODE(FILE_DEVICE_SERIAL_PORT, 1, METHOD_BUFFERED, 0)
#define IOCTL_SERIAL_SET_LINE_CONTROL CTL_CODE(FILE_DEVICE_SERIAL_PORT, 3, METHOD_BUFFERED, 0)
#define IOCTL_SERIAL_SET_TIMEOUTS CTL_CODE(FILE_DEVICE_SERIAL_PORT, 7, METHOD_BUFFERED, 0)

// --- error log ---------------------------------------------------------------------

struct IO_ERROR_LOG_PACKET {
    UCHAR MajorFunctionCode;
    UCHAR RetryCount;
    USHORT DumpDataSize;
    USHORT NumberOfStrings;
    USHORT StringOffset;
    USHORT EventCategory;
    NTSTATUS ErrorCode;
    ULONG UniqueErrorValue;
    NTSTATUS FinalStatus;
    ULONG SequenceNumber;
    ULONG IoControlCode;
    LARGE_INTEGER DeviceOffset;
    ULONG DumpData[1];
};
typedef IO_ERROR_LOG_PACKET* PIO_ERROR_LOG_PACKET;
#define ERROR_LOG_MAXIMUM_SIZE 152  // the x86 kernel's limit

// --- routines ------------------------------------------------------------------

PVOID ExAllocatePoolWithTag(POOL_TYPE type, size_t bytes, ULONG tag);
VOID ExFreePool(PVOID p);

NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name, ULONG type,
                        ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device);
VOID IoDeleteDevice(PDEVICE_OBJECT device);
NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target);
NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link);
NTSTATUS IoCallDriver(PDEVICE_OBJECT device, PIRP irp);
VOID IoCompleteRequest(PIRP irp, CCHAR boost);
PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN chargeQuota);
VOID IoFreeIrp(PIRP irp);
VOID IoReuseIrp(PIRP irp, NTSTATUS status);
BOOLEAN IoCancelIrp(PIRP irp);
PIRP IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength, PVOID output,
                                   ULONG outputLength, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK iosb);
NTSTATUS IoGetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK access, PFILE_OBJECT* file,
                                  PDEVICE_OBJECT* device);

VOID ObDereferenceObject(PVOID object);
NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK access, POBJECT_TYPE type, KPROCESSOR_MODE mode,
                                   PVOID* object, PVOID info);

VOID KeInitializeEvent(PKEVENT event, EVENT_TYPE type, BOOLEAN state);
LONG KeSetEvent(PKEVENT event, LONG increment, BOOLEAN wait);
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout);
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval);
VOID KeInitializeTimer(PKTIMER timer);
VOID KeInitializeDpc(PKDPC dpc, PKDEFERRED_ROUTINE routine, PVOID context);
BOOLEAN KeSetTimer(PKTIMER timer, LARGE_INTEGER due, PKDPC dpc);
BOOLEAN KeCancelTimer(PKTIMER timer);
BOOLEAN KeRemoveQueueDpc(PKDPC dpc);
VOID KeInitializeSpinLock(PKSPIN_LOCK lock);
VOID KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL old);
VOID KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL old);
VOID KeRaiseIrql(KIRQL level, PKIRQL old);
VOID KeLowerIrql(KIRQL level);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);

NTSTATUS PsCreateSystemThread(PHANDLE handle, ULONG access, POBJECT_ATTRIBUTES oa, HANDLE process, PVOID clientId,
                              PKSTART_ROUTINE start, PVOID context);
NTSTATUS PsTerminateSystemThread(NTSTATUS status);

NTSTATUS ZwClose(HANDLE handle);
NTSTATUS ZwOpenKey(PHANDLE key, ACCESS_MASK access, POBJECT_ATTRIBUTES oa);
NTSTATUS ZwCreateKey(PHANDLE key, ACCESS_MASK access, POBJECT_ATTRIBUTES oa, ULONG titleIndex,
                     PUNICODE_STRING keyClass, ULONG options, PULONG disposition);
NTSTATUS ZwQueryValueKey(HANDLE key, PUNICODE_STRING name, KEY_VALUE_INFORMATION_CLASS cls, PVOID info,
                         ULONG length, PULONG resultLength);
NTSTATUS RtlWriteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName, ULONG type, PVOID data,
                               ULONG length);
NTSTATUS RtlDeleteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName);

BOOLEAN HalMakeBeep(ULONG frequency);
PVOID IoAllocateErrorLogEntry(PVOID ioObject, UCHAR entrySize);
VOID IoWriteErrorLogEntry(PVOID entry);

#endif
