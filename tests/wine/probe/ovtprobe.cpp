// ovtprobe: the Wine tiers' hands inside the prefix, one program for all of
// them. Talks to the test driver OVTFake (feeds the serial port, reads what
// the mouse class received) and to the real driver's control device, reads
// the registry and finds windows for the scripts to click or read. Checks
// print "PASS name" or "FAIL name: detail"; the exit code is 1 when any
// check failed.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/ovtouch.h"
#include "host_fit.h"
#include "probe.h"
#include "tests/wine/e2e/fake/ovtfake.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* name, const char* fmt = "", ...) {
    if (ok) {
        printf("PASS %s\n", name);
    } else {
        char detail[512];
        va_list args;
        va_start(args, fmt);
        vsnprintf(detail, sizeof(detail), fmt, args);
        va_end(args);
        printf("FAIL %s: %s\n", name, detail);
        ++g_failures;
    }
    fflush(stdout);
}

HANDLE OpenDevice(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

struct Device {
    HANDLE h;
    explicit Device(const char* path) : h(OpenDevice(path)) {}
    ~Device() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    bool Io(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
            DWORD* bytes = NULL) {
        DWORD n = 0;
        BOOL r = DeviceIoControl(h, code, const_cast<void*>(in), inLength, out, outLength, &n, NULL);
        if (bytes) *bytes = n;
        return r != FALSE;
    }
    bool Send(DWORD code) { return Io(code, NULL, 0, NULL, 0); }
    bool Word(DWORD code, DWORD value) { return Io(code, &value, 4, NULL, 0); }
    DWORD GetWord(DWORD code) {
        DWORD v = 0xFFFFFFFF;
        Io(code, NULL, 0, &v, 4);
        return v;
    }
};

const char kFake[] = "\\\\.\\OVTFake";

// ---- packets --------------------------------------------------------------

int MakePacket(unsigned char* p, unsigned char status, unsigned x, unsigned y) {
    p[0] = TOUCH_HEADER_0;
    p[1] = TOUCH_HEADER_1;
    p[2] = status;
    p[3] = x & 0xFF;
    p[4] = (x >> 8) & 0xFF;
    p[5] = y & 0xFF;
    p[6] = (y >> 8) & 0xFF;
    p[7] = 0;
    p[8] = 0;
    unsigned sum = 0x53;
    for (int i = 2; i <= 8; ++i) sum += p[i];
    p[9] = sum & 0xFF;
    return TOUCH_PACKET_SIZE;
}

bool Feed(Device& fake, const unsigned char* bytes, DWORD n) {
    return fake.Io(IOCTL_OVTFAKE_FEED, bytes, n, NULL, 0);
}

bool FeedPacket(Device& fake, unsigned char status, unsigned x, unsigned y) {
    unsigned char p[TOUCH_PACKET_SIZE];
    MakePacket(p, status, x, y);
    return Feed(fake, p, sizeof(p));
}

bool GetState(Device& fake, OvtFakeState* s) {
    memset(s, 0, sizeof(*s));
    return fake.Io(IOCTL_OVTFAKE_GET_STATE, NULL, 0, s, sizeof(*s));
}

// Waits until the driver has a read outstanding on the port.
bool WaitReadPending(Device& fake, DWORD ms) {
    for (DWORD waited = 0;; waited += 20) {
        OvtFakeState s;
        if (GetState(fake, &s) && s.ReadPending) return true;
        if (waited >= ms) return false;
        Sleep(20);
    }
}

struct Records {
    OvtFakeRecords head;
    ovt::MouseRecord r[OVTFAKE_MAX_RECORDS];
};

// Takes what the class received; waits until `expect` records came (or a
// short quiet time when expect is 0).
DWORD Take(Device& fake, Records* out, DWORD expect, DWORD ms = 2000) {
    DWORD have = 0;
    DWORD waited = 0;
    for (;;) {
        Records chunk;
        DWORD bytes = 0;
        memset(&chunk.head, 0, sizeof(chunk.head));
        fake.Io(IOCTL_OVTFAKE_TAKE_RECORDS, NULL, 0, &chunk, sizeof(chunk), &bytes);
        for (DWORD i = 0; i < chunk.head.Count && have < OVTFAKE_MAX_RECORDS; ++i)
            out->r[have++] = chunk.r[i];
        if (expect ? have >= expect : waited >= 150) break;
        if (waited >= ms) break;
        Sleep(25);
        waited += 25;
    }
    out->head.Count = have;
    return have;
}

void DescribeRecords(const Records& got, char* text, size_t size) {
    size_t used = 0;
    text[0] = 0;
    for (DWORD i = 0; i < got.head.Count && used + 40 < size; ++i)
        used += snprintf(text + used, size - used, "[%04x %d,%d f%x] ", got.r[i].ButtonFlags,
                         (int)got.r[i].LastX, (int)got.r[i].LastY, got.r[i].Flags);
}

struct Want {
    unsigned short buttons;
    int x, y;
};

bool SameRecords(const Records& got, const Want* want, DWORD n) {
    if (got.head.Count != n) return false;
    for (DWORD i = 0; i < n; ++i) {
        const ovt::MouseRecord& r = got.r[i];
        if (r.ButtonFlags != want[i].buttons || r.LastX != want[i].x || r.LastY != want[i].y)
            return false;
        if (r.Flags != OVT_MOUSE_MOVE_ABSOLUTE || r.UnitId || r.ButtonData || r.RawButtons ||
            r.ExtraInformation)
            return false;
    }
    return true;
}

void CheckRecords(Device& fake, const char* name, const Want* want, DWORD n) {
    Records got;
    Take(fake, &got, n);
    if (n) {
        // Nothing more may follow.
        Records extra;
        Take(fake, &extra, 0);
        for (DWORD i = 0; i < extra.head.Count && got.head.Count < OVTFAKE_MAX_RECORDS; ++i)
            got.r[got.head.Count++] = extra.r[i];
    }
    char text[1024];
    DescribeRecords(got, text, sizeof(text));
    Check(SameRecords(got, want, n), name, "%lu records: %s(wanted %lu)",
          (unsigned long)got.head.Count, text, (unsigned long)n);
}

void Drain(Device& fake) {
    Records junk;
    Take(fake, &junk, 0);
}

// ---- checks ---------------------------------------------------------------

int CmdConnect() {
    Device fake(kFake);
    Check(fake.ok(), "connect.open-fake", "\\\\.\\OVTFake: error %lu", GetLastError());
    if (!fake.ok()) return 1;
    OvtFakeConnect c;
    memset(&c, 0, sizeof(c));
    Check(fake.Io(IOCTL_OVTFAKE_CONNECT, NULL, 0, &c, sizeof(c)), "connect.request");
    Check(c.ShortStatus == (int32_t)0xC000000D, "connect.short-input-refused",
          "status 0x%08lx", (unsigned long)c.ShortStatus);
    Check(c.Status == 0, "connect.accepted", "status 0x%08lx", (unsigned long)c.Status);
    Check(c.SecondStatus == (int32_t)0xC0000043, "connect.second-refused", "status 0x%08lx",
          (unsigned long)c.SecondStatus);
    Check(c.AttributesStatus == 0 && c.AttributesBytes == 12 && c.MouseIdentifier == 4 &&
              c.NumberOfButtons == 2 && c.InputDataQueueLength == 12,
          "connect.attributes", "status 0x%08lx bytes %lu id %u buttons %u queue %lu",
          (unsigned long)c.AttributesStatus, (unsigned long)c.AttributesBytes, c.MouseIdentifier,
          c.NumberOfButtons, (unsigned long)c.InputDataQueueLength);
    return g_failures ? 1 : 0;
}

int CmdSerial(const char* portName) {
    Device fake(kFake);
    if (!fake.ok()) {
        Check(false, "serial.open-fake", "error %lu", GetLastError());
        return 1;
    }
    Check(WaitReadPending(fake, 15000), "serial.read-pending", "no read outstanding after 15 s");
    OvtFakeState s;
    GetState(fake, &s);
    char name[OVTFAKE_NAME_CHARS + 1];
    for (int i = 0; i < OVTFAKE_NAME_CHARS; ++i) name[i] = (char)s.LastOpenName[i];
    name[OVTFAKE_NAME_CHARS] = 0;
    Check(lstrcmpiA(name, portName) == 0 && s.Opens == 1, "serial.port-name",
          "opened '%s' %lu times, wanted '%s' once", name, (unsigned long)s.Opens, portName);
    static const uint32_t order[3] = {0x1B000C, 0x1B0004, 0x1B001C};
    bool sameOrder = s.SerialCodeCount == 3;
    for (int i = 0; sameOrder && i < 3; ++i) sameOrder = s.SerialCodes[i] == order[i];
    Check(sameOrder, "serial.settings-order", "%lu requests: %lx %lx %lx",
          (unsigned long)s.SerialCodeCount, (unsigned long)s.SerialCodes[0],
          (unsigned long)s.SerialCodes[1], (unsigned long)s.SerialCodes[2]);
    Check(s.LineControlLength == 3 && s.LineControl[0] == 0 && s.LineControl[1] == 0 &&
              s.LineControl[2] == 8,
          "serial.line-8N1", "length %lu stop %u parity %u bits %u",
          (unsigned long)s.LineControlLength, s.LineControl[0], s.LineControl[1],
          s.LineControl[2]);
    Check(s.BaudLength == 4 && s.BaudRate == 9600, "serial.baud-9600", "length %lu rate %lu",
          (unsigned long)s.BaudLength, (unsigned long)s.BaudRate);
    bool zero = true;
    for (int i = 0; i < 5; ++i) zero = zero && s.Timeouts[i] == 0;
    Check(s.TimeoutsLength == 20 && zero, "serial.timeouts-zero", "length %lu",
          (unsigned long)s.TimeoutsLength);
    Check(s.SerialOutputBuffers == 0, "serial.no-output-buffers");
    Check(s.OverlappingReads == 0 && s.BadReads == 0, "serial.one-1-byte-read",
          "overlapping %lu bad %lu", (unsigned long)s.OverlappingReads,
          (unsigned long)s.BadReads);
    return g_failures ? 1 : 0;
}

// Absolute positions with the calibration 0..2048 on both axes.
int Abs2048(unsigned raw) {
    if (raw == 0) return 1;
    if (raw >= 2048) return 65520;
    return (int)((raw * 65535u) / 2048u);
}

int CmdSession() {
    Device fake(kFake);
    Device touch(OVT_CONTROL_DEVICE_PATH);
    Check(fake.ok() && touch.ok(), "session.devices", "fake %d ovtouch %d (error %lu)",
          fake.ok(), touch.ok(), GetLastError());
    if (!fake.ok() || !touch.ok()) return 1;
    Check(WaitReadPending(fake, 15000), "session.read-pending");

    BeepSettings beep = {0, 0, 0};
    touch.Io(IOCTL_TOUCH_GET_BEEP, NULL, 0, &beep, sizeof(beep));
    if (beep.BeepMode == 1 || beep.BeepMode == 2) {
        // Wine aborts the driver's process on a beep.
        Check(false, "session.beep-off", "BeepMode %lu in the driver; touches would beep",
              (unsigned long)beep.BeepMode);
        return 1;
    }
    CalibrationRecord full = {0, 0, 2048, 2048, 0, 0};
    touch.Io(IOCTL_TOUCH_SET_CALIBRATION, &full, sizeof(full), NULL, 0);
    Drain(fake);

    const unsigned x1 = 512, y1 = 256, x2 = 1024, y2 = 1024, x3 = 1536, y3 = 1800;
    const int ax1 = Abs2048(x1), ay1 = Abs2048(y1), ax2 = Abs2048(x2), ay2 = Abs2048(y2),
              ax3 = Abs2048(x3), ay3 = Abs2048(y3);

    // Each way a touch reaches the class, once: a click at the down (two
    // records from one packet), a click at the up, a drag; both buttons.
    // Every mode's flags are the core's tests.
    struct Case {
        DWORD buttonMode, mouseMode;
    } cases[] = {{0, 0}, {1, 1}, {1, 2}};
    for (const Case& c : cases) {
        touch.Word(IOCTL_TOUCH_SET_BUTTON_MODE, c.buttonMode);
        touch.Word(IOCTL_TOUCH_SET_MOUSE_MODE, c.mouseMode);
        unsigned short down = c.buttonMode ? OVT_MOUSE_RIGHT_BUTTON_DOWN : OVT_MOUSE_LEFT_BUTTON_DOWN;
        unsigned short up = c.buttonMode ? OVT_MOUSE_RIGHT_BUTTON_UP : OVT_MOUSE_LEFT_BUTTON_UP;
        Want want[6];
        DWORD n = 0;
        if (c.mouseMode == 0) {
            want[n++] = {down, ax1, ay1};
            want[n++] = {up, ax1, ay1};
            want[n++] = {0, ax2, ay2};
            want[n++] = {0, ax3, ay3};
        } else if (c.mouseMode == 1) {
            want[n++] = {0, ax1, ay1};
            want[n++] = {0, ax2, ay2};
            want[n++] = {down, ax3, ay3};
            want[n++] = {up, ax3, ay3};
        } else {
            want[n++] = {down, ax1, ay1};
            want[n++] = {0, ax2, ay2};
            want[n++] = {up, ax3, ay3};
        }
        FeedPacket(fake, TOUCH_DOWN, x1, y1);
        FeedPacket(fake, TOUCH_MOVE, x2, y2);
        FeedPacket(fake, TOUCH_UP, x3, y3);
        char name[64];
        snprintf(name, sizeof(name), "session.button%lu-mode%lu", (unsigned long)c.buttonMode,
                 (unsigned long)c.mouseMode);
        CheckRecords(fake, name, want, n);
    }
    touch.Word(IOCTL_TOUCH_SET_BUTTON_MODE, 0);
    touch.Word(IOCTL_TOUCH_SET_MOUSE_MODE, 0);

    // A failed and a cancelled read in mid-packet lose that packet only.
    struct Break {
        const char* name;
        DWORD code;
    } breaks[] = {{"session.failed-read-mid-packet", IOCTL_OVTFAKE_FAIL_READ},
                  {"session.cancelled-read-mid-packet", IOCTL_OVTFAKE_CANCEL_READ}};
    for (const Break& b : breaks) {
        unsigned char p[TOUCH_PACKET_SIZE];
        MakePacket(p, TOUCH_MOVE, 700, 900);
        Feed(fake, p, 5);
        WaitReadPending(fake, 2000);
        DWORD zero = 0;
        bool done = fake.Io(b.code, &zero, 4, NULL, 0);
        WaitReadPending(fake, 2000);
        Feed(fake, p + 5, 5);
        CheckRecords(fake, b.name, NULL, 0);
        Check(done && WaitReadPending(fake, 2000), b.name, "request %d, no read afterwards",
              done);
        MakePacket(p, TOUCH_MOVE, 800, 1000);
        Feed(fake, p, sizeof(p));
        Want want[] = {{0, Abs2048(800), Abs2048(1000)}};
        char name[96];
        snprintf(name, sizeof(name), "%s.reading-goes-on", b.name);
        CheckRecords(fake, name, want, 1);
    }

    // A port with many bytes buffered completes reads inside the call that
    // issues them; the driver must not nest once per byte.
    {
        const int packets = 150;
        static unsigned char burst[packets * TOUCH_PACKET_SIZE];
        for (int i = 0; i < packets; ++i)
            MakePacket(burst + i * TOUCH_PACKET_SIZE, TOUCH_MOVE, 100 + i, 200 + i);
        DWORD on = 1, off = 0;
        fake.Io(IOCTL_OVTFAKE_SET_INLINE, &on, 4, NULL, 0);
        OvtFakeState before;
        GetState(fake, &before);
        Feed(fake, burst, sizeof(burst));
        Records got;
        Take(fake, &got, packets, 5000);
        fake.Io(IOCTL_OVTFAKE_SET_INLINE, &off, 4, NULL, 0);
        bool inOrder = got.head.Count == (DWORD)packets;
        for (int i = 0; inOrder && i < packets; ++i)
            inOrder = got.r[i].LastX == Abs2048(100 + i) && got.r[i].LastY == Abs2048(200 + i);
        Check(inOrder, "session.burst-in-order", "%lu of %d records",
              (unsigned long)got.head.Count, packets);
        OvtFakeState s;
        GetState(fake, &s);
        Check(s.MaxReadDepth <= 4, "session.burst-nesting-bounded",
              "reads nested %lu deep", (unsigned long)s.MaxReadDepth);
        Check(s.OverlappingReads == 0 && s.BadReads == 0 && s.MultiRecordCalls == 0,
              "session.one-read-one-record", "overlapping %lu bad %lu multi %lu",
              (unsigned long)s.OverlappingReads, (unsigned long)s.BadReads,
              (unsigned long)s.MultiRecordCalls);
        Check(WaitReadPending(fake, 2000), "session.read-pending-after-burst");
    }

    touch.Send(IOCTL_TOUCH_RELOAD_PARAMETERS);
    Drain(fake);
    return g_failures ? 1 : 0;
}

// touch RAWX RAWY [EXPX EXPY]: one touch (down, up) at a raw point; with the
// expected absolute position, checks what the class received: the down and
// up flags of the driver's button and mouse mode are not assumed, only that
// every record lies at the position and that a down and an up came.
int CmdTouch(int argc, char** argv) {
    Device fake(kFake);
    if (!fake.ok() || argc < 2) return 2;
    unsigned x = strtoul(argv[0], NULL, 0), y = strtoul(argv[1], NULL, 0);
    Drain(fake);
    WaitReadPending(fake, 5000);
    FeedPacket(fake, TOUCH_DOWN, x, y);
    FeedPacket(fake, TOUCH_UP, x, y);
    if (argc < 4) return 0;
    int ex = strtol(argv[2], NULL, 0), ey = strtol(argv[3], NULL, 0);
    const char* name = argc >= 5 ? argv[4] : "touch.position";
    // Optional: the exact set of button flags the touch must have produced.
    long wantFlags = argc >= 6 ? strtol(argv[5], NULL, 0) : -1;
    Records got;
    Take(fake, &got, 2);
    Records extra;
    Take(fake, &extra, 0);
    for (DWORD i = 0; i < extra.head.Count; ++i) got.r[got.head.Count++] = extra.r[i];
    bool at = got.head.Count >= 2;
    unsigned short flags = 0;
    for (DWORD i = 0; i < got.head.Count; ++i) {
        at = at && got.r[i].LastX == ex && got.r[i].LastY == ey;
        flags |= got.r[i].ButtonFlags;
    }
    char text[1024];
    DescribeRecords(got, text, sizeof(text));
    Check(at && flags != 0 && (wantFlags < 0 || flags == wantFlags), name,
          "%s(wanted all at %d,%d, flags %lx)", text, ex, ey, wantFlags);
    return g_failures ? 1 : 0;
}

// Prints records taken so far, one per line: flags x y.
int CmdRecords() {
    Device fake(kFake);
    if (!fake.ok()) return 2;
    Records got;
    Take(fake, &got, 0);
    for (DWORD i = 0; i < got.head.Count; ++i)
        printf("%04x %d %d\n", got.r[i].ButtonFlags, (int)got.r[i].LastX, (int)got.r[i].LastY);
    return 0;
}

int CmdGet() {
    Device touch(OVT_CONTROL_DEVICE_PATH);
    if (!touch.ok()) {
        printf("open=fail error=%lu\n", GetLastError());
        return 1;
    }
    BeepSettings beep = {0, 0, 0};
    CaptureRecord cap = {0, 0, 0};
    LastReport last = {0, 0, 0};
    touch.Io(IOCTL_TOUCH_GET_BEEP, NULL, 0, &beep, sizeof(beep));
    touch.Io(IOCTL_TOUCH_GET_CAPTURE, NULL, 0, &cap, sizeof(cap));
    touch.Io(IOCTL_TOUCH_GET_LAST_REPORT, NULL, 0, &last, sizeof(last));
    printf("open=ok\nButtonMode=%lu\nMouseMode=%lu\nBeepMode=%lu\nBeepFreq=%lu\nBeepTime=%lu\n"
           "Capture=%lx\nRawX=%lu\nRawY=%lu\nLastFlags=%lx\nLastX=%lu\nLastY=%lu\n",
           (unsigned long)touch.GetWord(IOCTL_TOUCH_GET_BUTTON_MODE),
           (unsigned long)touch.GetWord(IOCTL_TOUCH_GET_MOUSE_MODE),
           (unsigned long)beep.BeepMode, (unsigned long)beep.BeepFreq,
           (unsigned long)beep.BeepTime, (unsigned long)cap.State, (unsigned long)cap.RawX,
           (unsigned long)cap.RawY, (unsigned long)last.ButtonFlags, (unsigned long)last.LastX,
           (unsigned long)last.LastY);
    return 0;
}

int CmdSet(const char* what, int argc, char** argv) {
    Device touch(OVT_CONTROL_DEVICE_PATH);
    if (!touch.ok()) return 1;
    DWORD v[3] = {0, 0, 0};
    for (int i = 0; i < argc && i < 3; ++i) v[i] = strtoul(argv[i], NULL, 0);
    if (!strcmp(what, "set-button-mode")) return touch.Word(IOCTL_TOUCH_SET_BUTTON_MODE, v[0]) ? 0 : 1;
    if (!strcmp(what, "set-mouse-mode")) return touch.Word(IOCTL_TOUCH_SET_MOUSE_MODE, v[0]) ? 0 : 1;
    if (!strcmp(what, "set-beep")) return touch.Io(IOCTL_TOUCH_SET_BEEP, v, 12, NULL, 0) ? 0 : 1;
    if (!strcmp(what, "set-calibration")) {
        DWORD c[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < argc && i < 4; ++i) c[i] = strtoul(argv[i], NULL, 0);
        return touch.Io(IOCTL_TOUCH_SET_CALIBRATION, c, 24, NULL, 0) ? 0 : 1;
    }
    if (!strcmp(what, "reload")) return touch.Send(IOCTL_TOUCH_RELOAD_PARAMETERS) ? 0 : 1;
    return 2;
}

// wait-capture STATE MS: until the driver's capture state is STATE (hex).
int CmdWaitCapture(int argc, char** argv) {
    if (argc < 2) return 2;
    DWORD want = strtoul(argv[0], NULL, 16), ms = strtoul(argv[1], NULL, 0);
    for (DWORD waited = 0;; waited += 25) {
        Device touch(OVT_CONTROL_DEVICE_PATH);
        CaptureRecord cap = {0, 0, 0};
        if (touch.ok() && touch.Io(IOCTL_TOUCH_GET_CAPTURE, NULL, 0, &cap, sizeof(cap)) &&
            cap.State == want)
            return 0;
        if (waited >= ms) {
            printf("capture state %lx, wanted %lx\n", (unsigned long)cap.State,
                   (unsigned long)want);
            return 1;
        }
        Sleep(25);
    }
}

int CmdWaitDevice(int argc, char** argv) {
    if (argc < 2) return 2;
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "\\\\.\\%s", argv[0]);
    DWORD ms = strtoul(argv[1], NULL, 0) * 1000;
    for (DWORD waited = 0;; waited += 100) {
        HANDLE h = OpenDevice(path);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return 0;
        }
        if (waited >= ms) {
            printf("%s: error %lu\n", path, GetLastError());
            return 1;
        }
        Sleep(100);
    }
}

