// The kernel services the binding uses: the DDK on Windows, the host
// stand-in (driver/tests/kstub) when the same sources run under the host
// tests.
#ifndef OVTOUCH_DRIVER_KERNEL_H
#define OVTOUCH_DRIVER_KERNEL_H

#ifdef OVT_KSTUB
#include "tests/kstub/kstub.h"
#define OVT_W(s) u##s
#else
// The i686 intrinsics header already defines these two; the DDK's copies
// would clash with them in C++.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
extern "C" {
#include <ntddk.h>
#include <ntddmou.h>
#include <kbdmou.h>
#include <ntddser.h>
}
#define OVT_W(s) L##s
#ifndef _X86_
// Declared for x86 only by the DDK headers; HAL exports it on x86-64 too.
extern "C" __declspec(dllimport) BOOLEAN NTAPI HalMakeBeep(ULONG Frequency);
#endif
#endif

#endif
