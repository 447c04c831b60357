// Memory and trace for both user-mode DLLs, one backend on the platform's
// user-mode services: the driver's routines (DrvAllocPtr over EngAllocMem,
// DrvDebugPrint) keep the contracts of driver/driver.h in either DLL.
#include "windows/common/user_mode_services.h"

#include "driver/driver.h"
#include "windows/common/trace_format.h"

// Called for every block the driver keeps. Zero-filled when FL_ZERO_MEMORY
// asks for it; the tag labels kernel pool and has no heap counterpart. NULL
// when the heap has no room; EngFreeMem frees the block.
PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag) {
  (void)Tag;
  DWORD dwHeapFlags = (Flags & FL_ZERO_MEMORY) ? HEAP_ZERO_MEMORY : 0;
  return HeapAlloc(GetProcessHeap(), dwHeapFlags, MemSize);
}

// NULL frees nothing.
VOID APIENTRY EngFreeMem(PVOID Mem) {
  if (Mem != nullptr) HeapFree(GetProcessHeap(), 0, Mem);
}

namespace {

// Formats the line, its prefix first, into pchLine, which has room for
// cchRoom characters (the prefix at least) and two more: the line feed and
// the NUL that end it, after the text or where it is cut. Returns the whole
// line's length.
unsigned FormatLine(char* pchLine, unsigned cchRoom, const char* pszFormat, va_list ap) {
  static const char achPrefix[] = DRV_TRACE_PREFIX;
  const unsigned cchPrefix = sizeof achPrefix - 1;
  __builtin_memcpy(pchLine, achPrefix, cchPrefix);
  unsigned cch = cchPrefix +
                 DrvFormatTrace(pchLine + cchPrefix, cchRoom - cchPrefix, pszFormat, ap);
  unsigned cchEnd = cch < cchRoom ? cch : cchRoom;
  pchLine[cchEnd] = '\n';
  pchLine[cchEnd + 1] = '\0';
  return cch;
}

}  // namespace

// One line, one OutputDebugStringA call: the lines of threads tracing at
// once never interleave. A line is formatted once, on the stack, so that
// tracing takes nothing from the heap the driver's own blocks come from;
// only one longer than the stack's line is formatted again, into a block
// of its size, and it is cut only when the heap has no room.
void DrvDebugPrint(const char* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  char achStack[DRV_TRACE_STACK_CHARS + 2];
  unsigned cch = FormatLine(achStack, DRV_TRACE_STACK_CHARS, pszFormat, ap);
  char* pchBlock = nullptr;
  if (cch > DRV_TRACE_STACK_CHARS) {
    pchBlock = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, cch + 2));
    if (pchBlock != nullptr) FormatLine(pchBlock, cch, pszFormat, ap);
  }
  va_end(ap);
  OutputDebugStringA(pchBlock != nullptr ? pchBlock : achStack);
  if (pchBlock != nullptr) HeapFree(GetProcessHeap(), 0, pchBlock);
}
