// Behaviour of the kernel stand-in. Single CPU, deterministic: system
// threads are real host threads that run only when the test hands them the
// baton, so exactly one piece of code runs at any time.
#include "sim.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace kstub {
namespace {

constexpr ULONG kEventMagic = 0x45564E54;
constexpr ULONG kThreadMagic = 0x54485244;

World g_world;

struct ThreadExit {};

struct SimThread {
    ULONG Magic = kThreadMagic;
    PKSTART_ROUTINE Start = nullptr;
    PVOID Context = nullptr;
    bool Finished = false;
    bool Killed = false;
    bool Waiting = false;
    bool WaitHasTimeout = false;
    bool TimedOut = false;
    PKEVENT WaitingFor = nullptr;
};

// Never destroyed: host threads wait on them until the process ends.
std::mutex& g_baton = *new std::mutex;
std::condition_variable& g_turn = *new std::condition_variable;
SimThread* g_running = nullptr;  // null: the test's own thread
thread_local SimThread* t_self = nullptr;
std::vector<std::unique_ptr<SimThread>> g_threads;
// Stand-in threads waiting for a host thread. A host thread that has run
// one to its end takes the next instead of exiting: creating a host thread
// costs more than a whole fuzz run.
std::deque<SimThread*>& g_unhosted = *new std::deque<SimThread*>;
int g_hosts = 0;

enum class ObjKind { File, Thread };
struct ObjInfo {
    ObjKind Kind;
    int Refs;
    SimPort* Port;
};
std::map<void*, ObjInfo> g_objects;

enum class HandleKind { Key, Thread };
struct HandleInfo {
    HandleKind Kind;
    std::u16string Path;
    SimThread* Thread;
};
std::map<HANDLE, HandleInfo> g_handles;
uintptr_t g_nextHandle = 0x100;
std::vector<PIRP> g_irps;

DEVICE_OBJECT g_nullDevice;  // what a file-less open answers with
DRIVER_OBJECT g_nullDriver;

std::u16string Lower(const std::u16string& s) {
    std::u16string r = s;
    for (auto& c : r) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return r;
}

std::u16string FromCounted(PUNICODE_STRING s) {
    return std::u16string(s->Buffer, s->Length / sizeof(WCHAR));
}

std::u16string FromZ(PCWSTR s) { return std::u16string(s); }

void CheckPassive(const char*) {
    if (g_world.Irql != PASSIVE_LEVEL) ++g_world.IrqlErrors;
}

// Reads a port failed at once since the test last had control: a loop that
// never lets go of the processor shows here instead of hanging the test.
int g_failedAtOnce = 0;
constexpr int kFailedAtOnceLimit = 100000;

void TestHasControl() { g_failedAtOnce = 0; }

// The start of a kernel routine: a step for World::BetweenSteps.
void Step() {
    World& w = g_world;
    if (!w.BetweenSteps || w.InStep || t_self != nullptr || w.Irql != PASSIVE_LEVEL) return;
    w.InStep = true;
    w.BetweenSteps(w.Steps++);
    w.InStep = false;
}

// Baton passing. Called on the test thread: lets `t` run until it waits
// or ends.
void Resume(SimThread* t) {
    std::unique_lock<std::mutex> lock(g_baton);
    g_running = t;
    g_turn.notify_all();
    g_turn.wait(lock, [] { return g_running == nullptr; });
}

// Called on a stand-in thread: hands control back to the test.
void YieldToTest(SimThread* self) {
    std::unique_lock<std::mutex> lock(g_baton);
    g_running = nullptr;
    g_turn.notify_all();
    g_turn.wait(lock, [self] { return g_running == self; });
    if (self->Killed) throw ThreadExit();
}

void HostMain() {
    for (;;) {
        SimThread* self;
        {
            std::unique_lock<std::mutex> lock(g_baton);
            g_turn.wait(lock, [] { return !g_unhosted.empty(); });
            self = g_unhosted.front();
            g_unhosted.pop_front();
            t_self = self;
            g_turn.wait(lock, [self] { return g_running == self; });
        }
        if (!self->Killed) {
            try {
                self->Start(self->Context);
            } catch (const ThreadExit&) {
            } catch (const std::exception& e) {
                g_world.ThreadError = e.what();
            }
        }
        std::unique_lock<std::mutex> lock(g_baton);
        self->Finished = true;
        --g_world.LiveThreads;
        t_self = nullptr;
        g_running = nullptr;
        g_turn.notify_all();
    }
}

HANDLE NewHandle(const HandleInfo& info) {
    HANDLE h = reinterpret_cast<HANDLE>(g_nextHandle);
    g_nextHandle += 4;
    g_handles[h] = info;
    ++g_world.Handles;
    return h;
}

PIRP NewIrp(CCHAR stackSize) {
    PIRP irp = static_cast<PIRP>(std::calloc(1, sizeof(IRP)));
    irp->StubStack = static_cast<IO_STACK_LOCATION*>(std::calloc(stackSize + 1, sizeof(IO_STACK_LOCATION)));
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CCHAR>(stackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = irp->StubStack + stackSize;
    ++g_world.LiveIrps;
    g_irps.push_back(irp);
    return irp;
}

void DeleteIrp(PIRP irp) {
    auto it = std::find(g_irps.begin(), g_irps.end(), irp);
    if (it == g_irps.end()) throw SimError("free of an unknown request");
    g_irps.erase(it);
    std::free(irp->StubOwnedBuffer);
    std::free(irp->StubStack);
    std::free(irp);
    --g_world.LiveIrps;
}

bool EventSignaled(PKEVENT e) {
    if (!e->Signaled) return false;
    if (e->Type == SynchronizationEvent) e->Signaled = 0;
    return true;
}

}  // namespace

World& W() { return g_world; }

std::u16string U16(const char* ascii) {
    std::u16string s;
    for (; *ascii; ++ascii) s.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii)));
    return s;
}