// The driver's pointer-port registration lives in a volatile key that Wine
// drops with its server; it has to exist before the driver writes into it.
int CmdDeviceMap() {
    HKEY key;
    DWORD disposition = 0;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\PointerPort", 0, NULL,
                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &key, &disposition);
    if (r != ERROR_SUCCESS) {
        printf("devicemap: error %ld\n", r);
        return 1;
    }
    char data[512];
    DWORD size = sizeof(data) - 1, type = 0;
    if (RegQueryValueExA(key, "\\Device\\PointerPort0", NULL, &type, (BYTE*)data, &size) ==
        ERROR_SUCCESS) {
        data[size] = 0;
        printf("PointerPort0=%s\n", data);
    }
    RegCloseKey(key);
    return 0;
}

int CmdHold() {
    for (;;) Sleep(60000);
}

// reg-dword ROOT PATH NAME: prints the value or "absent".
int CmdRegDword(int argc, char** argv) {
    if (argc < 3) return 2;
    HKEY root = !strcmp(argv[0], "HKCU") ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key;
    if (RegOpenKeyExA(root, argv[1], 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        printf("absent\n");
        return 1;
    }
    BYTE data[512];
    DWORD size = sizeof(data) - 1, type = 0;
    LONG r = RegQueryValueExA(key, argv[2], NULL, &type, data, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) {
        printf("absent\n");
        return 1;
    }
    if (type == REG_DWORD && size == 4) {
        DWORD v;
        memcpy(&v, data, 4);
        printf("%lu\n", (unsigned long)v);
    } else {
        data[size] = 0;
        printf("%s\n", (const char*)data);
    }
    return 0;
}

// ---- windows ---------------------------------------------------------------

// Titles travel as hex of their ANSI (GBK) bytes so the shell never has to
// carry them.
void Hex(const char* s, char* out) {
    static const char digits[] = "0123456789abcdef";
    for (; *s; ++s) {
        *out++ = digits[(unsigned char)*s >> 4];
        *out++ = digits[(unsigned char)*s & 15];
    }
    *out = 0;
}

bool Unhex(const char* hex, char* out, size_t size) {
    size_t n = 0;
    for (; hex[0] && hex[1] && n + 1 < size; hex += 2) {
        char b[3] = {hex[0], hex[1], 0};
        out[n++] = (char)strtoul(b, NULL, 16);
    }
    out[n] = 0;
    return true;
}

struct Find {
    const char* cls;    // or null
    const char* title;  // or null
    bool prefix;        // the title only begins so
    HWND found[16];
    int count;
};

BOOL CALLBACK FindTop(HWND w, LPARAM p) {
    Find* f = reinterpret_cast<Find*>(p);
    if (!IsWindowVisible(w)) return TRUE;
    char cls[256], title[256];
    GetClassNameA(w, cls, sizeof(cls));
    GetWindowTextA(w, title, sizeof(title));
    if (f->cls && strcmp(cls, f->cls)) return TRUE;
    if (f->title && (f->prefix ? strncmp(title, f->title, strlen(f->title)) : strcmp(title, f->title))) return TRUE;
    if (f->count < 16) f->found[f->count++] = w;
    return TRUE;
}

// Selector: "class:NAME", "title:HEX" or "title:HEX*" (a title that begins so).
HWND FindTopWindow(const char* selector, int* count) {
    Find f;
    memset(&f, 0, sizeof(f));
    char title[256];
    if (!strncmp(selector, "class:", 6)) {
        f.cls = selector + 6;
    } else if (!strncmp(selector, "title:", 6)) {
        Unhex(selector + 6, title, sizeof(title));
        f.title = title;
        f.prefix = selector[strlen(selector) - 1] == '*';
    } else {
        return NULL;
    }
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&f));
    if (count) *count = f.count;
    return f.count ? f.found[0] : NULL;
}

