// The platform's user-mode services that both user-mode DLLs build their
// memory and trace on: the process heap and the debugger's output. The DLLs
// take them from <windows.h>; the host test of the backend defines them.
#pragma once

#include "engine/engine.h"

#if !defined(TEXTRELAY_WINDDI)
#define HEAP_ZERO_MEMORY 0x00000008
extern "C" {
HANDLE APIENTRY GetProcessHeap();
PVOID APIENTRY HeapAlloc(HANDLE hHeap, DWORD dwFlags, ULONG_PTR dwBytes);
BOOL APIENTRY HeapFree(HANDLE hHeap, DWORD dwFlags, PVOID lpMem);
VOID APIENTRY OutputDebugStringA(const char* lpOutputString);
}
#endif

#ifndef DRV_TRACE_PREFIX
#error "DRV_TRACE_PREFIX names the DLL's trace lines, as \"DRVUI: \""
#endif

// A trace line up to this long is formatted on the stack; a longer one takes
// a block from the heap, and is cut to this length when there is none.
#define DRV_TRACE_STACK_CHARS 1024