std::string Narrow(const std::u16string& s) {
    std::string r;
    for (char16_t c : s) r.push_back(c < 128 ? static_cast<char>(c) : '?');
    return r;
}

void Reset() {
    for (auto& t : g_threads) {
        if (!t->Finished) {
            t->Killed = true;
            Resume(t.get());
        }
    }
    g_threads.clear();
    g_running = nullptr;
    for (auto& [p, tag] : g_world.Pool) std::free(p);
    for (PIRP irp : std::vector<PIRP>(g_irps)) DeleteIrp(irp);
    for (auto& [name, dev] : g_world.Devices) std::free(dev);
    for (auto& [obj, info] : g_objects) {
        if (info.Kind == ObjKind::File) delete static_cast<PFILE_OBJECT>(obj);
    }
    g_objects.clear();
    g_handles.clear();
    g_world = World();
}

// --- ports -------------------------------------------------------------------

SimPort::SimPort(const std::u16string& name) : Name(name) {
    Device.DriverObject = &Driver;
    Device.DeviceExtension = this;
    Device.DeviceType = FILE_DEVICE_SERIAL_PORT;
    Device.StackSize = 2;  // the driver must size its read request from this
    Driver.MajorFunction[IRP_MJ_READ] = Dispatch;
    Driver.MajorFunction[IRP_MJ_DEVICE_CONTROL] = Dispatch;
}

SimPort::~SimPort() = default;

void SimPort::QueueBytes(const std::vector<UCHAR>& bytes) {
    for (UCHAR b : bytes) Queue.push_back({STATUS_SUCCESS, 1, b});
}
void SimPort::Break(NTSTATUS status) {
    Broken = status;
    CompletePending(status);
}

void SimPort::QueueError(NTSTATUS status) { Queue.push_back({status, 0, 0}); }
void SimPort::QueueEmpty() { Queue.push_back({STATUS_SUCCESS, 0, 0}); }

void SimPort::CompleteRead(PIRP irp, const ReadItem& item) {
    if (Watch) Watch(&item);
    if (item.Bytes != 0) *static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer) = item.Byte;
    irp->IoStatus.Status = item.Status;
    irp->IoStatus.Information = item.Bytes;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

size_t SimPort::Deliver() {
    TestHasControl();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    size_t n = 0;
    while (pendingRead_ != nullptr && !Queue.empty()) {
        PIRP irp = pendingRead_;
        pendingRead_ = nullptr;
        irp->CancelRoutine = nullptr;
        const ReadItem item = Queue.front();
        Queue.pop_front();
        CompleteRead(irp, item);
        ++n;
    }
    KeLowerIrql(old);
    return n;
}

bool SimPort::CompletePending(NTSTATUS status) {
    TestHasControl();
    if (pendingRead_ == nullptr) return false;
    PIRP irp = pendingRead_;
    pendingRead_ = nullptr;
    irp->CancelRoutine = nullptr;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    CompleteRead(irp, {status, 0, 0});
    KeLowerIrql(old);
    return true;
}

void SimPort::CompletePendingIoctls() {
    std::vector<PIRP> irps;
    irps.swap(pendingIoctls_);
    for (PIRP irp : irps) {
        irp->CancelRoutine = nullptr;
        auto it = IoctlStatus.find(IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode);
        irp->IoStatus.Status = it == IoctlStatus.end() ? STATUS_SUCCESS : it->second;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
}

NTSTATUS SimPort::Dispatch(PDEVICE_OBJECT device, PIRP irp) {
    SimPort* port = static_cast<SimPort*>(device->DeviceExtension);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        PortIoctl rec;
        rec.Code = sp->Parameters.DeviceIoControl.IoControlCode;
        rec.OutputLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
        const PUCHAR in = static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer);
        if (in != nullptr) rec.Input.assign(in, in + sp->Parameters.DeviceIoControl.InputBufferLength);
        port->Ioctls.push_back(rec);
        if (port->PendIoctls) {
            port->pendingIoctls_.push_back(irp);
            irp->CancelRoutine = CancelIoctl;
            return STATUS_PENDING;
        }
        auto it = port->IoctlStatus.find(rec.Code);
        const NTSTATUS status = it == port->IoctlStatus.end() ? STATUS_SUCCESS : it->second;
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

    // IRP_MJ_READ
    const uintptr_t frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    World& w = g_world;
    if (w.StackLow == 0 || frame < w.StackLow) w.StackLow = frame;
    if (frame > w.StackHigh) w.StackHigh = frame;
    ++port->Reads;
    if (port->OpenFiles == 0) ++port->ReadsWhileClosed;
    if (sp->Parameters.Read.Length != 1 || irp->AssociatedIrp.SystemBuffer == nullptr) ++port->ReadsWithWrongLength;
    if (port->pendingRead_ != nullptr) ++w.IrpMisuse;  // two reads outstanding
    if (port->Watch) port->Watch(nullptr);
    if (irp->Cancel) {
        port->CompleteRead(irp, {STATUS_CANCELLED, 0, 0});
        return STATUS_CANCELLED;
    }
    const NTSTATUS failure = NT_SUCCESS(port->FailEveryRead) ? port->Broken : port->FailEveryRead;
    if (!NT_SUCCESS(failure) || port->EmptyEveryRead) {
        if (++g_failedAtOnce > kFailedAtOnceLimit) {
            throw SimError("a port answering every read at once without a byte got 100000 reads without the "
                           "test regaining control: the read loop never yields the processor");
        }
        port->CompleteRead(irp, {failure, 0, 0});
        return failure;
    }
    if (port->InlineCompletion && !port->Queue.empty()) {
        const ReadItem item = port->Queue.front();
        port->Queue.pop_front();
        port->CompleteRead(irp, item);
        return item.Status;
    }
    irp->CancelRoutine = Cancel;
    port->pendingRead_ = irp;
    return STATUS_PENDING;
}