struct FindChild {
    int id;
    HWND found;
};

BOOL CALLBACK FindById(HWND w, LPARAM p) {
    FindChild* f = reinterpret_cast<FindChild*>(p);
    if (GetDlgCtrlID(w) == f->id && IsWindowVisible(w)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

void PrintWindow(HWND w) {
    char title[256], hex[520], cls[256];
    GetWindowTextA(w, title, sizeof(title));
    GetClassNameA(w, cls, sizeof(cls));
    Hex(title, hex);
    RECT r;
    GetWindowRect(w, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    printf("hwnd=%p\nclass=%s\ntitle=%s\nx=%ld\ny=%ld\nw=%ld\nh=%ld\ncx=%ld\ncy=%ld\npid=%lu\n"
           "enabled=%d\n",
           (void*)w, cls, hex, r.left, r.top, r.right - r.left, r.bottom - r.top,
           (r.left + r.right) / 2, (r.top + r.bottom) / 2, (unsigned long)pid,
           IsWindowEnabled(w) ? 1 : 0);
}

// window SELECTOR [CONTROL-ID]: prints the window (or its visible control
// with that id, searched through nested dialogs); exit 1 when absent.
int CmdWindow(int argc, char** argv) {
    if (argc < 1) return 2;
    int count = 0;
    HWND w = FindTopWindow(argv[0], &count);
    if (!w) return 1;
    if (argc >= 2) {
        FindChild f = {atoi(argv[1]), NULL};
        EnumChildWindows(w, FindById, reinterpret_cast<LPARAM>(&f));
        if (!f.found) return 1;
        w = f.found;
    }
    printf("count=%d\n", count);
    PrintWindow(w);
    return 0;
}

// wait-window SELECTOR MS [gone]
int CmdWaitWindow(int argc, char** argv) {
    if (argc < 2) return 2;
    DWORD ms = strtoul(argv[1], NULL, 0);
    bool gone = argc >= 3 && !strcmp(argv[2], "gone");
    for (DWORD waited = 0;; waited += 100) {
        HWND w = FindTopWindow(argv[0], NULL);
        if (gone ? !w : w != NULL) {
            if (w) PrintWindow(w);
            return 0;
        }
        if (waited >= ms) return 1;
        Sleep(100);
    }
}

// text SELECTOR ID: the GBK text of a control, as hex.
int CmdText(int argc, char** argv) {
    if (argc < 2) return 2;
    HWND w = FindTopWindow(argv[0], NULL);
    if (!w) return 1;
    FindChild f = {atoi(argv[1]), NULL};
    EnumChildWindows(w, FindById, reinterpret_cast<LPARAM>(&f));
    if (!f.found) return 1;
    char text[512], hex[1030];
    GetWindowTextA(f.found, text, sizeof(text));
    Hex(text, hex);
    printf("%s\n", hex);
    return 0;
}

// msg SELECTOR ID MSG [WPARAM]: sends a message without pointers (list and
// combo selection, check state, slider position) and prints the result.
int CmdMsg(int argc, char** argv) {
    if (argc < 3) return 2;
    HWND w = FindTopWindow(argv[0], NULL);
    if (!w) return 1;
    FindChild f = {atoi(argv[1]), NULL};
    EnumChildWindows(w, FindById, reinterpret_cast<LPARAM>(&f));
    if (!f.found) return 1;
    UINT msg = strtoul(argv[2], NULL, 0);
    WPARAM wp = argc >= 4 ? strtoul(argv[3], NULL, 0) : 0;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(f.found, msg, wp, 0, SMTO_ABORTIFHUNG, 5000, &result)) return 1;
    printf("%ld\n", (long)(LONG_PTR)result);
    return 0;
}

// focus SELECTOR: the control id that has the keyboard focus in that
// window's thread (0 when none).
int CmdFocus(int argc, char** argv) {
    if (argc < 1) return 2;
    HWND w = FindTopWindow(argv[0], NULL);
    if (!w) return 1;
    GUITHREADINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, NULL), &info)) return 1;
    printf("%d\n", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
    return 0;
}

