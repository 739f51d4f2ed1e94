// The probe's commands on the real driver's control device: the answer to
// every control code (the driver load tier, which sets up the Parameters
// first) and single values for the program tiers.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "common/ovtouch.h"
#include "common/user/win32_platform.h"
#include "probe.h"

namespace {

typedef struct {
    union {
        LONG Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
} IoStatus;

typedef LONG(WINAPI* NtDeviceIoControlFileFn)(HANDLE, HANDLE, PVOID, PVOID, IoStatus*, ULONG, PVOID, ULONG, PVOID,
                                             ULONG);
typedef LONG(WINAPI* NtReadFileFn)(HANDLE, HANDLE, PVOID, PVOID, IoStatus*, PVOID, ULONG, PLARGE_INTEGER, PULONG);

NtDeviceIoControlFileFn g_ioctl;
NtReadFileFn g_read;
HANDLE g_device;
int g_failed;

struct Answer {
    LONG Status;
    ULONG Bytes;
    DWORD Words[4];
};

// Raw status and byte count: the Win32 error mapping would blur them.
Answer Call(DWORD code, const void* in, DWORD inLength, DWORD outLength) {
    Answer a;
    memset(&a, 0, sizeof(a));
    BYTE buffer[64];
    memset(buffer, 0xEE, sizeof(buffer));
    if (in != NULL) memcpy(buffer, in, inLength);
    IoStatus iosb;
    memset(&iosb, 0, sizeof(iosb));
    a.Status = g_ioctl(g_device, NULL, NULL, NULL, &iosb, code, in ? buffer : NULL, inLength,
                       outLength ? buffer : NULL, outLength);
    if (a.Status >= 0) a.Bytes = static_cast<ULONG>(iosb.Information);
    memcpy(a.Words, buffer, sizeof(a.Words));
    return a;
}

void Check(const char* what, bool ok) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failed;
}

void ExpectWords(const char* what, DWORD code, DWORD outLength, ULONG bytes, const DWORD* words, int count) {
    const Answer a = Call(code, NULL, 0, outLength);
    bool ok = a.Status == 0 && a.Bytes == bytes;
    for (int i = 0; i < count; ++i) ok = ok && a.Words[i] == words[i];
    if (!ok) {
        printf("     status %08lx bytes %lu words %lx %lx %lx\n", static_cast<unsigned long>(a.Status),
               static_cast<unsigned long>(a.Bytes), static_cast<unsigned long>(a.Words[0]),
               static_cast<unsigned long>(a.Words[1]), static_cast<unsigned long>(a.Words[2]));
    }
    Check(what, ok);
}

void ExpectStatus(const char* what, DWORD code, const void* in, DWORD inLength, DWORD outLength, LONG status) {
    const Answer a = Call(code, in, inLength, outLength);
    if (a.Status != status || a.Bytes != 0) {
        printf("     status %08lx bytes %lu\n", static_cast<unsigned long>(a.Status),
               static_cast<unsigned long>(a.Bytes));
    }
    Check(what, a.Status == status && a.Bytes == 0);
}

void Send(const char* what, DWORD code, const DWORD* words, DWORD inLength) {
    ExpectStatus(what, code, words, inLength, 0, OVT_STATUS_SUCCESS);
}

}  // namespace