VOID SimPort::CancelIoctl(PDEVICE_OBJECT device, PIRP irp) {
    SimPort* port = static_cast<SimPort*>(device->DeviceExtension);
    auto& q = port->pendingIoctls_;
    if (port->IgnoreIoctlCancels || std::find(q.begin(), q.end(), irp) == q.end()) return;
    q.erase(std::find(q.begin(), q.end(), irp));
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

VOID SimPort::Cancel(PDEVICE_OBJECT device, PIRP irp) {
    SimPort* port = static_cast<SimPort*>(device->DeviceExtension);
    if (port->pendingRead_ != irp) return;
    if (port->IgnoreCancels > 0) {
        --port->IgnoreCancels;
        irp->Cancel = FALSE;
        irp->CancelRoutine = Cancel;
        return;
    }
    port->pendingRead_ = nullptr;
    ++port->Cancels;
    port->CompleteRead(irp, {STATUS_CANCELLED, 0, 0});
}

SimPort& AddPort(const char* name) {
    g_world.Ports.push_back(std::make_unique<SimPort>(U16(name)));
    return *g_world.Ports.back();
}

void RemovePort(const char* name) {
    auto& ports = g_world.Ports;
    const std::u16string n = Lower(U16(name));
    ports.erase(std::remove_if(ports.begin(), ports.end(), [&](const std::unique_ptr<SimPort>& p) {
                    return Lower(p->Name) == n;
                }),
                ports.end());
}

SimPort* FindPort(const std::u16string& name) {
    for (auto& p : g_world.Ports) {
        if (Lower(p->Name) == Lower(name)) return p.get();
    }
    return nullptr;
}

VOID SimMouseClass::Service(PDEVICE_OBJECT device, PMOUSE_INPUT_DATA first, PMOUSE_INPUT_DATA end, PULONG consumed) {
    SimMouseClass* mouse = static_cast<SimMouseClass*>(device->DeviceExtension);
    mouse->Deliveries.push_back({*first, g_world.Irql, static_cast<size_t>(end - first)});
    *consumed = static_cast<ULONG>(end - first);
}

// --- registry helpers ----------------------------------------------------------

void RegSetKey(const char* path, bool isVolatile) {
    RegKey& k = g_world.Keys[Lower(U16(path))];
    k.Volatile = isVolatile;
}

void RegSetRaw(const char* path, const char* name, ULONG type, const std::vector<UCHAR>& data) {
    g_world.Keys[Lower(U16(path))].Values[Lower(U16(name))] = {type, data};
}

void RegSetDword(const char* path, const char* name, ULONG value) {
    std::vector<UCHAR> d(4);
    std::memcpy(d.data(), &value, 4);
    RegSetRaw(path, name, REG_DWORD, d);
}

const RegValue* RegGet(const char* path, const char* name) {
    auto k = g_world.Keys.find(Lower(U16(path)));
    if (k == g_world.Keys.end()) return nullptr;
    auto v = k->second.Values.find(Lower(U16(name)));
    return v == k->second.Values.end() ? nullptr : &v->second;
}

bool RegKeyExists(const char* path) { return g_world.Keys.count(Lower(U16(path))) != 0; }

// --- threads, timers ---------------------------------------------------------

void RunThreads() {
    TestHasControl();
    for (size_t i = 0; i < g_threads.size(); ++i) {
        SimThread* t = g_threads[i].get();
        // One still waiting for an unset event would only wait again.
        if (t->Finished || (t->Waiting && !t->WaitingFor->Signaled)) continue;
        Resume(t);
    }
}

void ElapseWaits() {
    for (size_t i = 0; i < g_threads.size(); ++i) {
        SimThread* t = g_threads[i].get();
        if (t->Finished) continue;
        if (t->Waiting && t->WaitHasTimeout) t->TimedOut = true;
        Resume(t);
    }
}

int ThreadsAlive() { return g_world.LiveThreads; }

// Every pending timer that is due by the new time fires: its DPC is queued.
void AdvanceClock(LONGLONG span) {
    g_world.Now += span;
    for (PKTIMER t : g_world.Timers) {
        if (!t->Pending || t->DueTime > g_world.Now) continue;
        t->Pending = FALSE;
        if (t->Dpc != nullptr && !t->Dpc->Queued) {
            t->Dpc->Queued = TRUE;
            g_world.DpcQueue.push_back(t->Dpc);
        }
    }
}

void ExpireTimers() {
    LONGLONG last = g_world.Now;
    for (PKTIMER t : g_world.Timers) {
        if (t->Pending) last = std::max(last, t->DueTime);
    }
    AdvanceClock(last - g_world.Now);
}

int Queued() {
    int n = static_cast<int>(g_world.DpcQueue.size());
    for (PKTIMER t : g_world.Timers) n += t->Pending ? 1 : 0;
    for (auto& p : g_world.Ports) n += p->ReadPending() ? 1 : 0;
    return n;
}

void RunDpcs() {
    TestHasControl();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    while (!g_world.DpcQueue.empty()) {
        PKDPC dpc = g_world.DpcQueue.front();
        g_world.DpcQueue.erase(g_world.DpcQueue.begin());
        dpc->Queued = FALSE;
        dpc->DeferredRoutine(dpc, dpc->DeferredContext, nullptr, nullptr);
    }
    KeLowerIrql(old);
}

Request Send(PDEVICE_OBJECT device, UCHAR major, ULONG code, const void* in, ULONG inLength, ULONG outLength) {
    PIRP irp = NewIrp(device->StackSize);
    std::vector<UCHAR> buffer(std::max(inLength, outLength) + 16, 0xEE);
    if (in != nullptr) std::memcpy(buffer.data(), in, inLength);
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = major;
    if (major == IRP_MJ_DEVICE_CONTROL || major == IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        sp->Parameters.DeviceIoControl.IoControlCode = code;
        sp->Parameters.DeviceIoControl.InputBufferLength = inLength;
        sp->Parameters.DeviceIoControl.OutputBufferLength = outLength;
        if ((code & 3) == METHOD_NEITHER) {
            sp->Parameters.DeviceIoControl.Type3InputBuffer = const_cast<void*>(in);
            irp->UserBuffer = buffer.data();
        } else {
            irp->AssociatedIrp.SystemBuffer = buffer.data();
        }
    } else if (major == IRP_MJ_READ || major == IRP_MJ_WRITE) {
        sp->Parameters.Read.Length = outLength;
        irp->AssociatedIrp.SystemBuffer = buffer.data();
    }
    irp->IoStatus.Status = 0x7EADBEEF;
    irp->IoStatus.Information = 0xDEAD;
    const NTSTATUS returned = IoCallDriver(device, irp);
    if (irp->StubCompletions != 1 || irp->StubBoost != IO_NO_INCREMENT || returned != irp->IoStatus.Status) {
        ++g_world.IrpMisuse;
    }
    Request r;
    // The request is freed only by DeleteIrp below; the completion merely marks it.
    // cppcheck-suppress deallocuse
    r.Status = irp->IoStatus.Status;
    // cppcheck-suppress deallocuse
    r.Information = irp->IoStatus.Information;
    r.Output.assign(buffer.begin(), buffer.begin() + outLength);
    DeleteIrp(irp);
    return r;
}

Leaks Held() {
    Leaks l;
    l.Pool = g_world.Pool.size();
    l.Irps = g_world.LiveIrps;
    l.Handles = g_world.Handles;
    l.Devices = g_world.Devices.size();
    l.Links = g_world.Links.size();
    l.Objects = g_world.LiveObjects;
    l.OpenPortFiles = 0;
    for (auto& p : g_world.Ports) l.OpenPortFiles += p->OpenFiles;
    l.LiveThreads = g_world.LiveThreads;
    l.ErrorLogEntries = g_world.LiveErrorLogEntries;
    return l;
}

}  // namespace kstub

