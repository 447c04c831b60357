#include "devmode/devmode.h"
#include "driver/driver.h"
#include "driver/functions.h"
#include "pdev/pdev.h"

// The one release path of a device, for a failed creation and for
// DrvDisablePDEV alike: the palette InitDevInfo created, then the block.
static void FreePDevice(PDevice* lpPDevice) {
  if (lpPDevice->hPalette != nullptr) EngDeletePalette(lpPDevice->hPalette);
  DrvFreePtr(lpPDevice);
}

// Fills a freshly allocated device from the device mode built at its head.
// The order is fixed: InitPDevice writes the whole record, so what others set
// comes after.
static BOOL FillPDevice(PDevice* lpPDevice, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                        DEVINFO* pdi, LPWSTR pwszDeviceName, HANDLE hDriver) {
  if (!InitPDevice(&lpPDevice->DevMode, lpPDevice, sizeof(PDevice))) {
    DrvDebugPrint("DrvEnablePDEV: InitPDevice failed!");
    return FALSE;
  }
  DrvDebugPrint("DrvEnablePDEV: Initialized PDevice.");
  if (!InitGDIInfo(lpPDevice, reinterpret_cast<GDIINFO*>(pdevcaps), cjCaps)) {
    DrvDebugPrint("DrvEnablePDEV: InitGDIInfo failed!");
    return FALSE;
  }
  DrvDebugPrint("DrvEnablePDEV: Initialized GDIINFO.");
  if (!InitDevInfo(lpPDevice, pdi, cjDevInfo)) {
    DrvDebugPrint("DrvEnablePDEV: InitDevInfo failed!");
    return FALSE;
  }
  DrvDebugPrint("DrvEnablePDEV: Initialized DEVINFO.");
  lpPDevice->hPrinter = hDriver;
  DrvCopyName(lpPDevice->wszDeviceName, DRV_DEVICE_NAME_UNITS, pwszDeviceName);
  return TRUE;
}

// Allocates the device, builds its device mode in it, then fills the rest.
// The device mode is too large for the kernel stack, and module storage
// would be shared by creations on several threads, so the device's own
// block holds it from the start. NULL, with nothing left behind, when
// either step fails.
static PDevice* CreatePDevice(DEVMODEW* pdm, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                              DEVINFO* pdi, LPWSTR pwszDeviceName, HANDLE hDriver) {
  // Zero-filled, so no earlier caller's private block reaches this device.
  PDevice* lpPDevice = static_cast<PDevice*>(DrvAllocPtr(sizeof(PDevice)));
  if (lpPDevice == nullptr) {
    DrvDebugPrint("DrvEnablePDEV: DrvAllocPtr failed!");
    return nullptr;
  }
  GetDefaultDrvDevMode(pwszDeviceName, &lpPDevice->DevMode);
  if (pdm != nullptr) MergeDevModes(&lpPDevice->DevMode, pdm);
  DrvDebugPrint("DrvEnablePDEV: Allocated [%ld] bytes for PDevice [%08lx].",
                static_cast<LONG>(sizeof(PDevice)), DRV_TRACE_PTR(lpPDevice));
  if (!FillPDevice(lpPDevice, cjCaps, pdevcaps, cjDevInfo, pdi, pwszDeviceName, hDriver)) {
    FreePDevice(lpPDevice);
    return nullptr;
  }
  return lpPDevice;
}

// Called by the engine to create a physical device from the caller's
// device mode (or none) for the printer hDriver. Answers the engine's
// GDIINFO and DEVINFO, clamped to cjCaps and cjDevInfo. Returns the new
// PDevice, which the driver owns until DrvDisablePDEV, or NULL with nothing
// left behind. Creations on several threads share nothing and may overlap.
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG, HSURF*, ULONG cjCaps, ULONG* pdevcaps,
                              ULONG cjDevInfo, DEVINFO* pdi, HDEV, LPWSTR pwszDeviceName,
                              HANDLE hDriver) {
  DrvDebugPrint("DrvEnablePDEV: Input DEVMODE [%08lx]", DRV_TRACE_PTR(pdm));
  PDevice* lpPDevice =
      CreatePDevice(pdm, cjCaps, pdevcaps, cjDevInfo, pdi, pwszDeviceName, hDriver);
  DrvDebugPrint("DrvEnablePDEV: Returning [%08lx]", DRV_TRACE_PTR(lpPDevice));
  return reinterpret_cast<DHPDEV>(lpPDevice);
}

// Called by the engine once after DrvEnablePDEV succeeded, with the
// engine's handle of the device, which DrvEnableSurface needs.
VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  DrvDebugPrint("DrvCompletePDEV:");
  reinterpret_cast<PDevice*>(dhpdev)->hDev = hdev;
}

// Called by the engine when a device is replaced by its successor. Every
// setting is fixed at creation, so nothing carries over; never fails.
BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  DrvDebugPrint("DrvResetPDEV: dhpdevOld [%08lx], dhpdevNew [%08lx]", DRV_TRACE_PTR(dhpdevOld),
                DRV_TRACE_PTR(dhpdevNew));
  DrvDebugPrint("DrvResetPDEV: Returning [%d]", TRUE);
  return TRUE;
}

// Called by the engine last for a device, after DrvDisableSurface has
// released the surface and its bitmap. Deletes the device's palette and
// frees the PDevice that DrvEnablePDEV allocated.
VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
  DrvDebugPrint("DrvDisablePDEV: dhpdev [%08lx]", DRV_TRACE_PTR(dhpdev));
  if (dhpdev == nullptr) return;
  FreePDevice(reinterpret_cast<PDevice*>(dhpdev));
}
