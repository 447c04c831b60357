#include "driver/driver.h"
#include "pdev/pdev.h"

// The device is assembled here and copied out. The device name is never
// written here, so it stays zero for the driver's life.
static PDevice gPDevice;

// 254 tenths of a millimetre make an inch; adding half of it rounds to the
// nearest pixel.
#define DRV_TENTHS_MM_PER_INCH 254

// 16-bit sizes and resolution keep the products in signed 32 bits and the
// pixel counts far below the rounding limit; only the bitmap's byte count
// can outgrow 32 bits.
static_assert(32767L * 32767L + DRV_TENTHS_MM_PER_INCH / 2 <= 0x7FFFFFFFL,
              "paper size times resolution fits in LONG");

static LONG PaperPixels(SHORT sTenthsMm, SHORT sDpi) {
  return (static_cast<LONG>(sTenthsMm) * sDpi + DRV_TENTHS_MM_PER_INCH / 2) /
         DRV_TENTHS_MM_PER_INCH;
}

static DWORD RoundUpTo32(DWORD dwPixels) { return (dwPixels + 31) & ~static_cast<DWORD>(31); }

// Paper and oriented sizes. FALSE, with the value traced, when the
// resolution or a paper size cannot give a page of at least one pixel.
static BOOL SetPageSize(const DrvDevMode* lpDrvDevMode) {
  const SHORT sDpi = lpDrvDevMode->dm.dmPrintQuality;
  if (sDpi <= 0) {
    DrvDebugPrint("InitPDevice: dmPrintQuality [%ld] is not positive!", static_cast<LONG>(sDpi));
    return FALSE;
  }
  const LONG lWidth = PaperPixels(lpDrvDevMode->dm.dmPaperWidth, sDpi);
  if (lWidth <= 0) {
    DrvDebugPrint("InitPDevice: dmPaperWidth [%ld] gives no pixel!",
                  static_cast<LONG>(lpDrvDevMode->dm.dmPaperWidth));
    return FALSE;
  }
  const LONG lHeight = PaperPixels(lpDrvDevMode->dm.dmPaperLength, sDpi);
  if (lHeight <= 0) {
    DrvDebugPrint("InitPDevice: dmPaperLength [%ld] gives no pixel!",
                  static_cast<LONG>(lpDrvDevMode->dm.dmPaperLength));
    return FALSE;
  }
  gPDevice.dwPaperWidthPixels = static_cast<DWORD>(lWidth);
  gPDevice.dwPaperHeightPixels = static_cast<DWORD>(lHeight);
  DrvDebugPrint("InitPDevice: dwPaperWidthPixels [%ld], dwPaperHeightPixels [%ld].",
                static_cast<LONG>(gPDevice.dwPaperWidthPixels),
                static_cast<LONG>(gPDevice.dwPaperHeightPixels));
  // The page is reported as the paper lies, whatever the orientation says.
  gPDevice.dwOrientedWidthPixels = gPDevice.dwPaperWidthPixels;
  gPDevice.dwOrientedHeightPixels = gPDevice.dwPaperHeightPixels;
  DrvDebugPrint("InitPDevice: dwOrientedWidthPixels [%ld], dwOrientedHeightPixels [%ld].",
                static_cast<LONG>(gPDevice.dwOrientedWidthPixels),
                static_cast<LONG>(gPDevice.dwOrientedHeightPixels));
  return TRUE;
}

// The 1-bit-per-pixel bitmap behind the surface. FALSE, with the factors
// traced, when its byte count would not fit in 32 bits.
static BOOL SetBitmapSize() {
  gPDevice.dwBitmapWidthPixels = RoundUpTo32(gPDevice.dwOrientedWidthPixels);
  gPDevice.dwBitmapHeightPixels = RoundUpTo32(gPDevice.dwOrientedHeightPixels);
  DrvDebugPrint("InitPDevice: dwBitmapWidthPixels [%ld], dwBitmapHeightPixels [%ld].",
                static_cast<LONG>(gPDevice.dwBitmapWidthPixels),
                static_cast<LONG>(gPDevice.dwBitmapHeightPixels));
  gPDevice.dwBytesPerBitmapRow = gPDevice.dwBitmapWidthPixels >> 3;
  DrvDebugPrint("InitPDevice: dwBytesPerBitmapRow [%ld].",
                static_cast<LONG>(gPDevice.dwBytesPerBitmapRow));
  // A page of at least one pixel has at least 4 bytes a row.
  if (gPDevice.dwBitmapHeightPixels > 0xFFFFFFFFu / gPDevice.dwBytesPerBitmapRow) {
    DrvDebugPrint(
        "InitPDevice: dwBitmapBytes of [%ld] rows of [%ld] bytes does not fit in 32 bits!",
        static_cast<LONG>(gPDevice.dwBitmapHeightPixels),
        static_cast<LONG>(gPDevice.dwBytesPerBitmapRow));
    return FALSE;
  }
  gPDevice.dwBitmapBytes = gPDevice.dwBitmapHeightPixels * gPDevice.dwBytesPerBitmapRow;
  DrvDebugPrint("InitPDevice: dwBitmapBytes [%ld].", static_cast<LONG>(gPDevice.dwBitmapBytes));
  return TRUE;
}

// Called by DrvEnablePDEV once per device creation, after the device mode
// is built and merged and before InitGDIInfo and InitDevInfo. Fills the
// caller's memory with at most cjPDevice bytes of the device being made: settings,
// geometry and output settings, every handle zero. FALSE, with nothing
// copied, when the device mode cannot make a surface; the caller frees its
// memory.
BOOL InitPDevice(const DrvDevMode* lpDrvDevMode, PDevice* lpPDevice, ULONG cjPDevice) {
  DrvDebugPrint("InitPDevice: lpDrvDevMode [%08lx], lpPDevice [%08lx].",
                DRV_TRACE_PTR(lpDrvDevMode), DRV_TRACE_PTR(lpPDevice));
  const ULONG cjCopy =
      cjPDevice >= sizeof(PDevice) ? static_cast<ULONG>(sizeof(PDevice)) : cjPDevice;
  DrvCopyBytes(&gPDevice.DevMode, lpDrvDevMode, sizeof(DrvDevMode));
  gPDevice.hPrinter = nullptr;
  gPDevice.hDev = nullptr;
  gPDevice.hPalette = nullptr;
  gPDevice.hSurface = nullptr;
  if (!SetPageSize(lpDrvDevMode) || !SetBitmapSize()) {
    DrvDebugPrint("InitPDevice: Returning [%d].", FALSE);
    return FALSE;
  }
  gPDevice.lpBitmapBits = nullptr;
  DrvFillBytes(gPDevice.abReserved, 0, sizeof(gPDevice.abReserved));
  gPDevice.byLineTerminator = lpDrvDevMode->byLineTerminator;
  gPDevice.byFormFeed = lpDrvDevMode->byFormFeed;
  DrvCopyBytes(lpPDevice, &gPDevice, cjCopy);
  DrvDebugPrint("InitPDevice: Returning [%d].", TRUE);
  return TRUE;
}