// A window's text as UTF-8, for a person reading the log.
void Utf8Text(HWND w, char* out, int size) {
    WCHAR wide[256];
    const int n = GetWindowTextW(w, wide, 256);
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, out, size - 1, NULL, NULL);
    out[m > 0 ? m : 0] = 0;
}

void ReportFit(const HostFitFault& f, void*) {
    char cls[64], text[256], otherCls[64], otherText[256];
    GetClassNameA(f.window, cls, sizeof(cls));
    Utf8Text(f.window, text, sizeof(text));
    otherCls[0] = otherText[0] = 0;
    if (f.other) GetClassNameA(f.other, otherCls, sizeof(otherCls));
    if (f.other) Utf8Text(f.other, otherText, sizeof(otherText));
    Check(false, "host-fit", "%d %s \"%s\" at %ld,%ld,%ld,%ld %s %d %s \"%s\" %ld,%ld,%ld,%ld", GetDlgCtrlID(f.window),
          cls, text, f.rect.left, f.rect.top, f.rect.right, f.rect.bottom,
          f.overlap ? "overlaps" : f.other ? "sticks out of the client area of" : "leaves the work area",
          f.other ? GetDlgCtrlID(f.other) : 0, otherCls, otherText,
          f.bound.left, f.bound.top, f.bound.right, f.bound.bottom);
}

