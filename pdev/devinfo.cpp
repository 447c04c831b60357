#include "driver/driver.h"
#include "pdev/pdev.h"

// The device has no fonts of its own and lets the engine dither; only the
// palette differs from one device to the next.
static const DEVINFO gDevInfoTemplate = {
    .flGraphicsCaps = GCAPS_COLOR_DITHER | GCAPS_MONO_DITHER,
    .lfDefaultFont = {.lfHeight = 16,
                      .lfWidth = 7,
                      .lfEscapement = 0,
                      .lfOrientation = 0,
                      .lfWeight = FW_BOLD,
                      .lfItalic = 0,
                      .lfUnderline = 0,
                      .lfStrikeOut = 0,
                      .lfCharSet = ANSI_CHARSET,
                      .lfOutPrecision = OUT_DEFAULT_PRECIS,
                      .lfClipPrecision = CLIP_DEFAULT_PRECIS,
                      .lfQuality = DEFAULT_QUALITY,
                      .lfPitchAndFamily = VARIABLE_PITCH | FF_DONTCARE,
                      .lfFaceName = DRV_WIDE("System")},
    .lfAnsiVarFont = {.lfHeight = 12,
                      .lfWidth = 9,
                      .lfEscapement = 0,
                      .lfOrientation = 0,
                      .lfWeight = FW_NORMAL,
                      .lfItalic = 0,
                      .lfUnderline = 0,
                      .lfStrikeOut = 0,
                      .lfCharSet = ANSI_CHARSET,
                      .lfOutPrecision = OUT_DEFAULT_PRECIS,
                      .lfClipPrecision = CLIP_STROKE_PRECIS,
                      .lfQuality = PROOF_QUALITY,
                      .lfPitchAndFamily = VARIABLE_PITCH | FF_DONTCARE,
                      .lfFaceName = DRV_WIDE("MS Sans Serif")},
    .lfAnsiFixFont = {.lfHeight = 12,
                      .lfWidth = 9,
                      .lfEscapement = 0,
                      .lfOrientation = 0,
                      .lfWeight = FW_NORMAL,
                      .lfItalic = 0,
                      .lfUnderline = 0,
                      .lfStrikeOut = 0,
                      .lfCharSet = ANSI_CHARSET,
                      .lfOutPrecision = OUT_DEFAULT_PRECIS,
                      .lfClipPrecision = CLIP_STROKE_PRECIS,
                      .lfQuality = PROOF_QUALITY,
                      .lfPitchAndFamily = FIXED_PITCH | FF_DONTCARE,
                      .lfFaceName = DRV_WIDE("Courier")},
    .cFonts = 0,
    .iDitherFormat = BMF_1BPP,
    .cxDither = 1,
    .cyDither = 1,
    .hpalDefault = nullptr,
    .flGraphicsCaps2 = 0,  // beyond what the engine is given
};

// Black at index 0, white at index 1.
static const ULONG gaulPaletteColors[2] = {0x00000000, 0x00FFFFFF};

// Called by DrvEnablePDEV after InitGDIInfo. Creates the device's palette,
// keeps it in hPalette (DrvDisablePDEV deletes it) and writes at most
// cjDevInfo bytes (never more than DRV_DEVINFO_BYTES) of the DEVINFO into
// the engine's record. Always TRUE: a palette the engine could not create
// is a zero handle, stored like any other.
BOOL InitDevInfo(PDevice* lpPDevice, DEVINFO* lpDevInfo, ULONG cjDevInfo) {
  DrvDebugPrint("InitDevInfo: lpPDevice [%08lx].", DRV_TRACE_PTR(lpPDevice));
  const ULONG cjCopy = cjDevInfo >= DRV_DEVINFO_BYTES ? DRV_DEVINFO_BYTES : cjDevInfo;
  // Assembled on the stack from the template, so that creations on several
  // threads never meet.
  DEVINFO di;
  DrvCopyBytes(&di, &gDevInfoTemplate, sizeof(di));
  const HPALETTE hpal =
      EngCreatePalette(PAL_INDEXED, 2, const_cast<ULONG*>(gaulPaletteColors), 0, 0, 0);
  di.hpalDefault = hpal;
  lpPDevice->hPalette = hpal;
  DrvCopyBytes(lpDevInfo, &di, cjCopy);
  DrvDebugPrint("InitDevInfo: Returning [%d].", TRUE);
  return TRUE;
}
