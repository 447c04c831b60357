// The engine's surfaces and palettes, kept in handle tables that a driver
// checker counts like memory. Every call may come from any thread: one lock
// guards both tables, held only inside a call.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "engine/engine.h"
#include "host/checker/fault_plan.h"
#include "host/graphics_objects.h"

namespace host {

class Engine;

class Handles {
 public:
  // Misuse is a finding of the engine's open job, or the engine's own.
  explicit Handles(Engine& engine) : engine_(engine) {}

  HBITMAP CreateBitmap(SIZEL size, LONG lWidth, ULONG format, FLONG flags, PVOID bits);
  BOOL Associate(HSURF surface, HDEV hdev, FLONG hooks);
  BOOL DeleteSurface(HSURF surface);
  HPALETTE CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                         FLONG green, FLONG blue);
  BOOL DeletePalette(HPALETTE palette);

  // Copies: another thread may delete the handle.
  std::optional<Surface> FindSurface(HSURF surface) const;
  std::optional<Palette> FindPalette(HPALETTE palette) const;
  size_t LiveSurfaces() const;
  size_t LivePalettes() const;
  uint64_t PalettesCreated() const;
  // What the last successful create handed out; 0 before the first.
  HSURF LastSurface() const;
  HPALETTE LastPalette() const;

  // One plan for both create calls: "the k-th create" counts either.
  FaultPlan& failed_creates() { return failed_creates_; }
  // A failed association leaves the surface as it was, unassociated.
  FaultPlan& failed_associations() { return failed_associations_; }
  // A failed deletion answers FALSE, yet the handle is gone all the same.
  FaultPlan& failed_deletions() { return failed_deletions_; }
  void Reset();

 private:
  uintptr_t NextHandle();
  Engine& engine_;
  mutable std::mutex mutex_;
  std::map<HSURF, Surface> surfaces_;
  std::map<HPALETTE, Palette> palettes_;
  FaultPlan failed_creates_;
  FaultPlan failed_associations_;
  FaultPlan failed_deletions_;
  uintptr_t next_handle_ = 0x1000;
  uint64_t palettes_created_ = 0;
  HSURF last_surface_ = nullptr;
  HPALETTE last_palette_ = nullptr;
};

}  // namespace host
