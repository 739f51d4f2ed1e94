// Test host for the Wine tier: loads a Control Panel library and talks to
// it the way the Windows 2000 Control Panel does when the user opens an
// item (init, count, inquire, double-click, stop, exit), printing every
// answer. Wine's own runner asks CPL_STARTWPARMSW first and opens the item
// only when that is refused, which the applet's entry table does not do.
//   cplhost.exe PATH [--no-open]
// OVT_WORK_AREA=L,T,R,B stands for a taskbar: Wine keeps a work area set
// by SystemParametersInfo in the process that set it.
#include <windows.h>
#include <cpl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/wine/probe/host_fit.h"

static void PrintBytes(const char* label, const char* text) {
    printf("%s=", label);
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) printf("%02x", *p);
    printf("\n");
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    WorkAreaFromEnvironment();
    const bool open = !(argc > 2 && !strcmp(argv[2], "--no-open"));
    HMODULE module = LoadLibraryA(argv[1]);
    if (!module) {
        printf("load failed %lu\n", GetLastError());
        return 1;
    }
    APPLET_PROC proc = (APPLET_PROC)(void*)GetProcAddress(module, "CPlApplet");
    if (!proc) {
        printf("no CPlApplet\n");
        return 1;
    }
    // The Control Panel's own window owns whatever the applet shows.
    HWND panel = CreateWindowExA(0, "STATIC", "cplhost", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    printf("init=%ld\n", proc(panel, CPL_INIT, 0, 0));
    printf("count=%ld\n", proc(panel, CPL_GETCOUNT, 0, 0));
    CPLINFO old;
    memset(&old, 0x5A, sizeof old);
    const LONG inquired = proc(panel, CPL_INQUIRE, 0, (LPARAM)&old);
    printf("inquire=%ld untouched=%d\n", inquired, old.idIcon == 0x5A5A5A5A && old.idName == 0x5A5A5A5A);
    NEWCPLINFOA info;
    memset(&info, 0, sizeof info);
    const LONG answer = proc(panel, CPL_NEWINQUIRE, 0, (LPARAM)&info);
    printf("newinquire=%ld size=%lu icon=%d\n", answer, (unsigned long)info.dwSize, info.hIcon != NULL);
    PrintBytes("name", info.szName);
    PrintBytes("info", info.szInfo);
    printf("startwparms=%ld\n", proc(panel, CPL_STARTWPARMSW, 0, 0));
    fflush(stdout);
    if (open) {
        printf("dblclk=%ld\n", proc(panel, CPL_DBLCLK, 0, info.lData));
    }
    printf("stop=%ld\n", proc(panel, CPL_STOP, 0, info.lData));
    printf("exit=%ld\n", proc(panel, CPL_EXIT, 0, 0));
    fflush(stdout);
    FreeLibrary(module);
    DestroyWindow(panel);
    return 0;
}
