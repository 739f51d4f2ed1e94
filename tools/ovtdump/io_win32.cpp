// ovtdump's input on Windows: COMn is the serial port at 9600 8N1, read
// until Ctrl+C; --driver watches the running driver through "\\.\ovtouch".
#include <windows.h>

#include <cctype>
#include <cstdio>

#include "common/ovtouch.h"
#include "io.h"
#include "watch.h"

namespace ovtdump {

struct Input {
    HANDLE Handle;
    bool Port;
    std::string Name;
};

namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleEvent(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}

// "COM1" to "COM255", any case.
bool IsPortName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6) return false;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
    }
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return name[3] != '0';
}

HANDLE OpenDriver() {
    return CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

bool DriverRunning() {
    HANDLE h = OpenDriver();
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// 9600 8N1 raw, no flow control; a read returns what has come within
// 100 ms, so Ctrl+C is seen between reads.
bool SetLine(HANDLE port) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // No parity check, no flow control, no line watched, nothing dropped or aborted.
    dcb.fParity = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = dcb.fNull = dcb.fAbortOnError = FALSE;
    if (!SetCommState(port, &dcb)) return false;
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = 100;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(port, &t) != 0;
}

class ControlDevice : public DriverLink {
public:
    explicit ControlDevice(HANDLE h) : handle_(h) {}
    bool Control(uint32_t code, void* out, uint32_t outLength) override {
        DWORD bytes = 0;
        return DeviceIoControl(handle_, code, NULL, 0, out, outLength, &bytes, NULL) != 0 && bytes == outLength;
    }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    bool Interrupted() override { return ovtdump::Interrupted(); }

private:
    HANDLE handle_;
};

}  // namespace

Input* OpenInput(const std::string& name) {
    if (name == "-") return new Input{GetStdHandle(STD_INPUT_HANDLE), false, name};
    const bool port = IsPortName(name);
    const std::string path = port ? "\\\\.\\" + name : name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | (port ? GENERIC_WRITE : 0), port ? 0 : FILE_SHARE_READ,
                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (port) {
            std::fprintf(stderr, "%s\n", PortOpenFailure(name, error, DriverRunning()).c_str());
        } else {
            std::fprintf(stderr, "ovtdump: %s: cannot open (error %lu)\n", name.c_str(), error);
        }
        return nullptr;
    }
    if (port) {
        if (!SetLine(h)) {
            std::fprintf(stderr, "ovtdump: %s: cannot set 9600 8N1 (error %lu)\n", name.c_str(), GetLastError());
            CloseHandle(h);
            return nullptr;
        }
        // Lines go out as they are decoded, also into a file or a pipe.
        std::setvbuf(stdout, NULL, _IONBF, 0);
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
    return new Input{h, port, name};
}

long ReadInput(Input* in, unsigned char* buffer, unsigned long size) {
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(in->Handle, buffer, size, &n, NULL)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
            std::fflush(stdout);
            std::fprintf(stderr, "ovtdump: %s: read failed (error %lu)\n", in->Name.c_str(), error);
            return -1;
        }
        if (n > 0) return static_cast<long>(n);
        if (!in->Port || Interrupted()) return 0;  // a port's 0 is only its time-out
    }
}

void CloseInput(Input* in) {
    if (in->Name != "-") CloseHandle(in->Handle);
    delete in;
}

bool Interrupted() { return g_interrupted != 0; }

int WatchRunningDriver() {
    HANDLE h = OpenDriver();
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "%s\n", DriverOpenFailure(GetLastError()).c_str());
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    ControlDevice link(h);
    const int rc = WatchDriver(link, stdout);
    CloseHandle(h);
    return rc;
}

}  // namespace ovtdump
