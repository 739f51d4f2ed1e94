// Kernel headers for the test drivers, in the one order mingw-w64's DDK
// compiles as C++: its wdm.h redefines two intrinsics that intrin.h already
// defines, so wdm.h's copies are renamed out of the way.
#ifndef OVTOUCH_TESTS_E2E_KERNEL_H
#define OVTOUCH_TESTS_E2E_KERNEL_H

#include <intrin.h>
#define InterlockedBitTestAndSet OvtWdmBitTestAndSet
#define InterlockedBitTestAndReset OvtWdmBitTestAndReset
#include <ntifs.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

// Exported by ntoskrnl as a variable holding the type.
extern "C" __declspec(dllimport) POBJECT_TYPE IoDriverObjectType;

#endif
