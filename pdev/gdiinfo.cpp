#include "driver/driver.h"
#include "pdev/pdev.h"

// Chromaticities and dyes of the device, in LDECI4 (value times 10000).
static const COLORINFO gciDevice = {
    {6380, 3350, 0},  // Red
    {2345, 6075, 0},  // Green
    {1410, 932, 0},   // Blue
    {2000, 2450, 0},  // Cyan
    {5210, 2100, 0},  // Magenta
    {4750, 5100, 0},  // Yellow
    {3127, 3290, 0},  // AlignmentWhite
    12500,            // RedGamma
    12500,            // GreenGamma
    12500,            // BlueGamma
    585,              // MagentaInCyanDye
    120,              // YellowInCyanDye
    0,                // CyanInMagentaDye
    0,                // YellowInMagentaDye
    0,                // CyanInYellowDye
    10000,            // MagentaInYellowDye
};

// Page size in millimetres: pixels * 254 / (dpi * 10), unsigned, truncated.
static ULONG PageMillimetres(DWORD dwPixels, ULONG ulDpi) {
  return (dwPixels * 254) / (ulDpi * 10);
}

// Every member the engine reads; pgi starts zeroed, so the rest stay 0.
static void FillGdiInfo(const PDevice* lpPDevice, LONG lDpi, GDIINFO* pgi) {
  const ULONG ulDpi = static_cast<ULONG>(lDpi);
  pgi->ulVersion = GDI_DRIVER_VERSION;
  pgi->ulTechnology = DT_RASPRINTER;
  pgi->ulHorzSize = PageMillimetres(lpPDevice->dwOrientedWidthPixels, ulDpi);
  pgi->ulVertSize = PageMillimetres(lpPDevice->dwOrientedHeightPixels, ulDpi);
  pgi->ulHorzRes = lpPDevice->dwOrientedWidthPixels;
  pgi->ulVertRes = lpPDevice->dwOrientedHeightPixels;
  pgi->cBitsPixel = 1;
  pgi->cPlanes = 1;
  pgi->ulNumColors = 2;
  pgi->flRaster = 0;
  pgi->ulLogPixelsX = ulDpi;
  pgi->ulLogPixelsY = ulDpi;
  pgi->flTextCaps = TC_OP_CHARACTER;
  pgi->ulDACRed = 0;
  pgi->ulDACGreen = 0;
  pgi->ulDACBlue = 0;
  pgi->ulAspectX = 500;
  pgi->ulAspectY = 500;
  pgi->ulAspectXY = 707;
  pgi->xStyleStep = 1;
  pgi->yStyleStep = 1;
  pgi->denStyleStep = (lDpi * 10 + 127) / 254;  // dots per millimetre, rounded
  pgi->ptlPhysOffset.x = 0;
  pgi->ptlPhysOffset.y = 0;
  pgi->szlPhysSize.cx = static_cast<LONG>(lpPDevice->dwOrientedWidthPixels);
  pgi->szlPhysSize.cy = static_cast<LONG>(lpPDevice->dwOrientedHeightPixels);
  pgi->ulNumPalReg = 0;
  pgi->ciDevice = gciDevice;
  pgi->ulDevicePelsDPI = ulDpi;
  pgi->ulPrimaryOrder = PRIMARY_ORDER_ABC;
  pgi->ulHTPatternSize = HT_PATSIZE_4x4_M;
  pgi->ulHTOutputFormat = HT_FORMAT_1BPP;
  pgi->flHTFlags = HT_FLAG_HAS_BLACK_DYE;
  pgi->ulVRefresh = 0;
  pgi->ulBltAlignment = 0;
  pgi->ulPanningHorzRes = 0;
  pgi->ulPanningVertRes = 0;
}

// Called by DrvEnablePDEV after InitPDevice, before InitDevInfo. Writes at
// most cjGdiInfo bytes (never more than DRV_GDIINFO_BYTES) of the device's
// GDIINFO into the engine's record; the PDevice is only read. FALSE, with
// nothing written, for a device whose resolution is not positive, which
// InitPDevice never lets through.
BOOL InitGDIInfo(PDevice* lpPDevice, GDIINFO* lpGdiInfo, ULONG cjGdiInfo) {
  DrvDebugPrint("InitGDIInfo: lpPDevice [%08lx].", DRV_TRACE_PTR(lpPDevice));
  const ULONG cjCopy = cjGdiInfo >= DRV_GDIINFO_BYTES ? DRV_GDIINFO_BYTES : cjGdiInfo;
  const LONG lDpi = lpPDevice->DevMode.dm.dmPrintQuality;
  if (lDpi <= 0) {
    DrvDebugPrint("InitGDIInfo: dmPrintQuality [%ld] is not positive!", lDpi);
    DrvDebugPrint("InitGDIInfo: Returning [%d].", FALSE);
    return FALSE;
  }
  // Assembled on the stack, so that creations on several threads never
  // meet; only its first DRV_GDIINFO_BYTES bytes ever leave.
  GDIINFO gi;
  DrvFillBytes(&gi, 0, sizeof(gi));
  FillGdiInfo(lpPDevice, lDpi, &gi);
  DrvCopyBytes(lpGdiInfo, &gi, cjCopy);
  DrvDebugPrint("InitGDIInfo: Returning [%d].", TRUE);
  return TRUE;
}
