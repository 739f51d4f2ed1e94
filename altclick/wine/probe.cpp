// Wine test aid: talks to the loaded driver and to the tool's window.
//   altclick_probe get          prints the driver's ButtonMode
//   altclick_probe set N        sets it
//   altclick_probe capture      prints the capture state
//   altclick_probe close l|r    sends WM_CLOSE to the window titled 左键 / 右键
//   altclick_probe info l|r     prints that window's class, class style and styles
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "common/ovtouch.h"
#include "common/user/win32_platform.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if ((!strcmp(argv[1], "close") || !strcmp(argv[1], "info")) && argc > 2) {
        const char* title = argv[2][0] == 'r' ? "\xd3\xd2\xbc\xfc" : "\xd7\xf3\xbc\xfc";
        HWND w = FindWindowA(NULL, title);
        if (!w) return 1;
        if (argv[1][0] == 'c') {
            SendMessageA(w, WM_CLOSE, 0, 0);
            return 0;
        }
        char name[64] = "";
        GetClassNameA(w, name, sizeof name);
        printf("class=%s classstyle=0x%lx style=0x%lx exstyle=0x%lx\n", name,
               (unsigned long)GetClassLongPtrA(w, GCL_STYLE), (unsigned long)GetWindowLongA(w, GWL_STYLE),
               (unsigned long)GetWindowLongA(w, GWL_EXSTYLE));
        return 0;
    }
    ovt::Win32ControlDevice device;
    if (!device.Open()) {
        fprintf(stderr, "cannot open the control device\n");
        return 3;
    }
    uint32_t n = 0, word = 0;
    if (!strcmp(argv[1], "get")) {
        if (!device.Control(IOCTL_TOUCH_GET_BUTTON_MODE, 0, 0, &word, 4, &n)) return 4;
        printf("%u\n", word);
    } else if (!strcmp(argv[1], "set") && argc > 2) {
        word = strtoul(argv[2], 0, 0);
        if (!device.Control(IOCTL_TOUCH_SET_BUTTON_MODE, &word, 4, 0, 0, &n)) return 4;
    } else if (!strcmp(argv[1], "capture")) {
        CaptureRecord c;
        if (!device.Control(IOCTL_TOUCH_GET_CAPTURE, 0, 0, &c, sizeof c, &n)) return 4;
        printf("0x%x\n", c.State);
    } else {
        return 2;
    }
    return 0;
}
