// What the platform's user-mode modules give a printer interface DLL and a
// user-mode graphics DLL, as the host has them: the thread's last error, the
// process heap, the debugger's output and the spooler's write. A loaded
// DLL's imports from KERNEL32 and WINSPOOL
// are bound to these; each has the platform's calling convention. The
// natively built interface code calls the last error too.
#pragma once

#include <cstdarg>

#include "ui/printui.h"

extern "C" VOID APIENTRY SetLastError(DWORD dwErrCode);
extern "C" DWORD APIENTRY GetLastError();
// The printer at levels 2 and 9 as the spooler answers them: the record
// after the PRINTER_INFO_2W or PRINTER_INFO_9W, pDevMode pointing to it (or
// NULL when the queue has none). ERROR_INVALID_HANDLE for a printer that is
// not open, ERROR_INVALID_LEVEL for another level, ERROR_INSUFFICIENT_BUFFER
// with the size when cbBuf is short.
extern "C" BOOL APIENTRY GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                          LPDWORD pcbNeeded);


namespace host::usermode {

// The one process heap. Its blocks come from the engine's pool, tagged
// "Heap", so that the checker counts them like any other memory.
HANDLE APIENTRY GetProcessHeap();
PVOID APIENTRY HeapAlloc(HANDLE hHeap, DWORD dwFlags, ULONG_PTR dwBytes);
BOOL APIENTRY HeapFree(HANDLE hHeap, DWORD dwFlags, PVOID lpMem);

// The text goes to the engine's trace, line by line.
VOID APIENTRY OutputDebugStringA(const char* lpOutputString);

// The bytes go to the host spooler, as the engine's EngWritePrinter sends
// them: the handle a user-mode graphics DLL is given is the spooler's own.
BOOL APIENTRY WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten);

// HEAP_ZERO_MEMORY.
constexpr DWORD kHeapZeroMemory = 0x00000008;

}  // namespace host::usermode