// Prints one line per check; exit code = number of failed checks.
int CmdControls() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    g_ioctl = reinterpret_cast<NtDeviceIoControlFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeviceIoControlFile")));
    g_read = reinterpret_cast<NtReadFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtReadFile")));
    g_device = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (g_device == INVALID_HANDLE_VALUE || g_ioctl == NULL || g_read == NULL) {
        printf("FAIL open %s: error %lu\n", OVT_CONTROL_DEVICE_PATH, GetLastError());
        return 100;
    }
    Check("open " OVT_CONTROL_DEVICE_PATH, true);
    HANDLE second = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    Check("a second handle opens too", second != INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);

    // Loaded from the Parameters key run.sh wrote.
    const DWORD zero[3] = {0, 0, 0};
    const DWORD two = 2;
    ExpectWords("ButtonMode of another type keeps 0", IOCTL_TOUCH_GET_BUTTON_MODE, 4, 4, zero, 1);
    ExpectWords("MouseMode 4 loads as 2", IOCTL_TOUCH_GET_MOUSE_MODE, 4, 4, &two, 1);
    const DWORD loadedBeep[3] = {0, 3000, 40};
    ExpectWords("beep 0/3000/20 loads as 0/3000/40", IOCTL_TOUCH_GET_BEEP, 12, 12, loadedBeep, 3);
    ExpectWords("GET_BEEP with 16 bytes returns 12", IOCTL_TOUCH_GET_BEEP, 16, 12, loadedBeep, 3);
    ExpectStatus("GET_BEEP with 8 bytes", IOCTL_TOUCH_GET_BEEP, NULL, 0, 8, OVT_STATUS_BUFFER_TOO_SMALL);

    ExpectWords("capture idle", IOCTL_TOUCH_GET_CAPTURE, 12, 12, zero, 3);
    ExpectStatus("GET_CAPTURE with 8 bytes", IOCTL_TOUCH_GET_CAPTURE, NULL, 0, 8, OVT_STATUS_BUFFER_TOO_SMALL);
    Send("ARM_CAPTURE", IOCTL_TOUCH_ARM_CAPTURE, NULL, 0);
    const DWORD armed[3] = {CAPTURE_ARMED, 0, 0};
    ExpectWords("capture armed", IOCTL_TOUCH_GET_CAPTURE, 12, 12, armed, 3);
    ExpectWords("last report before any packet", IOCTL_TOUCH_GET_LAST_REPORT, 12, 12, zero, 3);
    ExpectStatus("GET_LAST_REPORT with 4 bytes", IOCTL_TOUCH_GET_LAST_REPORT, NULL, 0, 4,
                 OVT_STATUS_BUFFER_TOO_SMALL);
    ExpectStatus("GET_BUTTON_MODE with 2 bytes", IOCTL_TOUCH_GET_BUTTON_MODE, NULL, 0, 2,
                 OVT_STATUS_BUFFER_TOO_SMALL);
    ExpectStatus("GET_MOUSE_MODE with 0 bytes", IOCTL_TOUCH_GET_MOUSE_MODE, NULL, 0, 0, OVT_STATUS_BUFFER_TOO_SMALL);

    const DWORD calibration[8] = {500, 0, 500, 2048, 7, 8, 0, 0};
    Send("SET_CALIBRATION 32 bytes", IOCTL_TOUCH_SET_CALIBRATION, calibration, 32);
    ExpectStatus("SET_CALIBRATION 20 bytes", IOCTL_TOUCH_SET_CALIBRATION, calibration, 20, 0,
                 OVT_STATUS_INVALID_PARAMETER);
    Send("ENABLE_REPORTS", IOCTL_TOUCH_ENABLE_REPORTS, NULL, 0);
    Send("DISABLE_REPORTS", IOCTL_TOUCH_DISABLE_REPORTS, NULL, 0);
    Send("DISABLE_REPORTS at 0", IOCTL_TOUCH_DISABLE_REPORTS, NULL, 0);

    const DWORD buttonTwo = 2, buttonOne = 1;
    Send("SET_BUTTON_MODE 2", IOCTL_TOUCH_SET_BUTTON_MODE, &buttonTwo, 4);
    ExpectWords("button mode 2 stored as 0", IOCTL_TOUCH_GET_BUTTON_MODE, 4, 4, zero, 1);
    Send("SET_BUTTON_MODE 1", IOCTL_TOUCH_SET_BUTTON_MODE, &buttonOne, 4);
    ExpectWords("button mode 1", IOCTL_TOUCH_GET_BUTTON_MODE, 4, 4, &buttonOne, 1);
    ExpectStatus("SET_BUTTON_MODE 2 bytes", IOCTL_TOUCH_SET_BUTTON_MODE, &buttonTwo, 2, 0,
                 OVT_STATUS_INVALID_PARAMETER);

    const DWORD beepLow[3] = {1, 800, 10}, beepLowStored[3] = {1, 2000, 32};
    Send("SET_BEEP 1/800/10", IOCTL_TOUCH_SET_BEEP, beepLow, 12);
    ExpectWords("beep stored 1/2000/32", IOCTL_TOUCH_GET_BEEP, 12, 12, beepLowStored, 3);
    const DWORD beepOdd[3] = {5, 3000, 100};
    Send("SET_BEEP 5/3000/100", IOCTL_TOUCH_SET_BEEP, beepOdd, 12);
    ExpectWords("beep stored 5/3000/100", IOCTL_TOUCH_GET_BEEP, 12, 12, beepOdd, 3);

    const DWORD seven = 7;
    Send("SET_MOUSE_MODE 7", IOCTL_TOUCH_SET_MOUSE_MODE, &seven, 4);
    ExpectWords("mouse mode 7 unchecked", IOCTL_TOUCH_GET_MOUSE_MODE, 4, 4, &seven, 1);

    Send("RELOAD_PARAMETERS", IOCTL_TOUCH_RELOAD_PARAMETERS, NULL, 0);
    ExpectWords("reload restores the beep", IOCTL_TOUCH_GET_BEEP, 12, 12, loadedBeep, 3);
    ExpectWords("reload restores the button", IOCTL_TOUCH_GET_BUTTON_MODE, 4, 4, zero, 1);
    ExpectWords("reload restores the mouse mode", IOCTL_TOUCH_GET_MOUSE_MODE, 4, 4, &two, 1);
    ExpectWords("reload keeps the capture", IOCTL_TOUCH_GET_CAPTURE, 12, 12, armed, 3);

    const DWORD reserved[4] = {IOCTL_TOUCH_RESERVED_910, IOCTL_TOUCH_RESERVED_920, IOCTL_TOUCH_RESERVED_998,
                               IOCTL_TOUCH_RESERVED_99F};
    for (DWORD code : reserved) {
        char what[48];
        snprintf(what, sizeof(what), "reserved %05lx not implemented", static_cast<unsigned long>(code));
        ExpectStatus(what, code, NULL, 0, 0, OVT_STATUS_NOT_IMPLEMENTED);
    }
    ExpectStatus("unknown f2404", 0xF2404, NULL, 0, 4, OVT_STATUS_INVALID_DEVICE_REQUEST);

    BYTE byte = 0;
    IoStatus iosb;
    memset(&iosb, 0, sizeof(iosb));
    LARGE_INTEGER offset;
    offset.QuadPart = 0;
    const LONG readStatus = g_read(g_device, NULL, NULL, NULL, &iosb, &byte, 1, &offset, NULL);
    Check("read not implemented", readStatus == OVT_STATUS_NOT_IMPLEMENTED);

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
