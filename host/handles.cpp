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
  return reinterpret_cast<HBITMAP>(handle);
}

BOOL Handles::Associate(HSURF surface, HDEV hdev, FLONG hooks) {
  auto it = surfaces_.find(surface);
  if (it == surfaces_.end()) {
    findings_.Add(Unknown("EngAssociateSurface", surface));
    return FALSE;
  }
  it->second.associated = true;
  it->second.hdev = hdev;
  it->second.hooks = hooks;
  return TRUE;
}

BOOL Handles::DeleteSurface(HSURF surface) {
  if (surfaces_.erase(surface) == 0) {
    findings_.Add(Unknown("EngDeleteSurface", surface));
    return FALSE;
  }
  return TRUE;
}

HPALETTE Handles::CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                                FLONG green, FLONG blue) {
  if (failed_creates_.Next()) return nullptr;
  HPALETTE handle = reinterpret_cast<HPALETTE>(NextHandle());
  Palette palette{mode, {}, red, green, blue};
  if (colors != nullptr) palette.colors.assign(colors, colors + count);
  palettes_[handle] = std::move(palette);
  ++palettes_created_;
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
  palettes_created_ = 0;
}

}  // namespace host
