#include "host/engine.h"

#include <cstdlib>

#include "host/text_object.h"

namespace host {

Engine& Engine::Create() {
  static Engine engine;
  return engine;
}

PVOID Engine::Alloc(ULONG flags, ULONG size, ULONG tag) {
  if (checked_) return pool.Alloc(flags, size, tag);
  if (size == 0) return nullptr;
  return (flags & FL_ZERO_MEMORY) != 0 ? std::calloc(size, 1) : std::malloc(size);
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