using namespace kstub;

// --- the kernel routines ---------------------------------------------------------

PVOID ExAllocatePoolWithTag(POOL_TYPE type, size_t bytes, ULONG tag) {
    Step();
    World& w = g_world;
    if (type == PagedPool && w.Irql > APC_LEVEL) ++w.IrqlErrors;
    ++w.Allocations;
    if (w.FailAllocationAt > 0 && --w.FailAllocationAt == 0) return nullptr;
    void* p = std::malloc(bytes ? bytes : 1);
    w.Pool[p] = tag;
    return p;
}

VOID ExFreePool(PVOID p) {
    Step();
    auto it = g_world.Pool.find(p);
    if (it == g_world.Pool.end()) throw SimError("free of an unknown pool block");
    g_world.Pool.erase(it);
    std::free(p);
}

NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name, ULONG type, ULONG,
                        BOOLEAN, PDEVICE_OBJECT* device) {
    Step();
    CheckPassive("IoCreateDevice");
    if (!NT_SUCCESS(g_world.CreateDeviceStatus)) return g_world.CreateDeviceStatus;
    const std::u16string n = FromCounted(name);
    if (g_world.Devices.count(Lower(n))) return STATUS_OBJECT_NAME_COLLISION;
    const size_t head = (sizeof(DEVICE_OBJECT) + 15) & ~size_t(15);
    char* block = static_cast<char*>(std::calloc(1, head + extensionSize));
    PDEVICE_OBJECT d = reinterpret_cast<PDEVICE_OBJECT>(block);
    d->DriverObject = driver;
    d->DeviceExtension = block + head;
    d->DeviceType = type;
    d->StackSize = 1;
    d->Flags = DO_DEVICE_INITIALIZING;
    g_world.Devices[Lower(n)] = d;
    *device = d;
    return STATUS_SUCCESS;
}

