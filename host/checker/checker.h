// The driver checker, the layer over the engine that tests and fuzzers
// switch on (Engine::SwitchOnChecker): every block is recorded and tagged
// and may be put against a guard page, every surface and palette is kept
// in a handle table, every write's handle is looked up, fault plans decide
// which calls fail, and misuse is a finding of the job the calling thread
// has open, or the engine's own.
#pragma once

#include <string>

#include "host/checker/handles.h"
#include "host/checker/pool.h"
#include "host/checker/spooler_checks.h"
#include "host/engine_layer.h"

namespace host {

class Checker final : public EngineLayer {
 public:
  // The engine's checker, whether switched on yet or not.
  static Checker& Get();

  explicit Checker(Engine& engine) : pool(engine), handles(engine), spooler(engine) {}

  Pool pool;
  Handles handles;
  SpoolerChecks spooler;

  PVOID Alloc(ULONG flags, ULONG size, ULONG tag) override { return pool.Alloc(flags, size, tag); }
  void Free(PVOID block) override { pool.Free(block); }
  BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) override {
    return spooler.Write(printer, bytes, count, written);
  }
  HBITMAP CreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits) override {
    return handles.CreateBitmap(size, width, format, flags, bits);
  }
  BOOL Associate(HSURF surface, HDEV hdev, FLONG hooks) override {
    return handles.Associate(surface, hdev, hooks);
  }
  BOOL DeleteSurface(HSURF surface) override { return handles.DeleteSurface(surface); }
  HPALETTE CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red, FLONG green,
                         FLONG blue) override {
    return handles.CreatePalette(mode, count, colors, red, green, blue);
  }
  BOOL DeletePalette(HPALETTE palette) override { return handles.DeletePalette(palette); }

  void ReportLive(std::string& report) const override;
  void Reset() override;
};

}  // namespace host
