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

// Where the formatted pieces go: counted only (pchLine NULL), or copied
// into a line of cchRoom characters, the rest cut.
struct Line {
  char* pchLine;
  unsigned cchRoom;
  unsigned cch;
};

void Gather(void* lpContext, const char* pszPiece) {
  Line* lpLine = static_cast<Line*>(lpContext);
  for (const char* pch = pszPiece; *pch; ++pch) {
    if (lpLine->pchLine != nullptr && lpLine->cch < lpLine->cchRoom) {
      lpLine->pchLine[lpLine->cch] = *pch;
    }
    ++lpLine->cch;
  }
}

// Formats into the line and ends it with a line feed and a NUL, which the
// line has room for after cchRoom characters.
void Fill(Line* lpLine, const char* pszFormat, va_list ap) {
  DrvFormatTrace(Gather, lpLine, DRV_TRACE_PREFIX, pszFormat, ap);
  unsigned cchEnd = lpLine->cch < lpLine->cchRoom ? lpLine->cch : lpLine->cchRoom;
  lpLine->pchLine[cchEnd] = '\n';
  lpLine->pchLine[cchEnd + 1] = '\0';
}

}  // namespace

// One line, one OutputDebugStringA call: the lines of threads tracing at
// once never interleave. The line is measured first: a short one is
// formatted on the stack, so that tracing takes nothing from the heap the
// driver's own blocks come from; a longer one goes into a block of its size
// and is cut only when the heap has no room.
void DrvDebugPrint(const char* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  va_list apMeasure;
  va_copy(apMeasure, ap);
  Line measure = {nullptr, 0, 0};
  DrvFormatTrace(Gather, &measure, DRV_TRACE_PREFIX, pszFormat, apMeasure);
  va_end(apMeasure);
  char* pchBlock = nullptr;
  if (measure.cch > DRV_TRACE_STACK_CHARS) {
    pchBlock = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, measure.cch + 2));
  }
  char achStack[DRV_TRACE_STACK_CHARS + 2];
  Line line = {pchBlock != nullptr ? pchBlock : achStack,
               pchBlock != nullptr ? measure.cch : DRV_TRACE_STACK_CHARS, 0};
  Fill(&line, pszFormat, ap);
  va_end(ap);
  OutputDebugStringA(line.pchLine);
  if (pchBlock != nullptr) HeapFree(GetProcessHeap(), 0, pchBlock);
}
