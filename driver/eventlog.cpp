// Error-log entries: one per change of state, never per attempt.
#include "ovtouch_sys.h"

#ifndef OVT_KSTUB
#include "ovtmsg.h"
// The message table and these codes must agree.
static_assert(OVT_MSG_PORT_OPEN_FAILED == static_cast<NTSTATUS>(OVT_EVENT_PORT_OPEN_FAILED), "event code");
static_assert(OVT_MSG_PORT_GIVEN_UP == static_cast<NTSTATUS>(OVT_EVENT_PORT_GIVEN_UP), "event code");
static_assert(OVT_MSG_PORT_READING == static_cast<NTSTATUS>(OVT_EVENT_PORT_READING), "event code");
static_assert(OVT_MSG_VALUE_CORRECTED == static_cast<NTSTATUS>(OVT_EVENT_VALUE_CORRECTED), "event code");
static_assert(OVT_MSG_LOAD_FAILED == static_cast<NTSTATUS>(OVT_EVENT_LOAD_FAILED), "event code");
#endif

namespace {

enum : LONG { LinkWorking = 0, LinkOpenFailing = 1, LinkGivenUp = 2 };

// The port-open thread tries once a second: sixty failed opens in a row
// are a minute of a port that is not there.
const ULONG kQuietOpenFailures = 60;

struct EventLogState {
    PDRIVER_OBJECT Driver;
    volatile LONG Link;
    ULONG OpenFailures;  // in a row, since the load, a give-up or an open
    WCHAR Port[8];       // the port last opened, for the give-up entry
};

EventLogState g_log;

// Insertion strings %2, %3, ... (%1 is the system's device name field), in
// 48 places. The characters of all strings together stop at place 46, so a
// long string cuts the ones after it, numbers included, short or to empty
// strings; places 47 and 48 keep room for two zeros, and a string that
// comes when all 48 are taken is left out.
struct Strings {
    WCHAR Text[48];
    USHORT Used;
    USHORT Count;

    template <typename Char>
    void Add(const Char* s) {
        while (*s != 0 && Used < 46) Text[Used++] = static_cast<WCHAR>(*s++);
        if (Used == 48) return;
        Text[Used++] = 0;
        ++Count;
    }
    void AddNumber(ULONG v, bool hex) {
        WCHAR digits[11];  // "0x" and 8 digits, or 10 decimal ones, and the zero
        int n = 10;
        digits[n] = 0;
        const ULONG base = hex ? 16 : 10;
        do {
            const ULONG d = v % base;
            digits[--n] = static_cast<WCHAR>(d < 10 ? OVT_W('0') + d : OVT_W('A') + d - 10);
            v /= base;
        } while (v != 0);
        if (hex) {
            while (n > 2) digits[--n] = OVT_W('0');
            digits[--n] = OVT_W('x');
            digits[--n] = OVT_W('0');
        }
        Add(digits + n);
    }
};

void Write(ULONG code, NTSTATUS status, const Strings& strings) {
    if (g_log.Driver == NULL) return;
    const ULONG bytes = sizeof(IO_ERROR_LOG_PACKET) + strings.Used * sizeof(WCHAR);
    if (bytes > ERROR_LOG_MAXIMUM_SIZE) return;
    PIO_ERROR_LOG_PACKET entry =
        static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(g_log.Driver, static_cast<UCHAR>(bytes)));
    if (entry == NULL) return;  // this entry is lost; the state still moves on
    RtlZeroMemory(entry, sizeof(IO_ERROR_LOG_PACKET));
    entry->ErrorCode = static_cast<NTSTATUS>(code);
    entry->FinalStatus = status;
    entry->NumberOfStrings = strings.Count;
    entry->StringOffset = sizeof(IO_ERROR_LOG_PACKET);
    RtlCopyMemory(reinterpret_cast<PUCHAR>(entry) + sizeof(IO_ERROR_LOG_PACKET), strings.Text,
                  strings.Used * sizeof(WCHAR));
    IoWriteErrorLogEntry(entry);
}

void WritePort(ULONG code, PCWSTR port) {
    Strings s = {};
    s.Add(port);
    Write(code, STATUS_SUCCESS, s);
}

}  // namespace

void OvtEventLogInit(PDRIVER_OBJECT driver) {
    RtlZeroMemory(&g_log, sizeof(g_log));
    g_log.Driver = driver;
}

void OvtLogPortOpenFailed(PCWSTR port, NTSTATUS status) {
    if (g_log.Link == LinkOpenFailing || ++g_log.OpenFailures < kQuietOpenFailures) return;
    g_log.Link = LinkOpenFailing;
    Strings s = {};
    s.Add(port);
    s.AddNumber(static_cast<ULONG>(status), true);
    Write(OVT_EVENT_PORT_OPEN_FAILED, status, s);
}

void OvtLogPortOpening(PCWSTR port) {
    USHORT n = 0;
    while (n < 7 && port[n] != 0) {
        g_log.Port[n] = port[n];
        ++n;
    }
    g_log.Port[n] = 0;
    g_log.OpenFailures = 0;
}

void OvtLogPortOpened() {
    if (g_log.Link != LinkOpenFailing) return;
    g_log.Link = LinkWorking;
    WritePort(OVT_EVENT_PORT_READING, g_log.Port);
}

void OvtLogPortGivenUp() {
    g_log.OpenFailures = 0;
    if (g_log.Link == LinkGivenUp) return;
    g_log.Link = LinkGivenUp;
    WritePort(OVT_EVENT_PORT_GIVEN_UP, g_log.Port);
}

void OvtLogPortByte() {
    if (g_log.Link != LinkGivenUp) return;
    g_log.Link = LinkWorking;
    WritePort(OVT_EVENT_PORT_READING, g_log.Port);
}

void OvtLogValueCorrected(const char* name, ULONG stored, ULONG used) {
    Strings s = {};
    s.Add(name);
    s.AddNumber(stored, false);
    s.AddNumber(used, false);
    Write(OVT_EVENT_VALUE_CORRECTED, STATUS_SUCCESS, s);
}

void OvtLogLoadFailed(NTSTATUS status) {
    Strings s = {};
    s.AddNumber(static_cast<ULONG>(status), true);
    Write(OVT_EVENT_LOAD_FAILED, status, s);
}
