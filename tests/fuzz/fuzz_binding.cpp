// The kernel binding on the stand-in, driven by events the input picks:
// bytes, failing and empty reads, a stuck or vanishing port, requests,
// Parameters reloads, the mouse class, time, allocation failures, unload
// (with something else between two of its kernel calls) and a new load.
//
// Input: a header byte, then events until the bytes run out; unload ends
// every input. Header: bits 0-3 at 9 and above make one step of the load
// fail (see LoadFailures), bit 4 port absent at load, bit 5 line settings
// pend, bit 6 a Parameters block (below) before the load, bit 7 the class
// connects right after it.
// Event byte: low nibble the kind, high nibble its variant v:
//   0, 8, 15 bytes: L, then (L & 63) + 1 bytes; L >> 6: 0 and 3 a burst that
//            completes inline, 1 one completion per byte, 2 queued only
//   1  a read without a byte: kReadFailures[v & 7]; v & 8 queued only
//   2  the port fails every read with kReadFailures[v & 7] (0: it mends)
//   3  port: v % 7: 0 gone, 1 back, 2 an error that outlives the open,
//      3 line settings pend, 4 they complete, 5 presence flips, 6 a cancel
//      is missed
//   4, 12 control request: code (below 0xF0 one of the 18, else 4 raw
//      bytes), input length, output length, input
//   5  Parameters reload: a Parameters block, then the reload request
//   6  class and file requests, by v (see ClassEvent)
//   7, 13 time, by v % 8 (see TimeEvent)
//   9  allocation: v % 8: 0-3 the (v+1)th pool allocation fails, 4-5 the
//      next request allocation, 6-7 the next v-5 built requests
//   10 meanwhile: step S, then a nested event (v % 5: bytes as above,
//      a failed read, timers due, threads run, port gone) that the next
//      unload runs before its S-th kernel call
//   11 unload, 14 load again
// Parameters block: byte M, M & 7 values, (M >> 3) & 3: 1 key missing,
// 2 key cannot be opened, 3 its path is missing; per value a byte N: name
// N & 15, kind N >> 4: 0-1 absent, 2-7 REG_DWORD of 4 input bytes, 8 REG_SZ,
// 9 REG_BINARY, 10 REG_DWORD of 16 bytes, 11 of 2, 12 the query fails,
// 13-15 REG_DWORD of one input byte.
//
// Oracles after every event: the stand-in's rules; records, beeps, the
// touch state and every request's answer equal a second TouchState fed the
// port's completions and the same requests directly; a port is given up
// only after half a second and 50 reads without a byte or a read that stayed
// pending; a healthy port is
// read again within two seconds; after unload nothing of the driver is
// left.
#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/tests/harness.h"
#include "fuzz_common.h"

namespace {

using namespace ovt;
using namespace ovt::fuzz;
using kstub::W;

constexpr LONGLONG kMs = 10000;
const NTSTATUS kReadFailures[8] = {STATUS_SUCCESS,          STATUS_TIMEOUT,         STATUS_CANCELLED,
                                   STATUS_DEVICE_DATA_ERROR, STATUS_DELETE_PENDING, STATUS_UNSUCCESSFUL,
                                   STATUS_SUCCESS,          STATUS_CANCELLED};

// The binding's test fixture, outside a test run.
struct Session : ovtest::DriverTest {
    void TestBody() override {}
    using DriverTest::Connect;
    using DriverTest::Device;
    using DriverTest::Driver;
    using DriverTest::Internal;
    using DriverTest::Ioctl;
    using DriverTest::Load;
    using DriverTest::Mouse;
    using DriverTest::SetUp;
};

// The mouse class that was not first; must never see a record.
kstub::SimMouseClass g_other;

struct Nested {
    int Step = -1;
    int Kind = 0;
    std::vector<uint8_t> Data;  // a bytes event's own bytes
};

struct Fuzz {
    Session* S = nullptr;
    kstub::SimPort* Port = nullptr;
    bool Loaded = false;
    bool Unloading = false;

