// olvaset1.exe: the already-installed check and the Win32 frame around the
// wizard's step machine. Plain dialogs: frame 102 and four child pages.
#include <windows.h>

#include "common/ovtouch.h"
#include "common/user/win32_platform.h"
#include "resource.h"
#include "setup/logic/actions.h"
#include "setup/logic/texts.h"
#include "setup/win32/win32_install_platform.h"
#include "setup/logic/wizard.h"

using namespace ovt::setup;

namespace {

HINSTANCE g_instance;
HICON g_icon;
char g_programName[MAX_PATH];

class Frame : public WizardView {
  public:
    HWND hwnd = NULL;
    HWND pages[4] = {NULL, NULL, NULL, NULL};
    bool restart = true;
    Wizard* wizard = NULL;

    HWND PageWindow(Page page) { return pages[static_cast<int>(page)]; }

    void ShowPage(Page page, bool show) override {
        HWND w = PageWindow(page);
        ShowWindow(w, show ? SW_SHOW : SW_HIDE);
        if (!show) return;
        // Put the keyboard on the page's own control where it has one.
        HWND focus = NULL;
        if (page == Page::Port) focus = GetDlgItem(w, IDC_PORT_LIST);
        if (page == Page::Restart) focus = GetDlgItem(w, IDC_RESTART_NOW);
        if (focus) SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    }

    void EnableButton(int id, bool enable) override {
        HWND button = GetDlgItem(hwnd, id);
        // A disabled button keeps no keyboard focus: hand it to Next.
        if (!enable && id != IDC_NEXT && (SendMessageA(button, BM_GETSTATE, 0, 0) & BST_FOCUS)) {
            SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, IDC_NEXT)), TRUE);
        }
        EnableWindow(button, enable);
    }

    void SetNextText(const char* text) override { SetDlgItemTextA(hwnd, IDC_NEXT, text); }

    void SetProgress(const char* action, const char* file) override {
        HWND page = PageWindow(Page::Progress);
        SetDlgItemTextA(page, IDC_ACTION_LINE, action);
        SetDlgItemTextA(page, IDC_FILE_LINE, file);
        UpdateWindow(page);
    }

    int SelectedPortIndex() override {
        return static_cast<int>(SendDlgItemMessageA(PageWindow(Page::Port), IDC_PORT_LIST, LB_GETCURSEL, 0, 0));
    }

    bool RestartChosen() override { return restart; }

    void Message(const char* text, const char* caption) override { MessageBoxA(hwnd, text, caption, MB_OK); }

    void Close(int result) override { EndDialog(hwnd, result); }
};

Frame g_frame;

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    const int id = static_cast<int>(lParam);
    switch (message) {
    case WM_INITDIALOG:
        if (id == IDD_PORT) {
            SendDlgItemMessageA(page, IDC_PORT_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM1"));
            SendDlgItemMessageA(page, IDC_PORT_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("COM2"));
            SendDlgItemMessageA(page, IDC_PORT_LIST, LB_SETCURSEL, 0, 0);
        } else if (id == IDD_RESTART) {
            g_frame.restart = true;
            CheckDlgButton(page, IDC_RESTART_NOW, BST_CHECKED);
        } else if (id == IDD_PROGRESS) {
            SetDlgItemTextA(page, IDC_ACTION_LINE, "");
            SetDlgItemTextA(page, IDC_FILE_LINE, "");
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_RESTART_NOW && HIWORD(wParam) == BN_CLICKED) {
            g_frame.restart = IsDlgButtonChecked(page, IDC_RESTART_NOW) == BST_CHECKED;
            return TRUE;
        }
        break;
    }
    return FALSE;
}

RECT ClientRectOf(HWND dialog, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void PaintBanner(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HBITMAP bitmap = LoadBitmapA(g_instance, MAKEINTRESOURCEA(IDB_BANNER));
    if (bitmap) {
        BITMAP info;
        GetObjectA(bitmap, sizeof info, &info);
        const RECT r = ClientRectOf(hwnd, IDC_BANNER);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, bitmap);
        StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, info.bmWidth, info.bmHeight,
                   SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
    }
    EndPaint(hwnd, &ps);
}

INT_PTR CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        g_frame.hwnd = hwnd;
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon));
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon));
        const RECT area = ClientRectOf(hwnd, IDC_PAGE_AREA);
        const int ids[4] = {IDD_WELCOME, IDD_PORT, IDD_RESTART, IDD_PROGRESS};
        for (int i = 0; i < 4; ++i) {
            HWND page = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(ids[i]), hwnd, PageProc, ids[i]);
            g_frame.pages[i] = page;
            MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
        }
        ShowWindow(g_frame.pages[0], SW_SHOW);
        g_frame.wizard->Init();
        return TRUE;
    }
    case WM_PAINT:
        PaintBanner(hwnd);
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(g_icon);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_NEXT: g_frame.wizard->Next(); return TRUE;
        case IDC_BACK: g_frame.wizard->Back(); return TRUE;
        case IDCANCEL: g_frame.wizard->Cancel(); return TRUE;
        }
        break;
    case WM_DESTROY:
        for (HWND& page : g_frame.pages) {
            if (page) DestroyWindow(page);
            page = NULL;
        }
        break;
    }
    return FALSE;
}

// Sources are bare names: make them resolve beside this program, wherever
// it was started from.
void EnterProgramFolder(const char* path) {
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    char* cut = NULL;
    for (char* p = folder; *p; p = CharNextA(p)) {
        if (*p == '\\') cut = p;
    }
    if (!cut) return;
    cut[cut == folder + 2 && folder[1] == ':' ? 1 : 0] = 0;
    SetCurrentDirectoryA(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    g_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    ProgramNameFromPath(path, g_programName, sizeof g_programName);

    HANDLE device = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (device != INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL, kTextAlreadyInstalled, kTextError, MB_OK);
        CloseHandle(device);
        return 0;
    }
    EnterProgramFolder(path);

    Win32InstallPlatform platform;
    ovt::Win32Registry registry;
    Installer installer(platform, registry);
    Wizard wizard(g_frame, installer, g_programName);
    g_frame.wizard = &wizard;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_FRAME), NULL, FrameProc, 0);
    g_frame.wizard = NULL;  // the wizard lives on this stack only
    return 0;
}
