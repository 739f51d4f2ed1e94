// ovtcalib.exe: the full-screen window around the calibration logic. The
// window thread owns the window, the question and the registry write; one
// worker thread draws the targets and talks to the driver.
#include <windows.h>

#include "calib/logic/calib_logic.h"
#include "common/user/messages.h"
#include "common/user/win32_platform.h"
#include "common/user/win32_window.h"

using ovt::calib::Point;
using ovt::calib::Session;

namespace {

const char kClassName[] = "OLVA TOUCH Calibration";
// " 压ESC键放弃屏幕校准 "
const char kPrompt[] = "\x20\xd1\xb9\x45\x53\x43\xbc\xfc\xb7\xc5\xc6\xfa\xc6\xc1\xc4\xbb\xd0\xa3\xd7\xbc\x20";
// " 鼠标是否正确随指尖移动? y/n"
const char kQuestion[] =
    "\x20\xca\xf3\xb1\xea\xca\xc7\xb7\xf1\xd5\xfd\xc8\xb7\xcb\xe6\xd6\xb8\xbc\xe2\xd2\xc6\xb6\xaf\x3f\x20\x79\x2f\x6e";
// "无法打开注册表中的相关子键！"
const char kKeyMissing[] =
    "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xd7\xa2\xb2\xe1\xb1\xed\xd6\xd0\xb5\xc4\xcf\xe0\xb9\xd8\xd7\xd3\xbc\xfc\xa3\xa1";
static_assert(sizeof kPrompt - 1 == 21, "prompt is 21 GBK bytes");

const UINT WM_CALIB_RESULT = WM_USER + 1;
const UINT_PTR kQuestionTimer = 1;
const int kIconId = 100;

class Win32CalibPlatform : public ovt::calib::CalibPlatform {
  public:
    Win32CalibPlatform() : window(NULL), wake(NULL) { InitializeCriticalSection(&lock_); }

    void ClientSize(int32_t* width, int32_t* height) {
        RECT rc = {0, 0, 0, 0};
        GetClientRect(window, &rc);
        *width = rc.right - rc.left;
        *height = rc.bottom - rc.top;
    }

    void DrawTarget(Point at) {
        HDC dc = GetDC(window);
        if (!dc) return;
        HPEN pen = CreatePen(PS_SOLID, 2, RGB(16, 239, 239));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        const int oldRop = SetROP2(dc, R2_XORPEN);
        const int x = at.x, y = at.y;
        // Each shape on its own: shared pixels are inverted twice.
        Arc(dc, x - 20, y - 20, x + 20, y + 20, x - 20, y - 20, x - 20, y - 20);
        Arc(dc, x - 30, y - 30, x + 30, y + 30, x - 30, y - 30, x - 30, y - 30);
        MoveToEx(dc, x - 40, y, NULL);
        LineTo(dc, x + 40, y);
        MoveToEx(dc, x, y - 40, NULL);
        LineTo(dc, x, y + 40);
        SetROP2(dc, oldRop);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
        ReleaseDC(window, dc);
    }

    void PostResult() { PostMessageA(window, WM_CALIB_RESULT, 0, 0); }
    // A message wait, not a plain one: on some window systems it is what
    // pushes this thread's drawing out to the screen.
    void Wait(uint32_t ms) {
        MsgWaitForMultipleObjects(1, &wake, FALSE, ms == ovt::calib::kForever ? INFINITE : ms, 0);
    }
    void Wake() { SetEvent(wake); }
    void Lock() { EnterCriticalSection(&lock_); }
    void Unlock() { LeaveCriticalSection(&lock_); }
    uint32_t Now() { return GetTickCount(); }

    HWND window;
    HANDLE wake;

