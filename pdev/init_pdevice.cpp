#include "driver/driver.h"
#include "pdev/pdev.h"

// The device's page and bitmap, worked out before anything is written; it
// lies in the PDevice as it does here.
struct PageGeometry {
  DWORD dwPaperWidthPixels;
  DWORD dwPaperHeightPixels;
  DWORD dwOrientedWidthPixels;
  DWORD dwOrientedHeightPixels;
  DWORD dwBitmapWidthPixels;
  DWORD dwBitmapHeightPixels;
  DWORD dwBytesPerBitmapRow;
  DWORD dwBitmapBytes;
};
static_assert(offsetof(PDevice, dwBitmapBytes) - offsetof(PDevice, dwPaperWidthPixels) ==
                  offsetof(PageGeometry, dwBitmapBytes),
              "the geometry lies in the PDevice as in PageGeometry");
static_assert(offsetof(PDevice, byFormFeed) == offsetof(PDevice, byLineTerminator) + 1,
              "the output settings are adjacent");

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
static BOOL SetPageSize(const DrvDevMode* lpDrvDevMode, PageGeometry* pg) {
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
  pg->dwPaperWidthPixels = static_cast<DWORD>(lWidth);
  pg->dwPaperHeightPixels = static_cast<DWORD>(lHeight);
  DrvDebugPrint("InitPDevice: dwPaperWidthPixels [%ld], dwPaperHeightPixels [%ld].",
                static_cast<LONG>(pg->dwPaperWidthPixels),
                static_cast<LONG>(pg->dwPaperHeightPixels));
  // The page is reported as the paper lies, whatever the orientation says.
  pg->dwOrientedWidthPixels = pg->dwPaperWidthPixels;
  pg->dwOrientedHeightPixels = pg->dwPaperHeightPixels;
  DrvDebugPrint("InitPDevice: dwOrientedWidthPixels [%ld], dwOrientedHeightPixels [%ld].",
                static_cast<LONG>(pg->dwOrientedWidthPixels),
                static_cast<LONG>(pg->dwOrientedHeightPixels));
  return TRUE;
}

// The 1-bit-per-pixel bitmap behind the surface. FALSE, with the factors
// traced, when its byte count would not fit in 32 bits.
static BOOL SetBitmapSize(PageGeometry* pg) {
  pg->dwBitmapWidthPixels = RoundUpTo32(pg->dwOrientedWidthPixels);
  pg->dwBitmapHeightPixels = RoundUpTo32(pg->dwOrientedHeightPixels);
  DrvDebugPrint("InitPDevice: dwBitmapWidthPixels [%ld], dwBitmapHeightPixels [%ld].",
                static_cast<LONG>(pg->dwBitmapWidthPixels),
                static_cast<LONG>(pg->dwBitmapHeightPixels));
  pg->dwBytesPerBitmapRow = pg->dwBitmapWidthPixels >> 3;
  DrvDebugPrint("InitPDevice: dwBytesPerBitmapRow [%ld].",
                static_cast<LONG>(pg->dwBytesPerBitmapRow));
  // A page of at least one pixel has at least 4 bytes a row.
  if (pg->dwBitmapHeightPixels > 0xFFFFFFFFu / pg->dwBytesPerBitmapRow) {
    DrvDebugPrint(
        "InitPDevice: dwBitmapBytes of [%ld] rows of [%ld] bytes does not fit in 32 bits!",
        static_cast<LONG>(pg->dwBitmapHeightPixels),
        static_cast<LONG>(pg->dwBytesPerBitmapRow));
    return FALSE;
  }
  pg->dwBitmapBytes = pg->dwBitmapHeightPixels * pg->dwBytesPerBitmapRow;
  DrvDebugPrint("InitPDevice: dwBitmapBytes [%ld].", static_cast<LONG>(pg->dwBitmapBytes));
  return TRUE;
}

// Writes the bytes of a part of the record at offset, those that lie
// within the caller's cjPDevice.
static void PutClamped(PDevice* lpPDevice, ULONG cjPDevice, ULONG offset, const void* pv,
                       ULONG cj) {
  if (offset >= cjPDevice) return;
  const ULONG cjRoom = cjPDevice - offset;
  DrvCopyBytes(reinterpret_cast<BYTE*>(lpPDevice) + offset, pv, cj <= cjRoom ? cj : cjRoom);
}

// The record as InitPDevice leaves it: the device mode, then zero but for
// the geometry and the output settings. The device mode may already be the
// device's own; copying a record onto itself changes nothing.
static void WritePDevice(const DrvDevMode* lpDrvDevMode, const PageGeometry* pg,
                         PDevice* lpPDevice, ULONG cjPDevice) {
  const ULONG cjCopy =
      cjPDevice >= sizeof(PDevice) ? static_cast<ULONG>(sizeof(PDevice)) : cjPDevice;
  PutClamped(lpPDevice, cjCopy, 0, lpDrvDevMode, sizeof(DrvDevMode));
  if (cjCopy > sizeof(DrvDevMode)) {
    DrvFillBytes(reinterpret_cast<BYTE*>(lpPDevice) + sizeof(DrvDevMode), 0,
                 cjCopy - static_cast<ULONG>(sizeof(DrvDevMode)));
  }
  PutClamped(lpPDevice, cjCopy, offsetof(PDevice, dwPaperWidthPixels), pg, sizeof(*pg));
  const BYTE abOutput[2] = {lpDrvDevMode->byLineTerminator, lpDrvDevMode->byFormFeed};
  PutClamped(lpPDevice, cjCopy, offsetof(PDevice, byLineTerminator), abOutput, sizeof(abOutput));
}

// Called by DrvEnablePDEV once per device creation, after the device mode
// is built and merged and before InitGDIInfo and InitDevInfo. Fills the
// caller's memory with at most cjPDevice bytes of the device being made:
// settings, geometry and output settings, every handle zero and the name
// empty. The device mode may lie in that memory already. FALSE, with
// nothing written, when the device mode cannot make a surface; the caller
// frees its memory. Uses nothing but its arguments, so creations on
// several threads never meet.
BOOL InitPDevice(const DrvDevMode* lpDrvDevMode, PDevice* lpPDevice, ULONG cjPDevice) {
  DrvDebugPrint("InitPDevice: lpDrvDevMode [%08lx], lpPDevice [%08lx].",
                DRV_TRACE_PTR(lpDrvDevMode), DRV_TRACE_PTR(lpPDevice));
  PageGeometry geometry;
  if (!SetPageSize(lpDrvDevMode, &geometry) || !SetBitmapSize(&geometry)) {
    DrvDebugPrint("InitPDevice: Returning [%d].", FALSE);
    return FALSE;
  }
  WritePDevice(lpDrvDevMode, &geometry, lpPDevice, cjPDevice);
  DrvDebugPrint("InitPDevice: Returning [%d].", TRUE);
  return TRUE;
}
