// Routines shared by every part of the driver: the trace, the engine's
// memory, the spooler write, and byte and name helpers of our own (the
// driver links no C library).
#pragma once

#include "engine/engine.h"

struct PDevice;

// "RTXD" in memory order: the lowest byte of the tag is 'R'.
#define DRV_POOL_TAG ((ULONG)('R' | ('T' << 8) | ('X' << 16) | ((ULONG)'D' << 24)))

// One trace line: "DRVKRNL: ", the formatted message, a line feed. Always on.
void DrvDebugPrint(const char* pszFormat, ...);

// Zero-filled, tagged memory from the engine; NULL when none is available.
// The caller frees it with DrvFreePtr.
PVOID DrvAllocPtr(ULONG cjSize);
void DrvFreePtr(PVOID pv);

// Writes all cj bytes to the device's printer. TRUE only when the engine
// took every byte; a partial write is continued from where it stopped, and a
// write that fails or takes nothing ends the call with FALSE.
BOOL DrvWriteSpool(PDevice* lpPDevice, const void* lpBuffer, ULONG cj);

void DrvCopyBytes(void* lpDst, const void* lpSrc, ULONG cj);
void DrvFillBytes(void* lpDst, BYTE byValue, ULONG cj);

// Copies a NUL-terminated name into a field of cchDst units, cutting it to
// cchDst - 1 units so the NUL always fits. Units after the NUL are left as
// they were. A NULL name is the empty name.
void DrvCopyName(WCHAR* lpDst, ULONG cchDst, const WCHAR* lpSrc);

// The name as 8-bit text for a trace line: each unit below 0x100 as itself,
// any other as '?', cut to fit cbDst with its NUL.
void DrvNarrowName(char* lpDst, ULONG cbDst, const WCHAR* lpSrc);
