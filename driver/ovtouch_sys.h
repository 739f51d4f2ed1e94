// Kernel binding of OVTouch.SYS: the driver's one state block and the
// routines its source files share.
#ifndef OVTOUCH_DRIVER_OVTOUCH_SYS_H
#define OVTOUCH_DRIVER_OVTOUCH_SYS_H

#include "eventlog.h"
#include "kernel.h"
#include "touch/control.h"

// A test build (OVT_TRACE_BUILD) reports the link's states to the kernel
// debugger; the shipped image has none of it.
#if defined(OVT_TRACE_BUILD) && !defined(OVT_KSTUB)
#define OVT_TRACE(...) DbgPrint(__VA_ARGS__)
#else
#define OVT_TRACE(...) ((void)0)
#endif

// Pool tag "Ddk ".
#define OVT_POOL_TAG 0x206B6444UL  // "Ddk " in memory order

// ReadStopState.
#define OVT_READ_RUNNING 0
#define OVT_READ_STOP_REQUESTED 1
#define OVT_READ_STOPPED 2

struct OvtDeviceExtension {
    PDEVICE_OBJECT Self;
    PDEVICE_OBJECT PortDevice;
    PVOID PortFile;  // our reference on the open port; released at unload
};

// The mouse class driver's service routine.
typedef VOID (NTAPI *OvtClassService)(PDEVICE_OBJECT classDevice, PMOUSE_INPUT_DATA first,
                                      PMOUSE_INPUT_DATA end, PULONG consumed);

struct OvtLoggedCorrection {
    ULONG Stored;
    ULONG Used;
    BOOLEAN Logged;
};

struct OvtState {
    ovt::TouchState Touch;
    KSPIN_LOCK SettingsLock;     // Touch.Lock: the settings between requests and packets

    // Serial link.
    PIRP ReadIrp;
    UCHAR ReadByte;
    volatile UCHAR ReadStopState;
    volatile LONG ReadPhase;     // who issues the next read, see serial.cpp
    ULONG ByteLessReads;         // reads in a row that brought no byte
    ULONG Retries;               // timer retries since the last byte
    KTIMER RetryTimer;           // re-issues the read of a stuck port
    KDPC RetryDpc;
    KEVENT ReadStopped;          // set with ReadStopState 2
    BOOLEAN PortEverOpened;      // a reopen keeps the programs' report count
    PVOID OpenThread;            // referenced port-open thread
    KEVENT ThreadWake;           // unload, or the read loop giving a port up

    // Class connection.
    CONNECT_DATA Class;
    KIRQL DeliverIrql;

    // Tone output. ToneLock orders a tone's start and its stop timer's set
    // against the stop routine; ToneStale: the routine running now stops a
    // tone replaced meanwhile, and must leave the new one sounding.
    KTIMER ToneTimer;
    KDPC ToneDpc;
    KSPIN_LOCK ToneLock;
    BOOLEAN ToneSounding;
    BOOLEAN ToneStale;

    OvtDeviceExtension* Extension;
    UNICODE_STRING ServiceKey;
    OvtLoggedCorrection Corrections[OVT_PARAMETER_COUNT];  // by row, this load
};

extern OvtState g_ovt;

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

// A counted name over `text`: `length` bytes, then a terminating zero. The
// second form takes a constant's whole text.
inline void OvtInitName(PUNICODE_STRING name, PWCH text, USHORT length) {
    name->Buffer = text;
    name->Length = length;
    name->MaximumLength = static_cast<USHORT>(length + sizeof(WCHAR));
}
template <size_t N>
inline void OvtInitName(PUNICODE_STRING name, WCHAR (&text)[N]) {
    OvtInitName(name, text, static_cast<USHORT>((N - 1) * sizeof(WCHAR)));
}

// parameters.cpp
// `base`, then `suffixBytes` of `suffix` (NULL for none) and a zero, in
// pool. False when the memory cannot be had or the whole is too long for a
// counted name.
bool OvtCopyName(PUNICODE_STRING copy, const UNICODE_STRING* base, const WCHAR* suffix, USHORT suffixBytes);
// *started (when given): false when the load could not start, settings untouched.
NTSTATUS OvtLoadParameters(ovt::DriverSettings* settings, bool* started = NULL);
void OvtRegisterPointerPort();
void OvtUnregisterPointerPort();

// serial.cpp
void OvtInitSerialLink();
VOID NTAPI OvtPortOpenThread(PVOID context);
void OvtStopSerialLink();

// port_open.cpp: the only place that knows how a port is found. *reference
// is what the driver dereferences when it lets the port go.
NTSTATUS OvtOpenPort(PUNICODE_STRING name, PDEVICE_OBJECT* device, PVOID* reference);

// entry.cpp
extern const ovt::TouchHooks g_ovtHooks;
void OvtBeep(ULONG frequency, ULONG milliseconds);

#endif
