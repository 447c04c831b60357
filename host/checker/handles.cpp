#include "host/checker/handles.h"

#include <cstdio>

#include "host/engine.h"

namespace host {

namespace {
std::string Unknown(const char* service, const void* handle) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: %p is not a live handle", service, handle);
  return text;
}
}  // namespace

size_t Handles::LiveSurfaces() const {
  std::lock_guard lock(mutex_);
  return surfaces_.size();
}

size_t Handles::LivePalettes() const {
  std::lock_guard lock(mutex_);
  return palettes_.size();
}

uint64_t Handles::PalettesCreated() const {
  std::lock_guard lock(mutex_);
  return palettes_created_;
}

HSURF Handles::LastSurface() const {
  std::lock_guard lock(mutex_);
  return last_surface_;
}

HPALETTE Handles::LastPalette() const {
  std::lock_guard lock(mutex_);
  return last_palette_;
}

// Called with the lock held.
uintptr_t Handles::NextHandle() {
  next_handle_ += 4;
  return next_handle_;
}

HBITMAP Handles::CreateBitmap(SIZEL size, LONG lWidth, ULONG format, FLONG flags, PVOID bits) {
  std::lock_guard lock(mutex_);
  if (failed_creates_.Next()) return nullptr;
  HSURF handle = reinterpret_cast<HSURF>(NextHandle());
  surfaces_[handle] = Surface{size, lWidth, format, flags, bits};
  last_surface_ = handle;
  return reinterpret_cast<HBITMAP>(handle);
}

// The platform's documentation gives a failed EngAssociateSurface no more
// than its FALSE; the host leaves the surface as it was, unassociated.
BOOL Handles::Associate(HSURF surface, HDEV hdev, FLONG hooks) {
  std::lock_guard lock(mutex_);
  auto it = surfaces_.find(surface);
  if (it == surfaces_.end()) {
    engine_.ThreadFindings().Add(Unknown("EngAssociateSurface", surface));
    return FALSE;
  }
  if (failed_associations_.Next()) return FALSE;
  it->second.associated = true;
  it->second.hdev = hdev;
  it->second.hooks = hooks;
  return TRUE;
}

// The platform's documentation says only that a failed EngDeleteSurface
// answers FALSE and logs an error; what becomes of the surface it leaves
// open, and a driver can do nothing about it but forget the handle. So the
// host forgets it too: a failed deletion is never counted as a leak.
BOOL Handles::DeleteSurface(HSURF surface) {
  std::lock_guard lock(mutex_);
  if (surfaces_.erase(surface) == 0) {
    engine_.ThreadFindings().Add(Unknown("EngDeleteSurface", surface));
    return FALSE;
  }
  return failed_deletions_.Next() ? FALSE : TRUE;
}

HPALETTE Handles::CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                                FLONG green, FLONG blue) {
  std::lock_guard lock(mutex_);
  if (failed_creates_.Next()) return nullptr;
  HPALETTE handle = reinterpret_cast<HPALETTE>(NextHandle());
  palettes_[handle] = MakePalette(mode, count, colors, red, green, blue);
  ++palettes_created_;
  last_palette_ = handle;
  return handle;
}

BOOL Handles::DeletePalette(HPALETTE palette) {
  std::lock_guard lock(mutex_);
  if (palettes_.erase(palette) == 0) {
    engine_.ThreadFindings().Add(Unknown("EngDeletePalette", palette));
    return FALSE;
  }
  return TRUE;
}

std::optional<Surface> Handles::FindSurface(HSURF surface) const {
  std::lock_guard lock(mutex_);
  auto it = surfaces_.find(surface);
  if (it == surfaces_.end()) return std::nullopt;
  return it->second;
}

std::optional<Palette> Handles::FindPalette(HPALETTE palette) const {
  std::lock_guard lock(mutex_);
  auto it = palettes_.find(palette);
  if (it == palettes_.end()) return std::nullopt;
  return it->second;
}

void Handles::Reset() {
  std::lock_guard lock(mutex_);
  surfaces_.clear();
  palettes_.clear();
  failed_creates_.Clear();
  failed_associations_.Clear();
  failed_deletions_.Clear();
  palettes_created_ = 0;
  last_surface_ = nullptr;
  last_palette_ = nullptr;
}

}  // namespace host
