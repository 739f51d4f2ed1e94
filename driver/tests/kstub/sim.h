// Test side of the kernel stand-in: the simulated world the driver runs in
// (serial ports, a mouse class, registry, speaker, clock), failure
// injection and what was recorded.
#ifndef OVTOUCH_DRIVER_KSTUB_SIM_H
#define OVTOUCH_DRIVER_KSTUB_SIM_H

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "kstub.h"

namespace kstub {

// Something the stand-in cannot go on from (a wait that would never end, a
// misuse of a request); ends the test.
struct SimError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::u16string U16(const char* ascii);
std::string Narrow(const std::u16string& s);

// One read result the port hands out: a byte, an error, or success without
// a byte.
struct ReadItem {
    NTSTATUS Status;
    ULONG Bytes;
    UCHAR Byte;
};

struct PortIoctl {
    ULONG Code;
    std::vector<UCHAR> Input;
    ULONG OutputLength;
};

// A serial port driver. Reads complete at once while data is queued and
// `inlineCompletion` holds; otherwise they wait for Deliver().
class SimPort {
public:
    explicit SimPort(const std::u16string& name);
    ~SimPort();

    void QueueBytes(const std::vector<UCHAR>& bytes);
    void QueueError(NTSTATUS status);
    void QueueEmpty();
    // Completes the waiting read (and the ones issued after it) from the
    // port's own context at DISPATCH_LEVEL while data is queued.
    size_t Deliver();
    // Completes a waiting read with this status.
    bool CompletePending(NTSTATUS status);
    bool ReadPending() const { return pendingRead_ != nullptr; }
    void CompletePendingIoctls();

    std::u16string Name;
    DEVICE_OBJECT Device{};
    DRIVER_OBJECT Driver{};
    bool InlineCompletion = true;
    bool PendIoctls = false;  // until CompletePendingIoctls or a cancel
    bool IgnoreIoctlCancels = false;
    std::map<ULONG, NTSTATUS> IoctlStatus;  // by code; success otherwise
    std::vector<PortIoctl> Ioctls;
    std::deque<ReadItem> Queue;
    int OpenFiles = 0;
    int Opens = 0;
    int Reads = 0;
    int ReadsWhileClosed = 0;
    int Cancels = 0;
    int ReadsWithWrongLength = 0;
    // Fails every read at once with this status while it is not success,
    // for as long as it is set: a port stuck in an error.
    NTSTATUS FailEveryRead = STATUS_SUCCESS;
    // Completes every read at once with success and no byte while set: a
    // port whose reads return early with nothing.
    bool EmptyEveryRead = false;
    // Breaks under its users (a latched error, a device that went away):
    // fails the waiting read and every later one with `status` until each
    // file open now has been closed; only a reopen mends it.
    void Break(NTSTATUS status);
    NTSTATUS Broken = STATUS_SUCCESS;
    bool Present = true;  // opens fail while false
    int IgnoreCancels = 0;  // cancels that find the read between two reads
    // Sees every read as it is taken (null) and as it is completed, before
    // the completion routines run: the stream as the port delivered it.
    std::function<void(const ReadItem* completed)> Watch;

private:
    static NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp);
    static VOID Cancel(PDEVICE_OBJECT device, PIRP irp);
    static VOID CancelIoctl(PDEVICE_OBJECT device, PIRP irp);
    void CompleteRead(PIRP irp, const ReadItem& item);
    PIRP pendingRead_ = nullptr;
    std::vector<PIRP> pendingIoctls_;
};

struct ClassDelivery {
    MOUSE_INPUT_DATA Record;
    KIRQL Irql;
    size_t Count;  // records in the call
};

// The mouse class driver: a device and a service routine that records.
struct SimMouseClass {
    SimMouseClass() { Device.DeviceExtension = this; }
    DEVICE_OBJECT Device{};
    std::vector<ClassDelivery> Deliveries;
    static VOID Service(PDEVICE_OBJECT device, PMOUSE_INPUT_DATA first, PMOUSE_INPUT_DATA end, PULONG consumed);
};

struct RegValue {
    ULONG Type;
    std::vector<UCHAR> Data;
};

struct RegKey {
    bool Volatile = false;
    std::map<std::u16string, RegValue> Values;  // lower-case names
};

// One entry that reached the System log.
struct LoggedEvent {
    ULONG Code;
    NTSTATUS FinalStatus;
    std::vector<std::string> Strings;
};

struct Request {
    NTSTATUS Status;
    ULONG_PTR Information;
    std::vector<UCHAR> Output;
};

struct World {
    // Clock, 100 ns units; moves only when a wait times out.
    LONGLONG Now = 0;
    KIRQL Irql = PASSIVE_LEVEL;
    int IrqlErrors = 0;