VOID IoDeleteDevice(PDEVICE_OBJECT device) {
    Step();
    CheckPassive("IoDeleteDevice");
    for (auto it = g_world.Devices.begin(); it != g_world.Devices.end(); ++it) {
        if (it->second == device) {
            g_world.Devices.erase(it);
            std::free(device);
            return;
        }
    }
    throw SimError("delete of an unknown device");
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target) {
    Step();
    CheckPassive("IoCreateSymbolicLink");
    if (!NT_SUCCESS(g_world.CreateLinkStatus)) return g_world.CreateLinkStatus;
    const std::u16string l = Lower(FromCounted(link));
    if (g_world.Links.count(l)) return STATUS_OBJECT_NAME_COLLISION;
    g_world.Links[l] = FromCounted(target);
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link) {
    Step();
    CheckPassive("IoDeleteSymbolicLink");
    return g_world.Links.erase(Lower(FromCounted(link))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT device, PIRP irp) {
    Step();
    World& w = g_world;
    if (irp->CurrentLocation <= 1) throw SimError("request has no stack location left");
    if (irp->CurrentLocation == irp->StackCount + 1) {
        if (irp->StubOutstanding) ++w.IrpMisuse;
        irp->StubOutstanding = true;
    }
    --irp->CurrentLocation;
    --irp->Tail.Overlay.CurrentStackLocation;
    PIO_STACK_LOCATION sp = irp->Tail.Overlay.CurrentStackLocation;
    sp->DeviceObject = device;
    PDRIVER_DISPATCH dispatch = device->DriverObject->MajorFunction[sp->MajorFunction];
    if (dispatch == nullptr) throw SimError("no dispatch routine");
    ++w.CallDepth;
    w.MaxCallDepth = std::max(w.MaxCallDepth, w.CallDepth);
    const NTSTATUS status = dispatch(device, irp);
    --w.CallDepth;
    return status;
}

VOID IoCompleteRequest(PIRP irp, CCHAR boost) {
    World& w = g_world;
    if (++irp->StubCompletions > 1) ++w.IrpMisuse;
    irp->StubBoost = boost;
    if (irp->IoStatus.Status == STATUS_PENDING) ++w.IrpMisuse;
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION sp = irp->Tail.Overlay.CurrentStackLocation;
        const PIO_COMPLETION_ROUTINE routine = sp->CompletionRoutine;
        const PVOID context = sp->Context;
        const UCHAR control = sp->Control;
        ++irp->CurrentLocation;
        ++irp->Tail.Overlay.CurrentStackLocation;
        const NTSTATUS s = irp->IoStatus.Status;
        const bool call = routine != nullptr && ((NT_SUCCESS(s) && (control & SL_INVOKE_ON_SUCCESS)) ||
                                                 (!NT_SUCCESS(s) && (control & SL_INVOKE_ON_ERROR)) ||
                                                 (irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
        if (!call) continue;
        PDEVICE_OBJECT upper = nullptr;
        if (irp->CurrentLocation <= irp->StackCount) {
            upper = irp->Tail.Overlay.CurrentStackLocation->DeviceObject;
        } else {
            irp->StubOutstanding = false;  // back with the request's owner
        }
        const NTSTATUS answer = routine(upper, irp, context);
        if (answer == STATUS_MORE_PROCESSING_REQUIRED) return;
        if (upper == nullptr && irp->StubAllocated) {
            // The kernel would complete the request to a thread it never had.
            char text[160];
            std::snprintf(text, sizeof(text),
                          "the completion routine of a request the driver allocated returned 0x%08X, "
                          "not STATUS_MORE_PROCESSING_REQUIRED",
                          static_cast<unsigned>(answer));
            if (w.RuleBroken.empty()) w.RuleBroken = text;
            return;
        }
    }
    irp->StubOutstanding = false;
    if (irp->StubThreaded) {
        if (NT_SUCCESS(irp->IoStatus.Status) && irp->UserBuffer != nullptr && irp->StubOwnedBuffer != nullptr) {
            const size_t n = std::min<size_t>(irp->IoStatus.Information, irp->StubOutputLength);
            std::memcpy(irp->UserBuffer, irp->StubOwnedBuffer, n);
        }
        if (irp->UserIosb != nullptr) *irp->UserIosb = irp->IoStatus;
        PKEVENT event = irp->UserEvent;
        DeleteIrp(irp);
        if (event != nullptr) KeSetEvent(event, IO_NO_INCREMENT, FALSE);
    }
}

PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN) {
    Step();
    if (g_world.FailIrpAllocations > 0) {
        --g_world.FailIrpAllocations;
        return nullptr;
    }
    PIRP irp = NewIrp(stackSize);
    irp->StubAllocated = true;
    return irp;
}

VOID IoFreeIrp(PIRP irp) {
    Step();
    if (irp->StubOutstanding) ++g_world.IrpMisuse;
    DeleteIrp(irp);
}

VOID IoReuseIrp(PIRP irp, NTSTATUS status) {
    Step();
    if (irp->StubOutstanding) ++g_world.IrpMisuse;
    const CCHAR n = irp->StackCount;
    IO_STACK_LOCATION* stack = irp->StubStack;
    std::memset(stack, 0, sizeof(IO_STACK_LOCATION) * (n + 1));
    std::memset(irp, 0, sizeof(IRP));
    irp->StubAllocated = true;
    irp->StubStack = stack;
    irp->StackCount = n;
    irp->CurrentLocation = static_cast<CCHAR>(n + 1);
    irp->Tail.Overlay.CurrentStackLocation = stack + n;
    irp->IoStatus.Status = status;
}

BOOLEAN IoCancelIrp(PIRP irp) {
    Step();
    if (std::find(g_irps.begin(), g_irps.end(), irp) == g_irps.end()) throw SimError("cancel of an unknown request");
    irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = irp->CancelRoutine;
    irp->CancelRoutine = nullptr;
    if (routine == nullptr) return FALSE;
    routine(irp->Tail.Overlay.CurrentStackLocation->DeviceObject, irp);
    return TRUE;
}

PIRP IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength, PVOID output,
                                   ULONG outputLength, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK iosb) {
    Step();
    CheckPassive("IoBuildDeviceIoControlRequest");
    if (g_world.FailBuildRequests > 0) {
        --g_world.FailBuildRequests;
        return nullptr;
    }
    PIRP irp = NewIrp(device->StackSize);
    irp->StubThreaded = true;
    irp->UserEvent = event;
    irp->UserIosb = iosb;
    irp->UserBuffer = output;
    irp->StubOutputLength = outputLength;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    sp->Parameters.DeviceIoControl.IoControlCode = code;
    sp->Parameters.DeviceIoControl.InputBufferLength = inputLength;
    sp->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    if ((code & 3) == METHOD_NEITHER) {
        sp->Parameters.DeviceIoControl.Type3InputBuffer = input;
    } else {
        const size_t n = std::max<size_t>(std::max(inputLength, outputLength), 1);
        irp->StubOwnedBuffer = std::calloc(1, n);
        if (input != nullptr) std::memcpy(irp->StubOwnedBuffer, input, inputLength);
        irp->AssociatedIrp.SystemBuffer = irp->StubOwnedBuffer;
    }
    return irp;
}

