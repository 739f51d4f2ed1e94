// altclick.exe: a small topmost window that makes the next touch a
// right-button click. The switching and the worker live in logic/; this is
// the window, the thread and the device around them.
#include <windows.h>

#include "altclick/logic/altclick_logic.h"
#include "altclick/win32/resource.h"
#include "common/user/messages.h"
#include "common/user/win32_platform.h"
#include "common/user/win32_window.h"

namespace {

using ovt::altclick::SharedFlags;
using ovt::altclick::Switcher;

const char kClassName[] = "OLVATOUCH ALTCLICK";
const char kTitleLeft[] = "\xd7\xf3\xbc\xfc";   // 左键
const char kTitleRight[] = "\xd3\xd2\xbc\xfc";  // 右键

const UINT kTouchDone = WM_USER + 1;
const int kLeft = 500, kTop = 100, kSize = 64;
// Generous: a worker only ever blocks for one wait or one request.
const DWORD kWorkerStopMs = 2000;

HWND g_window;
bool g_windowGone;  // WM_NCDESTROY seen: the window is really gone
HBITMAP g_pictureLeft;
HBITMAP g_pictureRight;
RECT g_client;
HANDLE g_stop;
HANDLE g_worker;
bool g_keepRunning;
bool g_ready;  // the device is open: clicks before then are ignored

class WindowView : public ovt::altclick::View {
  public:
    void Update() { UpdateWindow(g_window); }
    void SetTitle(bool right) { SetWindowTextA(g_window, right ? kTitleRight : kTitleLeft); }
    void Invalidate() { InvalidateRect(g_window, &g_client, TRUE); }
};

ovt::Win32ControlDevice g_device;
WindowView g_view;
SharedFlags g_flags;
Switcher g_switcher(&g_device, &g_view, &g_flags);

class StopWaiter : public ovt::altclick::Waiter {
  public:
    bool Wait(uint32_t ms) { return WaitForSingleObject(g_stop, ms) == WAIT_TIMEOUT; }
};

class PostNotifier : public ovt::altclick::Notifier {
  public:
    void TouchDone() { PostMessageA(g_window, kTouchDone, 0, 0); }
};

DWORD WINAPI WorkerMain(LPVOID) {
    StopWaiter waiter;
    PostNotifier notifier;
    ovt::altclick::RunWorker(&g_device, &g_flags, &waiter, &notifier);
    return 0;
}

class Win32Shell : public ovt::altclick::Shell {
  public:
    bool StartWorker() {
        ResetEvent(g_stop);
        DWORD id = 0;
        g_worker = CreateThread(NULL, 0, WorkerMain, NULL, 0, &id);
        return g_worker != NULL;
    }
    void StopWorker() {
        SetEvent(g_stop);
        // Stuck in a request the driver never completes: park it instead.
        if (WaitForSingleObject(g_worker, kWorkerStopMs) != WAIT_OBJECT_0) SuspendThread(g_worker);
        CloseHandle(g_worker);
        g_worker = NULL;
    }
    void RunMessages() {
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    bool WindowAlive() { return !g_windowGone; }
    void ReportNoWorker() { MessageBoxA(g_window, ovt::kNoResourcesText, NULL, MB_OK); }
};

void Paint(HWND hwnd) {
    HDC windowDc = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(windowDc);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const bool right = g_ready && g_switcher.Right();
    HBITMAP picture = right ? g_pictureRight : g_pictureLeft;
    if (memory && picture) {
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(dc, 0, 0, kSize, kSize, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    EndPaint(hwnd, &ps);
    if (memory) DeleteDC(memory);
    ReleaseDC(hwnd, windowDc);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        HINSTANCE instance = reinterpret_cast<LPCREATESTRUCTA>(lParam)->hInstance;
        g_pictureLeft = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_MOUSE_LEFT));
        g_pictureRight = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_MOUSE_RIGHT));
        return 0;
    }
    case WM_LBUTTONUP:
        if (g_ready) g_switcher.SwitchRight();
        return 0;
    case WM_RBUTTONUP:
        if (g_ready) g_switcher.SwitchLeft();
        return 0;
    case kTouchDone:
        if (g_ready) g_switcher.SwitchLeft();
        return 0;
    case WM_NCLBUTTONDBLCLK:
        PostMessageA(hwnd, WM_DESTROY, 0, 0);
        g_keepRunning = false;
        return 0;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_SIZE:
        return 0;
    case WM_GETMINMAXINFO:
        // The default minimum tracking width of a captioned window (112 on
        // the classic metrics) would widen the window at creation.
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize.x = kSize;
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize.y = kSize;
        return 0;
    case WM_DESTROY:
        // Reached twice when the double-click's posted destroy is followed
        // by the real one.
        if (g_pictureLeft) DeleteObject(g_pictureLeft);
        if (g_pictureRight) DeleteObject(g_pictureRight);
        g_pictureLeft = g_pictureRight = NULL;
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        g_windowGone = true;
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ovt::RegisterProgramClass(instance, kClassName, WindowProc, CS_HREDRAW | CS_VREDRAW | CS_NOCLOSE, IDI_ALTCLICK);

    if (FindWindowA(NULL, kTitleLeft) || FindWindowA(NULL, kTitleRight)) return 0;

    g_window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, "", WS_OVERLAPPED, kLeft, kTop,
                               kSize, kSize, NULL, NULL, instance, NULL);
    if (!g_window) return 0;
    GetClientRect(g_window, &g_client);
    ShowWindow(g_window, SW_SHOW);

    if (!g_device.Open()) {
        MessageBoxA(g_window, ovt::kNoDriverText, NULL, MB_OK);
        return 0;
    }
    g_stop = CreateEventA(NULL, TRUE, FALSE, NULL);

    g_keepRunning = true;
    g_ready = true;  // before the first paint, which shows the mode
    g_switcher.Start();

    Win32Shell shell;
    if (g_stop) {
        ovt::altclick::RunMainLoop(&shell, &g_flags, &g_keepRunning);
    } else {
        shell.ReportNoWorker();
    }
    g_ready = false;
    if (g_stop) CloseHandle(g_stop);
    g_device.Close();
    return 0;
}

// No pure virtual is ever called; the library's version would drag in the
// verbose terminate handler and the demangler.
extern "C" void __cxa_pure_virtual() { ExitProcess(3); }
