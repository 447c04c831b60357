// The driver's one view of the graphics engine: its records, handles,
// constants and services. The real DLL takes them from the platform's
// <winddi.h>; every other build takes the host declarations beside this file.
#pragma once

#if defined(TEXTRELAY_WINDDI)
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <winddi.h>
#define DRV_WIDE(s) L##s
#else
#include "engine/host_winddi.h"
#define DRV_WIDE(s) u##s
#endif

// Pointers and handles appear in trace lines as eight hexadecimal digits,
// as on the platform; on 64-bit hosts that is their low half.
#define DRV_TRACE_PTR(p) ((ULONG)(ULONG_PTR)(p))

#include "engine/layout.h"
