// The Control Panel contract as the applet's logic sees it. On Windows the
// record is the platform's own NEWCPLINFOA; on the host an identical layout.
#ifndef OVTOUCH_APPLET_LOGIC_CPL_TYPES_H
#define OVTOUCH_APPLET_LOGIC_CPL_TYPES_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#include <cpl.h>
#endif

namespace ovt {

typedef void* WindowHandle;
typedef void* IconHandle;

#ifdef _WIN32
typedef NEWCPLINFOA NewCplInfo;
#if !defined(_WIN64)
static_assert(sizeof(NewCplInfo) == 244, "NEWCPLINFOA is 244 bytes on i686");
#endif
#else
struct NewCplInfo {
    uint32_t dwSize;
    uint32_t dwFlags;
    uint32_t dwHelpContext;
    intptr_t lData;
    IconHandle hIcon;
    char szName[32];
    char szInfo[64];
    char szHelpFile[128];
};
#endif

enum : unsigned {
    kCplInit = 1,
    kCplGetCount = 2,
    kCplInquire = 3,
    kCplSelect = 4,
    kCplDblclk = 5,
    kCplStop = 6,
    kCplExit = 7,
    kCplNewInquire = 8,
};

}  // namespace ovt

#endif
