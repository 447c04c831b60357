// What the platform's user-mode modules give a printer interface DLL, as the
// host has them: the thread's last error, the process heap, the debugger's
// output and the window manager's printf. A loaded DLL's imports from
// KERNEL32 and USER32 are bound to these; each has the platform's calling
// convention. The natively built interface code calls the last error too.
#pragma once

#include <cstdarg>

#include "engine/engine.h"

extern "C" VOID APIENTRY SetLastError(DWORD dwErrCode);
extern "C" DWORD APIENTRY GetLastError();

namespace host::usermode {

// The one process heap. Its blocks come from the engine's pool, tagged
// "Heap", so that the checker counts them like any other memory.
HANDLE APIENTRY GetProcessHeap();
PVOID APIENTRY HeapAlloc(HANDLE hHeap, DWORD dwFlags, ULONG_PTR dwBytes);
BOOL APIENTRY HeapFree(HANDLE hHeap, DWORD dwFlags, PVOID lpMem);

// The text goes to the engine's trace, line by line.
VOID APIENTRY OutputDebugStringA(const char* lpOutputString);

// At most 1023 characters and the NUL: the platform's 1024-byte limit.
int APIENTRY wvsprintfA(char* lpOut, const char* lpFmt, va_list arglist);

// HEAP_ZERO_MEMORY.
constexpr DWORD kHeapZeroMemory = 0x00000008;

}  // namespace host::usermode
