#include "driver/driver.h"
#include "driver/functions.h"
#include "pdev/pdevice.h"

// Called by the engine once the device is complete (hDev stored). Gives
// the engine a 1-bit, top-down bitmap of the device's bitmap size over a
// zero-filled block of the driver's, with text output as the only hooked
// call. A device that has a surface gets the same one back. Returns 0 when
// the block or the bitmap cannot be had; nothing is kept then.
// DrvDisableSurface frees the block and deletes the surface.
HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  PDevice* lpPDevice = reinterpret_cast<PDevice*>(dhpdev);
  DrvDebugPrint("DrvEnableSurface: dhpdev [%08lx]", DRV_TRACE_PTR(dhpdev));
  if (lpPDevice->hSurface != nullptr) {
    DrvDebugPrint("DrvEnableSurface: Surface [%08lx] already exists.",
                  DRV_TRACE_PTR(lpPDevice->hSurface));
    DrvDebugPrint("DrvEnableSurface: Returning [%08lx]", DRV_TRACE_PTR(lpPDevice->hSurface));
    return lpPDevice->hSurface;
  }
  DrvDebugPrint("DrvEnableSurface: Creating new surface.");
  lpPDevice->lpBitmapBits = static_cast<BYTE*>(DrvAllocPtr(lpPDevice->dwBitmapBytes));
  if (lpPDevice->lpBitmapBits == nullptr) {
    DrvDebugPrint("DrvEnableSurface: EngAllocMem failed!");
    DrvDebugPrint("DrvEnableSurface: Returning [%08lx]", DRV_TRACE_PTR(nullptr));
    return nullptr;
  }
  DrvDebugPrint("DrvEnableSurface: Allocated [%ld] bytes for bitmap.",
                (LONG)lpPDevice->dwBitmapBytes);
  SIZEL sizl;
  sizl.cx = (LONG)lpPDevice->dwBitmapWidthPixels;
  sizl.cy = (LONG)lpPDevice->dwBitmapHeightPixels;
  HSURF hSurface = reinterpret_cast<HSURF>(EngCreateBitmap(
      sizl, (LONG)lpPDevice->dwBytesPerBitmapRow, BMF_1BPP, BMF_TOPDOWN, lpPDevice->lpBitmapBits));
  if (hSurface == nullptr) {
    DrvDebugPrint("DrvEnableSurface: EngCreateBitmap failed!");
    DrvFreePtr(lpPDevice->lpBitmapBits);
    lpPDevice->lpBitmapBits = nullptr;
    DrvDebugPrint("DrvEnableSurface: Returning [%08lx]", DRV_TRACE_PTR(nullptr));
    return nullptr;
  }
  DrvDebugPrint("DrvEnableSurface: Created surface [%08lx].", DRV_TRACE_PTR(hSurface));
  lpPDevice->hSurface = hSurface;
  // Everything but text is drawn by the engine into the bitmap.
  EngAssociateSurface(hSurface, lpPDevice->hDev, HOOK_TEXTOUT);
  DrvDebugPrint("DrvEnableSurface: Returning [%08lx]", DRV_TRACE_PTR(hSurface));
  return hSurface;
}

// Called by the engine before DrvDisablePDEV, and safe to call again or
// after a failed DrvEnableSurface: each part is released only while it is
// there. The block goes before the surface that draws into it.
VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  PDevice* lpPDevice = reinterpret_cast<PDevice*>(dhpdev);
  DrvDebugPrint("DrvDisableSurface: dhpdev [%08lx]", DRV_TRACE_PTR(dhpdev));
  if (lpPDevice->lpBitmapBits != nullptr) {
    DrvFreePtr(lpPDevice->lpBitmapBits);
    lpPDevice->lpBitmapBits = nullptr;
    DrvDebugPrint("DrvDisableSurface: EngFreeMem.");
  }
  if (lpPDevice->hSurface != nullptr) {
    EngDeleteSurface(lpPDevice->hSurface);
    lpPDevice->hSurface = nullptr;
    DrvDebugPrint("DrvDisableSurface: EngDeleteSurface.");
  }
}
