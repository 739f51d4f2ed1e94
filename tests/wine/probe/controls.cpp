// The probe's commands on the real driver's control device: what the
// platform adds to the dispatcher's answers (the driver load tier, which sets
// up the Parameters first), and single values for the program tiers.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "common/ovtouch.h"
#include "common/user/win32_platform.h"
#include "probe.h"

namespace {

HANDLE g_device;
int g_failed;

// What a program sees: DeviceIoControl's result, its Win32 error and byte
// count, and the output buffer, filled with 0xEE before the call.
struct Answer {
    BOOL Ok;
    DWORD Error;
    DWORD Bytes;
    BYTE Out[16];
    DWORD Word(int i) const {
        DWORD w;
        memcpy(&w, Out + 4 * i, 4);
        return w;
    }
};

Answer Call(DWORD code, const void* in, DWORD inLength, DWORD outLength) {
    Answer a;
    memset(&a, 0, sizeof(a));
    memset(a.Out, 0xEE, sizeof(a.Out));
    a.Ok = DeviceIoControl(g_device, code, const_cast<void*>(in), inLength, outLength ? a.Out : NULL, outLength,
                           &a.Bytes, NULL);
    a.Error = a.Ok ? 0 : GetLastError();
    return a;
}

void Check(const char* what, bool ok) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failed;
}

void Show(const Answer& a) {
    printf("     ok %d error %lu bytes %lu out %lx %lx %lx %lx\n", a.Ok, static_cast<unsigned long>(a.Error),
           static_cast<unsigned long>(a.Bytes), static_cast<unsigned long>(a.Word(0)),
           static_cast<unsigned long>(a.Word(1)), static_cast<unsigned long>(a.Word(2)),
           static_cast<unsigned long>(a.Word(3)));
}

// The record's words come back, and nothing of the buffer past them.
void ExpectWords(const char* what, DWORD code, DWORD outLength, const DWORD* words, DWORD count) {
    const Answer a = Call(code, NULL, 0, outLength);
    bool ok = a.Ok && a.Bytes == 4 * count;
    for (DWORD i = 0; i < count; ++i) ok = ok && a.Word(i) == words[i];
    for (DWORD i = 4 * count; i < outLength; ++i) ok = ok && a.Out[i] == 0xEE;
    if (!ok) Show(a);
    Check(what, ok);
}

// Refused: no bytes, the buffer untouched, the error a program gets.
void ExpectError(const char* what, DWORD code, const void* in, DWORD inLength, DWORD outLength, DWORD error) {
    const Answer a = Call(code, in, inLength, outLength);
    bool ok = !a.Ok && a.Error == error && a.Bytes == 0;
    for (DWORD i = 0; i < outLength; ++i) ok = ok && a.Out[i] == 0xEE;
    if (!ok) Show(a);
    Check(what, ok);
}

bool Send(DWORD code, const void* in, DWORD inLength) {
    const Answer a = Call(code, in, inLength, 0);
    if (!a.Ok || a.Bytes != 0) Show(a);
    return a.Ok && a.Bytes == 0;
}

}  // namespace

