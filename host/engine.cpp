#include "host/engine.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "host/graphics_objects.h"
#include "host/text_object.h"

namespace host {

namespace {
// A free engine's surface or palette: the record's address is its handle.
template <typename Handle, typename Record>
Handle NewRecord(Record record) {
  return reinterpret_cast<Handle>(new (std::nothrow) Record(std::move(record)));
}

template <typename Record, typename Handle>
BOOL DeleteRecord(Handle handle) {
  if (handle == nullptr) return FALSE;
  delete reinterpret_cast<Record*>(handle);
  return TRUE;
}
}  // namespace

void ReportLive(std::string& report, size_t count, const char* what) {
  if (count != 0) report += std::to_string(count) + " " + what + " live; ";
}

Engine& Engine::Create() {
  static Engine engine;
  return engine;
}

PVOID Engine::Alloc(ULONG flags, ULONG size, ULONG tag) {
  if (checked_) [[unlikely]] return layer_->Alloc(flags, size, tag);
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
  if (checked_) return layer_->Free(block);
  std::free(block);
}

BOOL Engine::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  if (checked_) return layer_->Write(printer, bytes, count, written);
  return Spooler::Write(printer, bytes, count, written);
}

HBITMAP Engine::CreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits) {
  if (checked_) return layer_->CreateBitmap(size, width, format, flags, bits);
  return NewRecord<HBITMAP>(Surface{size, width, format, flags, bits});
}

BOOL Engine::Associate(HSURF surface, HDEV hdev, FLONG hooks) {
  if (checked_) return layer_->Associate(surface, hdev, hooks);
  if (surface == nullptr) return FALSE;
  Surface& record = *reinterpret_cast<Surface*>(surface);
  record.associated = true;
  record.hdev = hdev;
  record.hooks = hooks;
  return TRUE;
}

BOOL Engine::DeleteSurface(HSURF surface) {
  if (checked_) return layer_->DeleteSurface(surface);
  return DeleteRecord<Surface>(surface);
}

HPALETTE Engine::CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                               FLONG green, FLONG blue) {
  if (checked_) return layer_->CreatePalette(mode, count, colors, red, green, blue);
  try {
    return NewRecord<HPALETTE>(MakePalette(mode, count, colors, red, green, blue));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

BOOL Engine::DeletePalette(HPALETTE palette) {
  if (checked_) return layer_->DeletePalette(palette);
  return DeleteRecord<Palette>(palette);
}

void Engine::TakeOverFindings(Findings& job_findings) {
  if (!checked_) return;
  for (std::string& finding : job_findings.Take()) findings.Add(std::move(finding));
}

std::string Engine::LiveReport() const {
  std::string report;
  if (checked_) layer_->ReportLive(report);
  ReportLive(report, spooler.OpenPrinters(), "printers");
  ReportLive(report, LiveTextObjects(), "text objects");
  for (const auto& finding : findings.list()) report += "finding: " + finding + "; ";
  return report;
}

void Engine::Reset() {
  findings.Clear();
  if (checked_) layer_->Reset();
  spooler.Reset();
  trace.Reset();
  code_page.ResetCounts();
}

}  // namespace host
