#include "host/handles.h"

#include <cstdio>

namespace host {

namespace {
std::string Unknown(const char* service, const void* handle) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: %p is not a live handle", service, handle);
  return text;
}
}  // namespace

uintptr_t Handles::NextHandle() {
  next_handle_ += 4;
  return next_handle_;
}

HBITMAP Handles::CreateBitmap(SIZEL size, LONG lWidth, ULONG format, FLONG flags, PVOID bits) {
  if (failed_creates_.Next()) return nullptr;
  HSURF handle = reinterpret_cast<HSURF>(NextHandle());
  surfaces_[handle] = Surface{size, lWidth, format, flags, bits};
  last_surface_ = handle;
  return reinterpret_cast<HBITMAP>(handle);
}

// The platform's documentation gives a failed EngAssociateSurface no more
// than its FALSE; the host leaves the surface as it was, unassociated.
BOOL Handles::Associate(HSURF surface, HDEV hdev, FLONG hooks) {
  auto it = surfaces_.find(surface);
  if (it == surfaces_.end()) {
    findings_.Add(Unknown("EngAssociateSurface", surface));
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
  if (surfaces_.erase(surface) == 0) {
    findings_.Add(Unknown("EngDeleteSurface", surface));
    return FALSE;
  }
  return failed_deletions_.Next() ? FALSE : TRUE;
}

HPALETTE Handles::CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                                FLONG green, FLONG blue) {
  if (failed_creates_.Next()) return nullptr;
  HPALETTE handle = reinterpret_cast<HPALETTE>(NextHandle());
  Palette palette{mode, {}, red, green, blue};
  if (colors != nullptr) palette.colors.assign(colors, colors + count);
  palettes_[handle] = std::move(palette);
  ++palettes_created_;
  last_palette_ = handle;
  return handle;
}

BOOL Handles::DeletePalette(HPALETTE palette) {
  if (palettes_.erase(palette) == 0) {
    findings_.Add(Unknown("EngDeletePalette", palette));
    return FALSE;
  }
  return TRUE;
}

const Surface* Handles::FindSurface(HSURF surface) const {
  auto it = surfaces_.find(surface);
  return it == surfaces_.end() ? nullptr : &it->second;
}

const Palette* Handles::FindPalette(HPALETTE palette) const {
  auto it = palettes_.find(palette);
  return it == palettes_.end() ? nullptr : &it->second;
}

void Handles::Reset() {
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