NTSTATUS IoGetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK access, PFILE_OBJECT* file,
                                  PDEVICE_OBJECT* device) {
    Step();
    CheckPassive("IoGetDeviceObjectPointer");
    const std::u16string n = FromCounted(name);
    g_world.OpenAttempts.push_back(n);
    g_world.OpenAccess.push_back(access);
    if (g_world.OpenWithoutFile) {
        g_nullDevice.DriverObject = &g_nullDriver;
        g_nullDevice.StackSize = 8;
        *file = nullptr;
        *device = &g_nullDevice;
        return STATUS_SUCCESS;
    }
    SimPort* port = FindPort(n);
    if (port == nullptr || !port->Present) return STATUS_OBJECT_NAME_NOT_FOUND;
    PFILE_OBJECT f = new FILE_OBJECT();
    f->DeviceObject = &port->Device;
    g_objects[f] = {ObjKind::File, 1, port};
    ++g_world.LiveObjects;
    ++port->OpenFiles;
    ++port->Opens;
    *file = f;
    *device = &port->Device;
    return STATUS_SUCCESS;
}

VOID ObDereferenceObject(PVOID object) {
    Step();
    auto it = g_objects.find(object);
    if (it == g_objects.end()) throw SimError("dereference of an unknown object");
    --g_world.LiveObjects;
    if (--it->second.Refs > 0) return;
    if (it->second.Kind == ObjKind::File) {
        // The port may have been taken away by the test meanwhile.
        SimPort* closing = nullptr;
        for (auto& p : g_world.Ports) {
            if (p.get() == it->second.Port && --p->OpenFiles == 0) closing = p.get();
        }
        delete static_cast<PFILE_OBJECT>(object);
        g_objects.erase(it);
        // Closing the last handle ends the read the port still holds.
        if (closing != nullptr) {
            closing->CompletePending(STATUS_CANCELLED);
            closing->Broken = STATUS_SUCCESS;
        }
        return;
    }
    g_objects.erase(it);
}

NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK, POBJECT_TYPE, KPROCESSOR_MODE, PVOID* object, PVOID) {
    Step();
    CheckPassive("ObReferenceObjectByHandle");
    auto it = g_handles.find(handle);
    if (it == g_handles.end()) throw SimError("reference through an unknown handle");
    if (!NT_SUCCESS(g_world.ReferenceThreadStatus)) return g_world.ReferenceThreadStatus;
    if (it->second.Kind != HandleKind::Thread) throw SimError("only thread handles are referenced");
    SimThread* t = it->second.Thread;
    auto& info = g_objects[t];
    info.Kind = ObjKind::Thread;
    ++info.Refs;
    ++g_world.LiveObjects;
    *object = t;
    return STATUS_SUCCESS;
}

VOID KeInitializeEvent(PKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    event->StubMagic = kEventMagic;
    event->Type = type;
    event->Signaled = state ? 1 : 0;
}

LONG KeSetEvent(PKEVENT event, LONG, BOOLEAN) {
    Step();
    if (event->StubMagic != kEventMagic) throw SimError("event not initialised");
    const LONG was = event->Signaled;
    event->Signaled = 1;
    return was;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    Step();
    World& w = g_world;
    const bool zeroWait = timeout != nullptr && timeout->QuadPart == 0;
    if (!zeroWait && w.Irql > APC_LEVEL) ++w.IrqlErrors;
    const LONGLONG span = timeout == nullptr ? 0 : (timeout->QuadPart < 0 ? -timeout->QuadPart : 0);

    if (*static_cast<ULONG*>(object) == kThreadMagic) {
        SimThread* t = static_cast<SimThread*>(object);
        if (t_self != nullptr) throw SimError("a stand-in thread waits for a thread");
        for (int i = 0; !t->Finished; ++i) {
            if (i > 100000) throw SimError("thread never ends");
            if (t->Waiting && t->WaitHasTimeout) t->TimedOut = true;
            Resume(t);
        }
        return STATUS_SUCCESS;
    }

    PKEVENT event = static_cast<PKEVENT>(object);
    if (event->StubMagic != kEventMagic) throw SimError("wait on an object that is not an event");
    SimThread* self = t_self;
    if (self == nullptr) {
        if (EventSignaled(event)) return STATUS_SUCCESS;
        if (timeout == nullptr) throw SimError("the test's thread would wait forever");
        if (++w.TimedWaitsOnTest > 10000) throw SimError("endless timed waits");
        // Meanwhile the timers due run their DPCs, which may end the wait.
        AdvanceClock(span);
        if (!w.DpcQueue.empty()) RunDpcs();
        return EventSignaled(event) ? STATUS_SUCCESS : STATUS_TIMEOUT;
    }
    for (;;) {
        if (EventSignaled(event)) return STATUS_SUCCESS;
        self->Waiting = true;
        self->WaitingFor = event;
        self->WaitHasTimeout = timeout != nullptr;
        self->TimedOut = false;
        YieldToTest(self);
        self->Waiting = false;
        if (EventSignaled(event)) return STATUS_SUCCESS;
        if (self->TimedOut && timeout != nullptr) {
            w.Now += span;
            return STATUS_TIMEOUT;
        }
    }
}

// The test's thread only: time passes, the timers due run.
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER interval) {
    Step();
    CheckPassive("KeDelayExecutionThread");
    if (t_self != nullptr) throw SimError("a stand-in thread delays");
    AdvanceClock(interval->QuadPart < 0 ? -interval->QuadPart : 0);
    if (!g_world.DpcQueue.empty()) RunDpcs();
    return STATUS_SUCCESS;
}

