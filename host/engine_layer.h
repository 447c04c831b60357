// A layer over the engine's services, such as the driver checker: once
// switched on, it gives out and takes back every block, surface, palette
// and printer write in the engine's stead.
#pragma once

#include <string>

#include "engine/engine.h"

namespace host {

class EngineLayer {
 public:
  virtual PVOID Alloc(ULONG flags, ULONG size, ULONG tag) = 0;
  virtual void Free(PVOID block) = 0;
  virtual BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) = 0;
  virtual HBITMAP CreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags,
                               PVOID bits) = 0;
  virtual BOOL Associate(HSURF surface, HDEV hdev, FLONG hooks) = 0;
  virtual BOOL DeleteSurface(HSURF surface) = 0;
  virtual HPALETTE CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red,
                                 FLONG green, FLONG blue) = 0;
  virtual BOOL DeletePalette(HPALETTE palette) = 0;

  // Appends what the layer still holds to the engine's live report.
  virtual void ReportLive(std::string& report) const = 0;
  // Forgets everything held and every plan: for a fresh engine only.
  virtual void Reset() = 0;

 protected:
  ~EngineLayer() = default;
};

// "N what live; " for a live report, or nothing when count is 0.
void ReportLive(std::string& report, size_t count, const char* what);

}  // namespace host