    // Allocation: the n-th allocation from now fails (1 = the next one).
    int FailAllocationAt = 0;
    int Allocations = 0;
    std::map<void*, ULONG> Pool;  // live blocks and their tags
    int LiveIrps = 0;
    int IrpMisuse = 0;  // reuse, free or call while a lower driver holds it
    int FailIrpAllocations = 0;
    int FailBuildRequests = 0;

    NTSTATUS CreateDeviceStatus = STATUS_SUCCESS;
    NTSTATUS CreateLinkStatus = STATUS_SUCCESS;
    NTSTATUS CreateThreadStatus = STATUS_SUCCESS;
    NTSTATUS ReferenceThreadStatus = STATUS_SUCCESS;
    std::map<std::u16string, PDEVICE_OBJECT> Devices;
    std::map<std::u16string, std::u16string> Links;

    // Registry: keys by lower-case absolute path.
    std::map<std::u16string, RegKey> Keys;
    NTSTATUS OpenKeyStatus = STATUS_SUCCESS;
    std::map<std::u16string, NTSTATUS> QueryStatus;  // by lower-case value name
    NTSTATUS WriteStatus = STATUS_SUCCESS;
    int Handles = 0;

    // Ports by name, opened through IoGetDeviceObjectPointer.
    std::vector<std::unique_ptr<SimPort>> Ports;
    std::vector<std::u16string> OpenAttempts;
    std::vector<ACCESS_MASK> OpenAccess;
    bool OpenWithoutFile = false;  // success with no file object
    int LiveObjects = 0;           // referenced file and thread objects

    // Error log: entries written, and allocations of an entry to fail.
    std::vector<LoggedEvent> Events;
    int FailErrorLogEntries = 0;
    int LiveErrorLogEntries = 0;  // allocated, not yet written

    // Speaker.
    std::vector<ULONG> Beeps;  // every HalMakeBeep argument
    ULONG Tone = 0;

    // Timers and DPCs.
    std::vector<PKTIMER> Timers;
    std::vector<PKDPC> DpcQueue;

    // Nesting of IoCallDriver, and the stack spread in the port's read.
    int CallDepth = 0;
    int MaxCallDepth = 0;
    uintptr_t StackLow = 0, StackHigh = 0;

    int Threads = 0;
    int LiveThreads = 0;
    std::string ThreadError;  // what ended a stand-in thread abnormally
    std::string RuleBroken;   // a kernel rule the driver broke, in words
    int TimedWaitsOnTest = 0;

    // Called with a running count at the start of every kernel routine the
    // test's own thread enters at PASSIVE_LEVEL (not while it runs): lets a
    // test make the world move between any two steps of, say, unload.
    std::function<void(int)> BetweenSteps;
    // Called when the test's thread finds a spin lock held by "another
    // processor" (the test set it): must finish that processor's work and
    // release the lock, as the spinning would wait for.
    std::function<void()> LockHeldElsewhere;
    int Steps = 0;
    bool InStep = false;
};

World& W();

// Fresh world: ends every stand-in thread, frees what is left.
void Reset();

SimPort& AddPort(const char* name);  // e.g. "\\??\\COM1"
void RemovePort(const char* name);
SimPort* FindPort(const std::u16string& name);

// Registry helpers, absolute paths like "\\Registry\\Machine\\...".
void RegSetKey(const char* path, bool isVolatile = false);
void RegSetDword(const char* path, const char* name, ULONG value);
void RegSetRaw(const char* path, const char* name, ULONG type, const std::vector<UCHAR>& data);
const RegValue* RegGet(const char* path, const char* name);
bool RegKeyExists(const char* path);

// Threads: each runs only when asked. Run until every thread waits or ends.
void RunThreads();
// A timed wait of every waiting thread times out (time passes), then they
// run again until they wait or end.
void ElapseWaits();
int ThreadsAlive();
// Time passes until every pending timer is due: their DPCs are queued;
// RunDpcs runs them.
void ExpireTimers();
// Time passes: the timers due by then fire.
void AdvanceClock(LONGLONG span);
// Anything of the driver still queued: pending timers, queued DPCs, reads
// held by a port.
int Queued();
void RunDpcs();

// Sends a request to a device as the I/O manager would.
Request Send(PDEVICE_OBJECT device, UCHAR major, ULONG code = 0, const void* in = nullptr, ULONG inLength = 0,
             ULONG outLength = 0);

// Counts of everything still held; all zero after a clean unload.
struct Leaks {
    size_t Pool;
    int Irps;
    int Handles;
    size_t Devices;
    size_t Links;
    int Objects;
    int OpenPortFiles;
    int LiveThreads;
    int ErrorLogEntries;
    bool None() const {
        return Pool == 0 && Irps == 0 && Handles == 0 && Devices == 0 && Links == 0 && Objects == 0 &&
               OpenPortFiles == 0 && LiveThreads == 0 && ErrorLogEntries == 0;
    }
};
Leaks Held();

}  // namespace kstub

#endif