VOID KeInitializeTimer(PKTIMER timer) {
    timer->StubMagic = kEventMagic;
    timer->Pending = FALSE;
    timer->Dpc = nullptr;
    auto& ts = g_world.Timers;
    if (std::find(ts.begin(), ts.end(), timer) == ts.end()) ts.push_back(timer);
}

VOID KeInitializeDpc(PKDPC dpc, PKDEFERRED_ROUTINE routine, PVOID context) {
    dpc->DeferredRoutine = routine;
    dpc->DeferredContext = context;
    dpc->Queued = FALSE;
}

BOOLEAN KeSetTimer(PKTIMER timer, LARGE_INTEGER due, PKDPC dpc) {
    Step();
    if (timer->StubMagic != kEventMagic) throw SimError("timer not initialised");
    const BOOLEAN was = timer->Pending;
    timer->Pending = TRUE;
    timer->DueTime = due.QuadPart < 0 ? g_world.Now - due.QuadPart : due.QuadPart;
    timer->Dpc = dpc;
    return was;
}

BOOLEAN KeCancelTimer(PKTIMER timer) {
    Step();
    if (timer->StubMagic != kEventMagic) throw SimError("timer not initialised");
    const BOOLEAN was = timer->Pending;
    timer->Pending = FALSE;
    return was;
}

BOOLEAN KeRemoveQueueDpc(PKDPC dpc) {
    Step();
    auto& q = g_world.DpcQueue;
    auto it = std::find(q.begin(), q.end(), dpc);
    if (it == q.end()) return FALSE;
    q.erase(it);
    dpc->Queued = FALSE;
    return TRUE;
}

VOID KeInitializeSpinLock(PKSPIN_LOCK lock) { *lock = 0; }

// One processor: a lock found held would be spun on for good.
VOID KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL old) {
    Step();
    if (g_world.Irql > DISPATCH_LEVEL) ++g_world.IrqlErrors;
    if (*lock != 0 && g_world.LockHeldElsewhere && t_self == nullptr) g_world.LockHeldElsewhere();
    if (*lock != 0) throw SimError("a spin lock taken again while held: one processor would spin for good");
    *lock = 1;
    KeRaiseIrql(DISPATCH_LEVEL, old);
}

VOID KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL old) {
    if (*lock == 0) throw SimError("release of a spin lock not held");
    *lock = 0;
    KeLowerIrql(old);
}

VOID KeRaiseIrql(KIRQL level, PKIRQL old) {
    if (level < g_world.Irql) ++g_world.IrqlErrors;
    *old = g_world.Irql;
    g_world.Irql = level;
}

VOID KeLowerIrql(KIRQL level) {
    if (level > g_world.Irql) ++g_world.IrqlErrors;
    g_world.Irql = level;
}