// host-fit SELECTOR: the window's place and size, then every visible
// control cut off by the window or by a window between, and every overlap
// of the window's own controls.
int CmdHostFit(int argc, char** argv) {
    if (argc < 1) return 2;
    HWND w = FindTopWindow(argv[0], NULL);
    if (!w) return 1;
    RECT window, client;
    GetWindowRect(w, &window);
    GetClientRect(w, &client);
    printf("host window=%ld,%ld %ldx%ld client=%ldx%ld screen=%dx%d\n", window.left, window.top,
           window.right - window.left, window.bottom - window.top, client.right, client.bottom,
           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    RECT work, ok, cancel;
    WorkAreaFromEnvironment();
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(GetDlgItem(w, IDOK), &ok);
    GetWindowRect(GetDlgItem(w, IDCANCEL), &cancel);
    printf("host work=%ld,%ld,%ld,%ld ok=%ld,%ld,%ld,%ld cancel=%ld,%ld,%ld,%ld\n", work.left, work.top, work.right,
           work.bottom, ok.left, ok.top, ok.right, ok.bottom, cancel.left, cancel.top, cancel.right, cancel.bottom);
    if (!CheckHostFit(w, ReportFit, NULL) + !CheckInWorkArea(w, ReportFit, NULL) == 2) Check(true, "host-fit");
    return g_failures ? 1 : 0;
}

int Usage() {
    fprintf(stderr,
            "usage: ovtprobe COMMAND ...\n"
            "  hold | devicemap | wait-device NAME SECONDS\n"
            "  connect | serial PORTNAME | session\n"
            "  touch RAWX RAWY [ABSX ABSY [CHECKNAME [FLAGS]]] | records\n"
            "  get | set-button-mode N | set-mouse-mode N | set-beep M F T\n"
            "  set-calibration XLOW YLOW XHIGH YHIGH | reload | wait-capture HEX MS\n"
            "  reg-dword HKLM|HKCU PATH NAME\n"
            "  window class:NAME|title:HEX [ID] | wait-window SELECTOR MS [gone]\n"
            "  text SELECTOR ID | msg SELECTOR ID MSG [WPARAM] | focus SELECTOR | host-fit SELECTOR\n"
            "  controls | button-mode | capture-state | device-answers | dump-windows\n"
            "  calib-window|calib-msgbox|calib-gone [SECONDS] [ok] | calib-keyup-escape | calib-repaint\n"
            "  altclick-close|altclick-info l|r\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const char* cmd = argv[1];
    int n = argc - 2;
    char** rest = argv + 2;
    if (!strcmp(cmd, "hold")) return CmdHold();
    if (!strcmp(cmd, "devicemap")) return CmdDeviceMap();
    if (!strcmp(cmd, "wait-device")) return CmdWaitDevice(n, rest);
    if (!strcmp(cmd, "connect")) return CmdConnect();
    if (!strcmp(cmd, "serial")) return n >= 1 ? CmdSerial(rest[0]) : Usage();
    if (!strcmp(cmd, "session")) return CmdSession();
    if (!strcmp(cmd, "touch")) return CmdTouch(n, rest);
    if (!strcmp(cmd, "records")) return CmdRecords();
    if (!strcmp(cmd, "get")) return CmdGet();
    if (!strncmp(cmd, "set-", 4) || !strcmp(cmd, "reload")) return CmdSet(cmd, n, rest);
    if (!strcmp(cmd, "wait-capture")) return CmdWaitCapture(n, rest);
    if (!strcmp(cmd, "reg-dword")) return CmdRegDword(n, rest);
    if (!strcmp(cmd, "window")) return CmdWindow(n, rest);
    if (!strcmp(cmd, "wait-window")) return CmdWaitWindow(n, rest);
    if (!strcmp(cmd, "text")) return CmdText(n, rest);
    if (!strcmp(cmd, "msg")) return CmdMsg(n, rest);
    if (!strcmp(cmd, "focus")) return CmdFocus(n, rest);
    if (!strcmp(cmd, "host-fit")) return CmdHostFit(n, rest);
    if (!strcmp(cmd, "controls")) return CmdControls();
    if (!strcmp(cmd, "button-mode")) return CmdButtonMode();
    if (!strcmp(cmd, "capture-state")) return CmdCaptureState();
    if (!strcmp(cmd, "device-answers")) return CmdDeviceAnswers();
    if (!strcmp(cmd, "dump-windows")) return CmdDumpWindows();
    if (!strncmp(cmd, "calib-", 6)) return CmdCalib(cmd + 6, n, rest);
    if (!strncmp(cmd, "altclick-", 9)) return CmdAltclick(cmd + 9, n, rest);
    return Usage();
}
