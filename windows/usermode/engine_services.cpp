// The four engine services that GDI does not offer a user-mode graphics DLL.
// The driver core calls them under their engine names, as in kernel mode;
// here they come from the platform's user-mode services instead: memory from
// the process heap, the spooler write from the spooler's WritePrinter, the
// trace to the debugger's output.
#include <stdarg.h>
#include <windows.h>
#include <winspool.h>
#include <winddi.h>

#include "windows/usermode/trace_format.h"

// Called by the core for every block it keeps. Zero-filled when
// FL_ZERO_MEMORY asks for it; the tag labels kernel pool and has no heap
// counterpart. NULL when the heap has no room; EngFreeMem frees the block.
PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag) {
  (void)Tag;
  DWORD dwHeapFlags = (Flags & FL_ZERO_MEMORY) ? HEAP_ZERO_MEMORY : 0;
  return HeapAlloc(GetProcessHeap(), dwHeapFlags, MemSize);
}

// Called by the core to free a block of EngAllocMem's. NULL frees nothing.
VOID APIENTRY EngFreeMem(PVOID Mem) {
  if (Mem != NULL) HeapFree(GetProcessHeap(), 0, Mem);
}

// Called by the core for every spooler write, with the printer handle the
// engine passed to DrvEnablePDEV; in user mode that handle is the spooler's
// own, which WritePrinter takes. FALSE when the spooler refuses the write.
BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
}

static void SendToDebugger(const char* pszPiece) { OutputDebugStringA(pszPiece); }

// Called by the core for each part of a trace line. The debugger joins the
// pieces; DrvFormatTrace cuts nothing, however long the message.
VOID APIENTRY EngDebugPrint(PCHAR StandardPrefix, PCHAR DebugMessage, va_list ap) {
  DrvFormatTrace(SendToDebugger, StandardPrefix, DebugMessage, ap);
}
