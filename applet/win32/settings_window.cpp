// The host dialog 4004 with the sheet embedded at frame 4005, and the page
// windows that drive the page logic.
#include <windows.h>
#include <commctrl.h>

#include "applet/win32/resource.h"
#include "applet/logic/host_layout.h"
#include "applet/logic/settings_dialog.h"
#include "win32_host.h"

namespace ovt {

namespace {

const int kSheetTabs = 0x3020;

class Win32Controls : public DialogControls {
  public:
    explicit Win32Controls(HWND page) : page_(page) {}
    void AddListItem(int id, const char* text) override {
        SendDlgItemMessageA(page_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    int ListSelection(int id) override { return static_cast<int>(SendDlgItemMessageA(page_, id, CB_GETCURSEL, 0, 0)); }
    void SelectListItem(int id, int index) override { SendDlgItemMessageA(page_, id, CB_SETCURSEL, index, 0); }
    void SetSliderRange(int id, int low, int high) override {
        SendDlgItemMessageA(page_, id, TBM_SETRANGE, TRUE, MAKELONG(low, high));
    }
    int SliderPosition(int id) override { return static_cast<int>(SendDlgItemMessageA(page_, id, TBM_GETPOS, 0, 0)); }
    void SetSliderPosition(int id, int position) override {
        SendDlgItemMessageA(page_, id, TBM_SETPOS, TRUE, position);
    }
    void GetText(int id, char* buffer, int size) override {
        if (!GetDlgItemTextA(page_, id, buffer, size)) buffer[0] = 0;
    }
    void SetText(int id, const char* text) override { SetDlgItemTextA(page_, id, text); }

  private:
    HWND page_;
};

// The sheet's page area, grown to hold the largest page.
RECT PageArea(HWND sheet) {
    RECT area = {0, 0, 0, 0};
    HWND tabs = GetDlgItem(sheet, kSheetTabs);
    if (tabs && GetClientRect(tabs, &area)) SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return area;
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        // A sheet may size a page it creates later by the area it computed
        // before the area was grown.
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        const RECT area = PageArea(GetParent(page));
        if (!(pos->flags & SWP_NOSIZE)) {
            if (pos->cx < area.right - area.left) pos->cx = area.right - area.left;
            if (pos->cy < area.bottom - area.top) pos->cy = area.bottom - area.top;
        }
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        PropertyPage* p = reinterpret_cast<PropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(p));
        Win32Controls c(page);
        return p->OnInitDialog(c) ? TRUE : FALSE;
    }
    PropertyPage* p = reinterpret_cast<PropertyPage*>(GetWindowLongPtrA(page, DWLP_USER));
    if (!p) return FALSE;
    Win32Controls c(page);
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE) p->OnListChange(c, LOWORD(wParam));
        else if (HIWORD(wParam) == BN_CLICKED) p->OnButton(c, LOWORD(wParam));
        else return FALSE;
        return TRUE;
    case WM_HSCROLL:
        if (lParam) p->OnHScroll(c, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        return FALSE;  // the default processing still runs
    }
    return FALSE;
}

// The sheet becomes a plain child window before it is created; the
// template may be either dialog template form.
int CALLBACK SheetCallback(HWND, UINT message, LPARAM lParam) {
    if (message != PSCB_PRECREATE || !lParam) return 0;
    WORD* words = reinterpret_cast<WORD*>(lParam);
    DWORD* style;
    DWORD* exStyle;
    if (words[0] == 1 && words[1] == 0xFFFF) {  // DLGTEMPLATEEX
        exStyle = reinterpret_cast<DWORD*>(words + 4);
        style = reinterpret_cast<DWORD*>(words + 6);
    } else {
        style = reinterpret_cast<DWORD*>(words);
        exStyle = reinterpret_cast<DWORD*>(words + 2);
    }
    DWORD old = 0;
    VirtualProtect(words, 16, PAGE_READWRITE, &old);
    *style = (*style & (DS_SETFONT | DS_FIXEDSYS | DS_3DLOOK)) | WS_CHILD | WS_VISIBLE;
    *exStyle = 0;
    return 0;
}

// A modeless sheet shows only its tabs and pages: its own buttons go, and
// the window ends where they began.
void DropSheetButtons(HWND sheet) {
    RECT window, button;
    GetWindowRect(sheet, &window);
    HWND ok = GetDlgItem(sheet, IDOK);
    if (ok && GetWindowRect(ok, &button)) {
        SetWindowPos(sheet, NULL, 0, 0, window.right - window.left, button.top - window.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    static const int buttons[] = {IDOK, IDCANCEL, 0x3021 /* Apply */, IDHELP};
    for (unsigned i = 0; i < sizeof buttons / sizeof buttons[0]; i++) {
        HWND b = GetDlgItem(sheet, buttons[i]);
        if (b) {
            ShowWindow(b, SW_HIDE);
            EnableWindow(b, FALSE);
        }
    }
}

void Grow(HWND window, int dx, int dy) {
    RECT r;
    if (!window || !GetWindowRect(window, &r)) return;
    SetWindowPos(window, NULL, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The sheet sizes its page area from the templates in its own font, while
// each page lays its controls out in the page's font, which may be larger.
void GrowSheetToPages(HWND sheet, SettingsDialog& dialog) {
    int width = 0, height = 0;
    for (int i = 0; i < SettingsDialog::kPageCount; i++) {
        HWND page = CreateDialogParamA(AppletModule(), MAKEINTRESOURCEA(dialog.Page(i)->TemplateId()), sheet,
                                       MeasureProc, 0);
        RECT r;
        if (!page || !GetClientRect(page, &r)) continue;
        DestroyWindow(page);
        if (r.right > width) width = r.right;
        if (r.bottom > height) height = r.bottom;
    }
    const RECT area = PageArea(sheet);
    int dx = width - (area.right - area.left), dy = height - (area.bottom - area.top);
    if (dx < 0) dx = 0;
    if (dy < 0) dy = 0;
    if (!dx && !dy) return;
    Grow(sheet, dx, dy);
    Grow(GetDlgItem(sheet, kSheetTabs), dx, dy);
    Grow(reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)), dx, dy);
}

Box ClientBox(HWND host, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(NULL, host, reinterpret_cast<POINT*>(&r), 2);
    return Box{r.left, r.top, r.right, r.bottom};
}

// The pages' font makes the sheet larger than the frame kept for it.
void GrowHostAroundSheet(HWND host, HWND sheet) {
    HWND ok = GetDlgItem(host, IDOK), cancel = GetDlgItem(host, IDCANCEL);
    RECT window, client, work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    GetWindowRect(host, &window);
    GetClientRect(host, &client);
    // Off the taskbar, as the system places a dialog when creating it.
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const HostGeometry g = {ClientBox(host, GetDlgItem(host, IDC_SHEET_FRAME)),
                            ClientBox(host, sheet),
                            ClientBox(host, ok),
                            ClientBox(host, cancel),
                            {window.left, window.top, window.right, window.bottom},
                            client.right,
                            client.bottom,
                            {work.left, work.top, work.right, work.bottom}};
    const HostLayout l = FitHostToSheet(g);
    SetWindowPos(host, NULL, l.window.left, l.window.top, l.window.right - l.window.left,
                 l.window.bottom - l.window.top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(ok, NULL, l.okLeft, l.okTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(cancel, NULL, l.cancelLeft, l.cancelTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CreateSheet(HWND host, SettingsDialog& dialog) {
    PROPSHEETPAGEA pages[SettingsDialog::kPageCount];
    ZeroMemory(pages, sizeof pages);
    for (int i = 0; i < SettingsDialog::kPageCount; i++) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_DEFAULT;
        pages[i].hInstance = AppletModule();
        pages[i].pszTemplate = MAKEINTRESOURCEA(dialog.Page(i)->TemplateId());
        pages[i].pfnDlgProc = PageProc;
        pages[i].lParam = reinterpret_cast<LPARAM>(dialog.Page(i));
    }
    PROPSHEETHEADERA header;
    ZeroMemory(&header, sizeof header);
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    header.hwndParent = host;
    header.hInstance = AppletModule();
    header.pszCaption = "";
    header.nPages = SettingsDialog::kPageCount;
    header.ppsp = pages;
    header.pfnCallback = SheetCallback;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    if (!sheet || sheet == reinterpret_cast<HWND>(-1)) return NULL;
    DropSheetButtons(sheet);

    // With the control-parent style the host's Tab key walks into the pages.
    SetWindowLongPtrA(sheet, GWL_EXSTYLE, GetWindowLongPtrA(sheet, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    SetWindowLongPtrA(sheet, GWL_STYLE, GetWindowLongPtrA(sheet, GWL_STYLE) | WS_TABSTOP);

    RECT frame;
    GetWindowRect(GetDlgItem(host, IDC_SHEET_FRAME), &frame);
    POINT corner = {frame.left, frame.top};
    ScreenToClient(host, &corner);
    SetWindowPos(sheet, NULL, corner.x + 10, corner.y - 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GrowSheetToPages(sheet, dialog);
    GrowHostAroundSheet(host, sheet);
    return sheet;
}

INT_PTR CALLBACK HostProc(HWND host, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        CreateSheet(host, *reinterpret_cast<SettingsDialog*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(host, kDialogOk);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(host, kDialogCancel);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

int Win32Host::RunSettingsDialog(WindowHandle parent, SettingsDialog& dialog) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    const INT_PTR result = DialogBoxParamA(AppletModule(), MAKEINTRESOURCEA(IDD_SETTINGS), static_cast<HWND>(parent),
                                           HostProc, reinterpret_cast<LPARAM>(&dialog));
    if (result == kDialogOk || result == kDialogCancel) return static_cast<int>(result);
    return kDialogFailed;
}

}  // namespace ovt
