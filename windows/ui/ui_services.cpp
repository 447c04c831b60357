// The driver's common routines as the printer interface DLL has them: it
// runs in user mode (in the spooler or an application), so its trace goes
// to the user-mode debugger and its memory comes from the process heap.
#include "driver/driver.h"

namespace {
// wvsprintfA writes at most 1024 bytes with its NUL; room is kept for one
// more character all the same, and for the line feed and NUL after it.
constexpr int kMessageChars = 1024;
constexpr char kPrefix[] = "DRVUI: ";
}  // namespace

// One line: the prefix, the message formatted by the platform's printf, a
// line feed. The prefix tells the interface DLL's lines from the graphics
// driver's, which show in the same debugger with the same messages.
void DrvDebugPrint(const char* pszFormat, ...) {
  char szLine[sizeof kPrefix - 1 + kMessageChars + 2];
  DrvCopyBytes(szLine, kPrefix, sizeof kPrefix - 1);
  char* pszMessage = szLine + sizeof kPrefix - 1;
  va_list ap;
  va_start(ap, pszFormat);
  int cch = wvsprintfA(pszMessage, pszFormat, ap);
  va_end(ap);
  if (cch < 0) cch = 0;
  if (cch > kMessageChars) cch = kMessageChars;
  pszMessage[cch] = '\n';
  pszMessage[cch + 1] = 0;
  OutputDebugStringA(szLine);
}

PVOID DrvAllocPtr(ULONG cjSize) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cjSize); }

void DrvFreePtr(PVOID pv) {
  if (pv != nullptr) HeapFree(GetProcessHeap(), 0, pv);
}