// The dispatcher's answers themselves are the core's tests; here one of each
// kind, as a program gets it through the kernel and the binding. Prints one
// line per check; exit code = number of failed checks.
int CmdControls() {
    g_device = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (g_device == INVALID_HANDLE_VALUE) {
        printf("FAIL open %s: error %lu\n", OVT_CONTROL_DEVICE_PATH, GetLastError());
        return 100;
    }
    Check("open " OVT_CONTROL_DEVICE_PATH, true);
    HANDLE second = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    Check("a second handle opens too", second != INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);

    // The Parameters key run.sh wrote, read through the system's registry:
    // a ButtonMode of another type passed over, MouseMode 4 and BeepTime 20
    // corrected.
    const DWORD zero[3] = {0, 0, 0};
    const DWORD two = 2;
    const DWORD loadedBeep[3] = {0, 3000, 40};
    ExpectWords("beep 0/3000/20 loads as 0/3000/40, 12 bytes into 16", IOCTL_TOUCH_GET_BEEP, 16, loadedBeep, 3);
    ExpectWords("ButtonMode of another type keeps 0", IOCTL_TOUCH_GET_BUTTON_MODE, 4, zero, 1);
    ExpectWords("MouseMode 4 loads as 2", IOCTL_TOUCH_GET_MOUSE_MODE, 4, &two, 1);
    ExpectWords("capture idle at load", IOCTL_TOUCH_GET_CAPTURE, 12, zero, 3);
    ExpectWords("no last report at load", IOCTL_TOUCH_GET_LAST_REPORT, 12, zero, 3);

    ExpectError("GET_CAPTURE into 8 bytes: insufficient buffer", IOCTL_TOUCH_GET_CAPTURE, NULL, 0, 8,
                ERROR_INSUFFICIENT_BUFFER);
    const DWORD calibration[5] = {500, 0, 500, 2048, 7};
    ExpectError("SET_CALIBRATION of 20 bytes: invalid parameter", IOCTL_TOUCH_SET_CALIBRATION, calibration, 20, 0,
                ERROR_INVALID_PARAMETER);
    ExpectError("reserved 910: invalid function", IOCTL_TOUCH_RESERVED_910, NULL, 0, 0, ERROR_INVALID_FUNCTION);
    ExpectError("unknown f2404: invalid function", 0xF2404, NULL, 0, 4, ERROR_INVALID_FUNCTION);
    BYTE byte = 0;
    DWORD read = 0;
    const BOOL readOk = ReadFile(g_device, &byte, 1, &read, NULL);
    Check("read: invalid function", !readOk && GetLastError() == ERROR_INVALID_FUNCTION && read == 0);

    const DWORD beep[3] = {5, 3000, 100};
    Check("SET_BEEP 5/3000/100", Send(IOCTL_TOUCH_SET_BEEP, beep, 12));
    ExpectWords("beep read back 5/3000/100", IOCTL_TOUCH_GET_BEEP, 12, beep, 3);
    // The port never opens here: the second DISABLE_REPORTS finds the count at 0.
    Check("ARM_CAPTURE, ENABLE_REPORTS, DISABLE_REPORTS twice",
          Send(IOCTL_TOUCH_ARM_CAPTURE, NULL, 0) && Send(IOCTL_TOUCH_ENABLE_REPORTS, NULL, 0) &&
              Send(IOCTL_TOUCH_DISABLE_REPORTS, NULL, 0) && Send(IOCTL_TOUCH_DISABLE_REPORTS, NULL, 0));
    Check("RELOAD_PARAMETERS", Send(IOCTL_TOUCH_RELOAD_PARAMETERS, NULL, 0));
    ExpectWords("reload reads the key again", IOCTL_TOUCH_GET_BEEP, 12, loadedBeep, 3);
    const DWORD armed[3] = {CAPTURE_ARMED, 0, 0};
    ExpectWords("reload keeps the capture", IOCTL_TOUCH_GET_CAPTURE, 12, armed, 3);

    CloseHandle(g_device);
    printf("%d failed\n", g_failed);
    return g_failed;
}

// The driver's ButtonMode as a number.
int CmdButtonMode() {
    ovt::Win32ControlDevice device;
    if (!device.Open()) {
        fprintf(stderr, "cannot open the control device\n");
        return 3;
    }
    uint32_t n = 0, word = 0;
    if (!device.Control(IOCTL_TOUCH_GET_BUTTON_MODE, 0, 0, &word, 4, &n)) return 4;
    printf("%u\n", word);
    return 0;
}

int CmdCaptureState() {
    ovt::Win32ControlDevice device;
    if (!device.Open()) {
        fprintf(stderr, "cannot open the control device\n");
        return 3;
    }
    uint32_t n = 0;
    CaptureRecord c;
    if (!device.Control(IOCTL_TOUCH_GET_CAPTURE, 0, 0, &c, sizeof c, &n)) return 4;
    printf("0x%x\n", c.State);
    return 0;
}

// One line: whether the device opens, and its mouse mode and beep.
int CmdDeviceAnswers() {
    HANDLE h = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        printf("open failed %lu\n", GetLastError());
        return 1;
    }
    DWORD mode = 0xFFFFFFFF, n = 0;
    DWORD beep[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    BOOL a = DeviceIoControl(h, IOCTL_TOUCH_GET_MOUSE_MODE, NULL, 0, &mode, 4, &n, NULL);
    BOOL b = DeviceIoControl(h, IOCTL_TOUCH_GET_BEEP, NULL, 0, beep, 12, &n, NULL);
    printf("open ok mousemode=%lu(%d) beep=%lu,%lu,%lu(%d)\n", mode, a ? 1 : 0, beep[0], beep[1], beep[2],
           b ? 1 : 0);
    CloseHandle(h);
    return 0;
}