    // The oracle: the core fed directly.
    TouchState Shadow{};
    bool ShadowSink = false;
    bool EverRead = false;  // a port of this load was read
    bool ReloadFails = false;
    std::vector<MouseRecord> Records;
    std::vector<ULONG> Beeps;
    size_t RecordsSeen = 0, BeepsSeen = 0, BeepsMatched = 0;

    // The port's history, for the give-up rule.
    int ReadOpen = 0;  // the open whose reads were last taken
    int OpenFiles = 0;
    int Failures = 0;  // completions without a byte since the last byte or pending read
    LONGLONG LastByte = 0;  // or the last pending read's completion

    Nested Meanwhile;
};
Fuzz g;

bool ShadowConnected(void*) { return g.ShadowSink; }
void ShadowDeliver(void*, const MouseRecord* r) { g.Records.push_back(*r); }
void ShadowBeep(void*, uint32_t freq, uint32_t) { g.Beeps.push_back(freq); }
const TouchHooks kShadowHooks = {nullptr, ShadowConnected, nullptr, ShadowDeliver, nullptr, ShadowBeep,
                                 nullptr, nullptr, nullptr};

const char16_t kParametersLower[] = u"\\registry\\machine\\system\\currentcontrolset\\services\\ovtouch\\parameters";

std::u16string Lower(const char* name) {
    std::u16string s = kstub::U16(name);
    for (char16_t& ch : s) ch = (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 32) : ch;
    return s;
}

// What the stored values mean, from the stand-in's registry.
int32_t ModelRead(void*, const char* name, uint32_t* value) {
    static std::u16string names[OVT_PARAMETER_COUNT];
    int i = 0;
    while (kParameterTable[i].Name != name) ++i;
    if (names[i].empty()) names[i] = Lower(name);
    const kstub::World& w = W();
    if (w.OpenKeyStatus == STATUS_OBJECT_PATH_NOT_FOUND) return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    if (!NT_SUCCESS(w.OpenKeyStatus)) return w.OpenKeyStatus;
    auto key = w.Keys.find(kParametersLower);
    if (key == w.Keys.end()) return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    auto failed = w.QueryStatus.find(names[i]);
    if (failed != w.QueryStatus.end()) return failed->second;
    auto v = key->second.Values.find(names[i]);
    if (v == key->second.Values.end() || v->second.Type != REG_DWORD || v->second.Data.size() != 4) {
        return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    }
    std::memcpy(value, v->second.Data.data(), 4);
    return OVT_STATUS_SUCCESS;
}
int32_t ShadowReload(void*, DriverSettings* s) {
    return g.ReloadFails ? kReloadNotRun : LoadParameters(s, ModelRead, nullptr);
}
const ControlEnv kShadowEnv = {nullptr, ShadowReload, ShadowBeep};

void Watch(const kstub::ReadItem* done) {
    kstub::SimPort& port = *g.Port;
    const bool feeding = g.Loaded && !g.Unloading;
    if (done == nullptr) {
        if (port.Opens != g.ReadOpen) {  // the first read of an open starts the link
            g.ReadOpen = port.Opens;
            g.Failures = 0;
            g.LastByte = W().Now;
            // The first open turns reports on; a reopen keeps the programs' count.
            if (feeding && !g.EverRead) g.Shadow.ReportEnableCount = 1;
            g.EverRead = g.EverRead || feeding;
        }
        return;
    }
    const bool ok = done->Status == STATUS_SUCCESS;
    // A byte, or a read that stayed pending (completed outside the call
    // that issued it), shows a healthy port.
    if ((ok && done->Bytes != 0) || W().CallDepth == 0) {
        g.Failures = 0;
        g.LastByte = W().Now;
    }
    if (!ok || done->Bytes == 0) ++g.Failures;
    if (feeding) TouchOnReadCompleted(&g.Shadow, &kShadowHooks, ok, done->Bytes, done->Byte);
}

void Check() {
    const kstub::World& w = W();
    OVT_FUZZ_CHECK(w.IrqlErrors == 0);
    OVT_FUZZ_CHECK(w.IrpMisuse == 0);
    OVT_FUZZ_CHECK(w.ThreadError.empty());
    OVT_FUZZ_CHECK(w.RuleBroken.empty());
    OVT_FUZZ_CHECK(w.Irql == PASSIVE_LEVEL);
    OVT_FUZZ_CHECK(w.MaxCallDepth <= 2);
    OVT_FUZZ_CHECK(g.Port->ReadsWhileClosed == 0 && g.Port->ReadsWithWrongLength == 0);

    const auto& got = g.S->Mouse.Deliveries;
    OVT_FUZZ_CHECK(got.size() == g.Records.size());
    for (; g.RecordsSeen < got.size(); ++g.RecordsSeen) {
        const kstub::ClassDelivery& d = got[g.RecordsSeen];
        OVT_FUZZ_CHECK(d.Irql == DISPATCH_LEVEL && d.Count == 1);
        OVT_FUZZ_CHECK(std::memcmp(&d.Record, &g.Records[g.RecordsSeen], sizeof(MouseRecord)) == 0);
    }
    OVT_FUZZ_CHECK(g_other.Deliveries.empty());
    for (; g.BeepsSeen < w.Beeps.size(); ++g.BeepsSeen) {
        if (w.Beeps[g.BeepsSeen] == 0) continue;  // a silence
        OVT_FUZZ_CHECK(g.BeepsMatched < g.Beeps.size() && g.Beeps[g.BeepsMatched] == w.Beeps[g.BeepsSeen]);
        ++g.BeepsMatched;
    }
    OVT_FUZZ_CHECK(g.BeepsMatched == g.Beeps.size());

    if (g.Loaded && !g.Unloading) {
        // The shadow runs on one thread: no lock to compare.
        TouchState mine;
        std::memcpy(&mine, &g_ovt.Touch, sizeof mine);
        mine.Lock = g.Shadow.Lock;
        OVT_FUZZ_CHECK(std::memcmp(&mine, &g.Shadow, sizeof(TouchState)) == 0);
        // A port let go while reads were still being taken from it: given up.
        const kstub::SimPort& port = *g.Port;
        if (g.OpenFiles != 0 && port.OpenFiles == 0 && g.ReadOpen == port.Opens) {
            OVT_FUZZ_CHECK(g.Failures >= 50);
            OVT_FUZZ_CHECK(w.Now - g.LastByte >= 500 * kMs);
        }
    }
    g.OpenFiles = g.Port->OpenFiles;
}

void Deliver() {
    g.Port->Deliver();
    Check();
}

void Bytes(Cursor* c) {
    const uint8_t l = c->Byte();
    size_t got = 0;
    const uint8_t* p = c->Take((l & 63) + 1u, &got);
    g.Port->InlineCompletion = (l >> 6) != 1;
    g.Port->QueueBytes(std::vector<UCHAR>(p, p + got));
    if ((l >> 6) != 2) Deliver();
}

void ReadFailure(uint8_t v) {
    const NTSTATUS s = kReadFailures[v & 7];
    if (s == STATUS_SUCCESS || s == STATUS_TIMEOUT) {
        g.Port->Queue.push_back({s, 0, 0});
    } else {
        g.Port->QueueError(s);
    }
    if (!(v & 8)) Deliver();
}

void Stuck(uint8_t v) {
    const NTSTATUS s = (v & 7) == 0 ? STATUS_SUCCESS : kReadFailures[v & 7];
    g.Port->FailEveryRead = s == STATUS_TIMEOUT ? STATUS_UNSUCCESSFUL : s;
    if (!NT_SUCCESS(g.Port->FailEveryRead)) g.Port->CompletePending(g.Port->FailEveryRead);
}

void PortEvent(uint8_t v) {
    kstub::SimPort& port = *g.Port;
    switch (v % 7) {
    case 0: port.Present = false; port.Break(STATUS_DELETE_PENDING); break;
    case 1: port.Present = true; break;
    case 2: port.Break(STATUS_CANCELLED); break;
    case 3: port.PendIoctls = true; break;
    case 4: port.PendIoctls = false; port.CompletePendingIoctls(); break;
    case 5: port.Present = !port.Present; break;
    default: port.IgnoreCancels = 1; break;
    }
}

void ControlRequest(uint32_t code, const std::vector<UCHAR>& in, ULONG outLength) {
    const ULONG inLength = static_cast<ULONG>(in.size());
    std::vector<UCHAR> want(std::max(inLength, outLength) + 16, 0xEE);
    std::copy(in.begin(), in.end(), want.begin());
    const int allocations = W().Allocations;
    const int failAt = W().FailAllocationAt;
    const kstub::Request r = g.S->Ioctl(code, in.data(), inLength, outLength);
    g.ReloadFails = failAt == 1 && W().Allocations > allocations;
    const ControlResult c = DispatchControl(&g.Shadow, &kShadowEnv, code, want.data(), inLength, want.data(), outLength);
    OVT_FUZZ_CHECK(r.Status == c.Status && r.Information == c.Information);
    OVT_FUZZ_CHECK(std::equal(r.Output.begin(), r.Output.end(), want.begin()));
}

void ParametersBlock(Cursor* c) {
    const uint8_t m = c->Byte();
    kstub::World& w = W();
    const NTSTATUS openings[4] = {STATUS_SUCCESS, STATUS_SUCCESS, STATUS_ACCESS_DENIED, STATUS_OBJECT_PATH_NOT_FOUND};
    w.OpenKeyStatus = openings[(m >> 3) & 3];
    for (int i = 0; i < (m & 7); ++i) {
        const uint8_t n = c->Byte();
        const char* name = kParameterTable[n & 15].Name;
        const std::u16string lower = Lower(name);
        w.QueryStatus.erase(lower);
        const uint8_t kind = n >> 4;
        size_t want = 4, got = 0;
        ULONG type = REG_DWORD;
        if (kind < 2) {
            w.Keys[kParametersLower].Values.erase(lower);
            continue;
        }
        if (kind == 12) {
            w.QueryStatus[lower] = STATUS_REGISTRY_CORRUPT;
            continue;
        }
        if (kind == 8) type = REG_SZ;
        if (kind == 9) type = REG_BINARY;
        if (kind == 10) want = 16;
        if (kind == 11) want = 2;
        if (kind >= 13) want = 1;
        const uint8_t* p = c->Take(want, &got);
        std::vector<UCHAR> data(p, p + got);
        if (kind >= 13) data.resize(4, 0);
        kstub::RegSetRaw(ovtest::kParametersKey, name, type, data);
    }
    if (((m >> 3) & 3) == 1) {
        w.Keys.erase(kParametersLower);
    } else {
        kstub::RegSetKey(ovtest::kParametersKey);
    }
}

// The first valid connect holds; the rest are refused.
void ClassEvent(uint8_t v, Cursor* c) {
    Session& s = *g.S;
    CONNECT_DATA connect = {&s.Mouse.Device, reinterpret_cast<PVOID>(&kstub::SimMouseClass::Service)};
    switch (v) {
    case 1: s.Internal(IOCTL_INTERNAL_MOUSE_CONNECT, &connect, 4); return;
    case 2: s.Internal(IOCTL_INTERNAL_MOUSE_CONNECT, nullptr, sizeof(connect)); return;
    case 3:  // a second class
        if (g.ShadowSink) OVT_FUZZ_CHECK(s.Connect(g_other) != STATUS_SUCCESS);
        return;
    case 4: s.Internal(IOCTL_INTERNAL_MOUSE_DISCONNECT, nullptr, 0); return;
    case 5: s.Internal(IOCTL_INTERNAL_MOUSE_ENABLE, nullptr, 0); return;
    case 6: s.Internal(IOCTL_INTERNAL_MOUSE_DISABLE, nullptr, 0); return;
    case 7: s.Internal(IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, c->Byte()); return;
    case 8: {
        const ULONG code = c->Word();
        s.Internal(code, nullptr, 0, c->Byte());
        return;
    }
    case 9: case 10: case 11: case 12: {
        const UCHAR majors[] = {IRP_MJ_CREATE, IRP_MJ_CLOSE, IRP_MJ_READ, IRP_MJ_WRITE};
        const FileRequest kinds[] = {FileRequest::Create, FileRequest::Close, FileRequest::Read, FileRequest::Write};
        const kstub::Request r = kstub::Send(s.Device(), majors[v - 9], 0, nullptr, 0, 4);
        const ControlResult want = DispatchFileRequest(kinds[v - 9]);
        OVT_FUZZ_CHECK(r.Status == want.Status && r.Information == want.Information);
        return;
    }
    default:
        if (s.Connect(s.Mouse) == STATUS_SUCCESS) {
            OVT_FUZZ_CHECK(!g.ShadowSink);
            g.ShadowSink = true;
        }
        return;
    }
}

void TimeEvent(uint8_t v, Cursor* c) {
    switch (v % 8) {
    case 0: kstub::AdvanceClock((c->Byte() + 1) * kMs); kstub::RunDpcs(); kstub::RunThreads(); break;
    case 1: kstub::ExpireTimers(); kstub::RunDpcs(); break;
    case 2: kstub::ElapseWaits(); break;
    case 3: kstub::RunThreads(); break;
    case 4: kstub::ExpireTimers(); break;  // due, their DPCs not yet run
    case 5: kstub::RunDpcs(); break;
    case 6:  // a while, in clock ticks
        for (int i = c->Byte(); i >= 0; --i) {
            kstub::AdvanceClock(10 * kMs);
            kstub::RunDpcs();
            kstub::RunThreads();
            Check();
        }
        break;
    default: {
        // Two seconds: a port that works is open and being read.
        const kstub::SimPort& port = *g.Port;
        const bool healthy = g.Loaded && port.Present && port.Broken == STATUS_SUCCESS &&
                             port.FailEveryRead == STATUS_SUCCESS && !port.PendIoctls &&
                             g.Shadow.Settings.Port == 1 && W().FailIrpAllocations == 0;
        kstub::ElapseWaits();
        Check();
        kstub::ElapseWaits();
        if (healthy) OVT_FUZZ_CHECK(port.OpenFiles == 1 && kstub::Queued() > 0);
    }
    }
}

void RunNested(const Nested& n) {
    Cursor c(n.Data.data(), n.Data.size());
    switch (n.Kind) {
    case 0: Bytes(&c); break;
    case 1: ReadFailure(c.Byte()); break;
    case 2: kstub::ExpireTimers(); kstub::RunDpcs(); break;
    case 3: kstub::RunThreads(); break;
    default: PortEvent(0); break;
    }
}

void Unload() {
    if (!g.Loaded || g.S->Driver.DriverUnload == nullptr) return;
    g.Unloading = true;
    // The port answers its line settings from now on.
    g.Port->PendIoctls = false;
    const Nested n = g.Meanwhile;
    const int first = W().Steps;
    W().BetweenSteps = [&n, first](int step) {
        if (step - first == n.Step) RunNested(n);
        g.Port->CompletePendingIoctls();
    };
    g.S->Driver.DriverUnload(&g.S->Driver);
    W().BetweenSteps = nullptr;
    g.Meanwhile = Nested();
    g.Loaded = false;
    Check();
    OVT_FUZZ_CHECK(kstub::Held().None());
    OVT_FUZZ_CHECK(kstub::Queued() == 0);
    OVT_FUZZ_CHECK(W().Tone == 0);
}

// Header bits 0-3 from 9: the step of the load that fails.
void LoadFailures(uint8_t h) {
    kstub::World& w = W();
    switch (h & 15) {
    case 9: w.FailAllocationAt = 1; break;
    case 10: w.FailAllocationAt = 2; break;
    case 11: w.CreateDeviceStatus = STATUS_INSUFFICIENT_RESOURCES; break;
    case 12: w.CreateLinkStatus = STATUS_OBJECT_NAME_COLLISION; break;
    case 13: w.CreateThreadStatus = STATUS_INSUFFICIENT_RESOURCES; break;
    case 14: w.ReferenceThreadStatus = STATUS_INSUFFICIENT_RESOURCES; break;
    case 15: w.WriteStatus = STATUS_ACCESS_DENIED; break;
    default: break;
    }
}

void Load(uint8_t header) {
    if (g.Loaded) return;
    LoadFailures(header);
    g.S->Driver = DRIVER_OBJECT{};
    g.Unloading = false;
    g.Shadow = TouchState{};
    g.ShadowSink = false;
    g.EverRead = false;
    const NTSTATUS status = g.S->Load();
    kstub::World& w = W();
    w.CreateDeviceStatus = w.CreateLinkStatus = w.CreateThreadStatus = STATUS_SUCCESS;
    w.ReferenceThreadStatus = w.WriteStatus = STATUS_SUCCESS;
    if (!NT_SUCCESS(status)) {
        OVT_FUZZ_CHECK(kstub::Held().None());
        return;
    }
    LoadParameters(&g.Shadow.Settings, ModelRead, nullptr);
    g.Loaded = true;
}

void Event(Cursor* c) {
    const uint8_t op = c->Byte();
    const uint8_t v = op >> 4;
    switch (op & 15) {
    case 0: case 8: case 15: Bytes(c); break;
    case 1: ReadFailure(v); break;
    case 2: Stuck(v); break;
    case 3: PortEvent(v); break;
    case 4: case 12: {
        const uint8_t pick = c->Byte();
        const uint32_t code = pick < 0xF0 ? kCodes[pick % kCodeCount] : c->Word();
        const uint8_t inLength = c->Byte();
        const ULONG outLength = c->Byte();
        size_t got = 0;
        const uint8_t* p = c->Take(inLength, &got);
        std::vector<UCHAR> in(inLength, 0);
        std::copy(p, p + got, in.begin());
        if (g.Loaded) ControlRequest(code, in, outLength);
        break;
    }
    case 5:
        ParametersBlock(c);
        if (g.Loaded) ControlRequest(IOCTL_TOUCH_RELOAD_PARAMETERS, {}, 0);
        break;
    case 6: if (g.Loaded) ClassEvent(v, c); break;
    case 7: case 13: TimeEvent(v, c); break;
    case 9:
        if (v % 8 < 4) W().FailAllocationAt = v % 8 + 1;
        else if (v % 8 < 6) W().FailIrpAllocations = 1;
        else W().FailBuildRequests = v % 8 - 5;
        break;
    case 10: {
        Nested& n = g.Meanwhile;
        n.Step = c->Byte() % 32;
        n.Kind = v % 5;
        const uint8_t arg = c->Byte();
        n.Data.assign(1, arg);
        if (n.Kind == 0) {
            size_t got = 0;
            const uint8_t* p = c->Take((arg & 63) + 1u, &got);
            n.Data.insert(n.Data.end(), p, p + got);
        }
        break;
    }
    case 11: Unload(); break;
    default: Load(0); break;
    }
    Check();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Session session;
    Cursor c(data, size);
    try {
        session.SetUp();
        session.Mouse.Deliveries.clear();
        g_other.Deliveries.clear();
        g = Fuzz();
        g.S = &session;
        const uint8_t header = c.Byte();
        g.Port = &kstub::AddPort("\\??\\COM1");
        g.Port->Watch = Watch;
        g.Port->Present = !(header & 0x10);
        g.Port->PendIoctls = header & 0x20;
        if (header & 0x40) ParametersBlock(&c);
        Load(header);
        if (g.Loaded && (header & 0x80)) ClassEvent(14, &c);
        Check();
        while (!c.Empty()) Event(&c);
        Unload();
        kstub::Reset();
    } catch (const kstub::SimError& e) {
        std::fprintf(stderr, "stand-in: %s\n", e.what());
        std::abort();
    }
    return 0;
}