LONG InterlockedExchange(volatile LONG* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
    LONG expected = comparand;
    __atomic_compare_exchange_n(target, &expected, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return expected;
}

NTSTATUS PsCreateSystemThread(PHANDLE handle, ULONG, POBJECT_ATTRIBUTES, HANDLE, PVOID, PKSTART_ROUTINE start,
                              PVOID context) {
    Step();
    CheckPassive("PsCreateSystemThread");
    if (!NT_SUCCESS(g_world.CreateThreadStatus)) return g_world.CreateThreadStatus;
    auto t = std::make_unique<SimThread>();
    t->Start = start;
    t->Context = context;
    SimThread* raw = t.get();
    ++g_world.Threads;
    ++g_world.LiveThreads;
    g_threads.push_back(std::move(t));
    {
        std::unique_lock<std::mutex> lock(g_baton);
        g_unhosted.push_back(raw);
    }
    if (g_world.LiveThreads > g_hosts) {
        ++g_hosts;
        std::thread(HostMain).detach();
    }
    *handle = NewHandle({HandleKind::Thread, u"", raw});
    return STATUS_SUCCESS;
}

NTSTATUS PsTerminateSystemThread(NTSTATUS) {
    if (t_self == nullptr) throw SimError("PsTerminateSystemThread outside a system thread");
    throw ThreadExit();
}

NTSTATUS ZwClose(HANDLE handle) {
    Step();
    CheckPassive("ZwClose");
    auto it = g_handles.find(handle);
    if (it == g_handles.end()) throw SimError("close of an unknown handle");
    g_handles.erase(it);
    --g_world.Handles;
    return STATUS_SUCCESS;
}

NTSTATUS ZwOpenKey(PHANDLE key, ACCESS_MASK, POBJECT_ATTRIBUTES oa) {
    Step();
    CheckPassive("ZwOpenKey");
    if (oa->RootDirectory != nullptr) throw SimError("relative key open");
    if (!NT_SUCCESS(g_world.OpenKeyStatus)) return g_world.OpenKeyStatus;
    const std::u16string path = Lower(FromCounted(oa->ObjectName));
    if (!g_world.Keys.count(path)) return STATUS_OBJECT_NAME_NOT_FOUND;
    *key = NewHandle({HandleKind::Key, path, nullptr});
    return STATUS_SUCCESS;
}

NTSTATUS ZwCreateKey(PHANDLE key, ACCESS_MASK, POBJECT_ATTRIBUTES oa, ULONG, PUNICODE_STRING, ULONG options,
                     PULONG disposition) {
    Step();
    CheckPassive("ZwCreateKey");
    if (!NT_SUCCESS(g_world.WriteStatus)) return g_world.WriteStatus;
    const std::u16string path = Lower(FromCounted(oa->ObjectName));
    if (!g_world.Keys.count(path)) {
        const size_t cut = path.rfind(u'\\');
        if (cut == std::u16string::npos || !g_world.Keys.count(path.substr(0, cut))) {
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        g_world.Keys[path].Volatile = (options & REG_OPTION_VOLATILE) != 0;
        if (disposition) *disposition = 1;
    } else if (disposition) {
        *disposition = 2;
    }
    *key = NewHandle({HandleKind::Key, path, nullptr});
    return STATUS_SUCCESS;
}

NTSTATUS ZwQueryValueKey(HANDLE key, PUNICODE_STRING name, KEY_VALUE_INFORMATION_CLASS cls, PVOID info,
                         ULONG length, PULONG resultLength) {
    Step();
    CheckPassive("ZwQueryValueKey");
    auto h = g_handles.find(key);
    if (h == g_handles.end() || h->second.Kind != HandleKind::Key) throw SimError("query through a bad handle");
    if (cls != KeyValuePartialInformation) throw SimError("unexpected information class");
    const std::u16string n = Lower(FromCounted(name));
    auto injected = g_world.QueryStatus.find(n);
    if (injected != g_world.QueryStatus.end()) return injected->second;
    auto k = g_world.Keys.find(h->second.Path);
    if (k == g_world.Keys.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    auto v = k->second.Values.find(n);
    if (v == k->second.Values.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    const ULONG head = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
    const ULONG need = head + static_cast<ULONG>(v->second.Data.size());
    *resultLength = need;
    if (length < head) return STATUS_BUFFER_TOO_SMALL;
    auto* out = static_cast<KEY_VALUE_PARTIAL_INFORMATION*>(info);
    out->TitleIndex = 0;
    out->Type = v->second.Type;
    out->DataLength = static_cast<ULONG>(v->second.Data.size());
    if (length < need) return STATUS_BUFFER_OVERFLOW;
    if (!v->second.Data.empty()) std::memcpy(out->Data, v->second.Data.data(), v->second.Data.size());
    return STATUS_SUCCESS;
}

namespace {
std::u16string RelativePath(ULONG relativeTo, PCWSTR path) {
    if (relativeTo == RTL_REGISTRY_DEVICEMAP) return Lower(u"\\registry\\machine\\hardware\\devicemap\\" + FromZ(path));
    if (relativeTo == RTL_REGISTRY_ABSOLUTE) return Lower(FromZ(path));
    throw SimError("unsupported registry base");
}
}  // namespace

NTSTATUS RtlWriteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName, ULONG type, PVOID data,
                               ULONG length) {
    Step();
    CheckPassive("RtlWriteRegistryValue");
    if (!NT_SUCCESS(g_world.WriteStatus)) return g_world.WriteStatus;
    auto k = g_world.Keys.find(RelativePath(relativeTo, path));
    if (k == g_world.Keys.end()) return STATUS_OBJECT_NAME_NOT_FOUND;  // not created on the fly
    const PUCHAR bytes = static_cast<PUCHAR>(data);
    k->second.Values[Lower(FromZ(valueName))] = {type, std::vector<UCHAR>(bytes, bytes + length)};
    return STATUS_SUCCESS;
}

NTSTATUS RtlDeleteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName) {
    Step();
    CheckPassive("RtlDeleteRegistryValue");
    auto k = g_world.Keys.find(RelativePath(relativeTo, path));
    if (k == g_world.Keys.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    return k->second.Values.erase(Lower(FromZ(valueName))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

BOOLEAN HalMakeBeep(ULONG frequency) {
    Step();
    g_world.Beeps.push_back(frequency);
    g_world.Tone = frequency;
    return TRUE;
}

// Entries come from their own pool and are owned by the system once
// written; the packet's fields are garbage until the driver sets them. The
// size sits in a header as aligned as the pool's blocks.
constexpr size_t kEntryHeader = 16;

PVOID IoAllocateErrorLogEntry(PVOID ioObject, UCHAR entrySize) {
    Step();
    World& w = g_world;
    if (w.Irql > DISPATCH_LEVEL) ++w.IrqlErrors;
    if (ioObject == nullptr || entrySize < sizeof(IO_ERROR_LOG_PACKET) || entrySize > ERROR_LOG_MAXIMUM_SIZE) {
        if (w.RuleBroken.empty()) w.RuleBroken = "error log entry without an object or of a bad size";
        return nullptr;
    }
    if (w.FailErrorLogEntries > 0) {
        --w.FailErrorLogEntries;
        return nullptr;
    }
    auto* block = static_cast<UCHAR*>(std::malloc(kEntryHeader + entrySize));
    block[0] = entrySize;
    std::memset(block + kEntryHeader, 0xCD, entrySize);
    ++w.LiveErrorLogEntries;
    return block + kEntryHeader;
}

VOID IoWriteErrorLogEntry(PVOID entry) {
    Step();
    World& w = g_world;
    if (w.Irql > DISPATCH_LEVEL) ++w.IrqlErrors;
    auto* block = static_cast<UCHAR*>(entry) - kEntryHeader;
    const size_t size = block[0];
    const auto* p = static_cast<const IO_ERROR_LOG_PACKET*>(entry);
    LoggedEvent e{static_cast<ULONG>(p->ErrorCode), p->FinalStatus, {}};
    size_t at = p->StringOffset;
    bool bad = p->DumpDataSize != 0 || (p->NumberOfStrings != 0 && at < offsetof(IO_ERROR_LOG_PACKET, DumpData));
    for (USHORT i = 0; i < p->NumberOfStrings && !bad; ++i) {
        std::u16string s;
        for (;; at += 2) {
            if (at + 2 > size) {
                bad = true;
                break;
            }
            char16_t c;
            std::memcpy(&c, static_cast<const UCHAR*>(entry) + at, 2);
            if (c == 0) break;
            s.push_back(c);
        }
        at += 2;
        e.Strings.push_back(Narrow(s));
    }
    if (bad && w.RuleBroken.empty()) w.RuleBroken = "error log entry with strings or data outside it";
    w.Events.push_back(e);
    --w.LiveErrorLogEntries;
    std::free(block);
}