  private:
    CRITICAL_SECTION lock_;
};

ovt::Win32ControlDevice g_device;
ovt::Win32Registry g_registry;
Win32CalibPlatform g_platform;
Session g_session(g_device, g_registry, g_platform);

DWORD WINAPI WorkerMain(LPVOID) {
    g_session.RunWorker();
    return 0;
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT rc;
    GetClientRect(window, &rc);
    const int cx = rc.right / 2, cy = rc.bottom / 2;
    RECT box = {cx - 300, cy - 100, cx + 300, cy + 100};
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, kPrompt, sizeof kPrompt - 1, &box, DT_CENTER | DT_TOP | DT_SINGLELINE);
    SetBkMode(dc, oldMode);
    EndPaint(window, &ps);
}

// The question's caption as last set; the box is found by it.
char g_caption[16];
uint32_t g_captionSeconds;

// A message box cannot count down by itself: the owner's timer, which its
// modal loop dispatches, retitles it and closes it as No when time is up.
void OnQuestionTimer() {
    const uint32_t left = g_session.SecondsLeft();
    HWND box = FindWindowA("#32770", g_caption);
    if (!box) return;
    if (!left) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    } else if (left != g_captionSeconds) {
        g_captionSeconds = left;
        ovt::calib::QuestionCaption(left, g_caption, sizeof g_caption);
        SetWindowTextA(box, g_caption);
    }
}

void OnResult(HWND window) {
    ShowCursor(TRUE);
    g_session.Asked();
    g_captionSeconds = g_session.SecondsLeft();
    ovt::calib::QuestionCaption(g_captionSeconds, g_caption, sizeof g_caption);
    SetTimer(window, kQuestionTimer, 200, NULL);
    const int answer = MessageBoxA(window, kQuestion, g_caption, MB_YESNO);
    KillTimer(window, kQuestionTimer);
    // The window may have been closed from outside while the question was open.
    if (g_session.Finished()) return;
    if (answer == IDYES) {
        g_session.Answer(true);
        // The window stays up, so a failure message still has its owner.
        PostMessageA(window, WM_DESTROY, 0, 0);
    } else {
        ShowCursor(FALSE);
        g_session.Answer(false);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_KEYUP:
        if (LOWORD(wParam) == VK_ESCAPE && !g_session.Finished()) {
            g_session.Escape();
            ShowCursor(TRUE);
            DestroyWindow(window);
        }
        return 0;
    case WM_CALIB_RESULT:
        OnResult(window);
        return 0;
    case WM_TIMER:
        if (wParam == kQuestionTimer) OnQuestionTimer();
        return 0;
    case WM_ENDSESSION:
        // The process ends right after this returns; no message box now.
        if (wParam) g_session.Finish();
        return 0;
    case WM_DESTROY:
        if (g_session.Finish() == Session::Outcome::KeyMissing) MessageBoxA(window, kKeyMissing, NULL, MB_OK);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ovt::RegisterProgramClass(instance, kClassName, WindowProc, CS_HREDRAW | CS_VREDRAW, kIconId);

    HWND window = CreateWindowA(kClassName, "", WS_POPUP | WS_MAXIMIZE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
    if (!window) return 0;
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);
    g_platform.window = window;

    if (!g_device.Open()) {
        MessageBoxA(window, ovt::kNoDriverText, NULL, MB_OK);
        return 0;
    }
    g_platform.wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_session.Begin();

    ShowCursor(FALSE);
    DWORD id = 0;
    HANDLE worker = g_platform.wake ? CreateThread(NULL, 0, WorkerMain, NULL, 0, &id) : NULL;
    if (!worker) {
        g_session.WorkerFailed();
        ShowCursor(TRUE);
        MessageBoxA(window, ovt::kNoResourcesText, NULL, MB_OK);
        g_device.Close();
        return 0;
    }

    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    // Every end (Yes, ESC, a close from outside) has stopped the worker;
    // it returns from its wait at once.
    g_session.StopWorker();
    WaitForSingleObject(worker, 2000);
    CloseHandle(worker);
    CloseHandle(g_platform.wake);
    g_device.Close();
    return static_cast<int>(msg.wParam);
}
