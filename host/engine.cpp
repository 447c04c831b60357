#include "host/engine.h"

#include <cstdlib>
#include <cstring>

#include "host/text_object.h"

namespace host {

Engine& Engine::Create() {
  static Engine engine;
  return engine;
}

PVOID Engine::Alloc(ULONG flags, ULONG size, ULONG tag) {
  if (checked_) return pool.Alloc(flags, size, tag);
  if (size == 0) return nullptr;
  // Not calloc: glibc's calloc passes by the thread's cache of small
  // blocks, and the driver takes and frees one for every line. The empty
  // statement hides the block's origin from the compiler, which would
  // otherwise fold malloc and memset back into calloc.
  void* block = std::malloc(size);
  asm("" : "+r"(block));
  if (block != nullptr && (flags & FL_ZERO_MEMORY) != 0) std::memset(block, 0, size);
  return block;
}

void Engine::Free(PVOID block) {
  if (checked_) return pool.Free(block);
  std::free(block);
}

BOOL Engine::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  if (checked_) return spooler.Write(printer, bytes, count, written);
  return Spooler::WriteUnchecked(printer, bytes, count, written);
}

std::string Engine::LiveReport() const {
  std::string report;
  auto add = [&](size_t count, const char* what) {
    if (count != 0) report += std::to_string(count) + " " + what + " live; ";
  };
  add(pool.LiveBlocks(), "pool blocks");
  add(handles.LiveSurfaces(), "surfaces");
  add(handles.LivePalettes(), "palettes");
  add(spooler.OpenPrinters(), "printers");
  add(LiveTextObjects(), "text objects");
  for (const auto& finding : findings.list()) report += "finding: " + finding + "; ";
  return report;
}

void Engine::Reset() {
  findings.Clear();
  pool.Reset();
  spooler.Reset();
  handles.Reset();
  trace.Reset();
  code_page.ResetCounts();
}

}  // namespace host
