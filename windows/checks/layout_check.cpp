// Compile-time proof that the host declarations of engine/ describe the same
// engine as the platform's <winddi.h>: every record the driver reads or
// writes field by field (offset, size, signedness), every service by calling
// convention and arguments, every constant by value. The host builds are
// only as faithful as these declarations, and this translation unit is
// where the two meet on the platform's own layout, 32-bit or 64-bit x86. It
// emits no code.
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <winddi.h>

#include "host_constants.h"

// The offsets the driver relies on, on the platform's own records.
static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW of version 0x0401 is 220 bytes");
static_assert(offsetof(GDIINFO, ulPanningVertRes) + sizeof(ULONG) == 264,
              "GDIINFO's first 264 bytes end with ulPanningVertRes");
#if defined(__i386__)
static_assert(offsetof(DEVINFO, hpalDefault) == 292, "DEVINFO's hpalDefault is at 292");
#else
static_assert(offsetof(DEVINFO, hpalDefault) == 296,
              "DEVINFO's hpalDefault is at 296 on x86-64, aligned for a handle");
#endif
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW is 92 bytes");

#define DRV_KEEP_VALUE(name) constexpr long long v_##name = static_cast<long long>(name);

namespace platform_value {
DRV_HOST_CONSTANTS(DRV_KEEP_VALUE)
}

// The host header defines the same names as the platform's: its own macros
// must not be read as redefinitions, and its typedef of VOID must not meet
// the platform's macro of that name.
#pragma push_macro("VOID")
#pragma push_macro("APIENTRY")
#undef VOID
#undef APIENTRY
#include "host_constants_undef.h"
#define DRV_HOST_DECLS_NESTED
namespace hostdecl {
#include "engine/host_winddi.h"
DRV_HOST_CONSTANTS(DRV_KEEP_VALUE)
}  // namespace hostdecl
#pragma pop_macro("APIENTRY")
#pragma pop_macro("VOID")

#define DRV_SAME_CONSTANT(name)                                              \
  static_assert(hostdecl::v_##name == platform_value::v_##name,             \
                "host constant " #name " differs from the platform's");
DRV_HOST_CONSTANTS(DRV_SAME_CONSTANT)

#include "layout_compare.h"

#define DRV_POINTL(F) F(POINTL, x) F(POINTL, y)
#define DRV_SIZEL(F) F(SIZEL, cx) F(SIZEL, cy)
#define DRV_RECTL(F) F(RECTL, left) F(RECTL, top) F(RECTL, right) F(RECTL, bottom)
#define DRV_DRVFN(F) F(DRVFN, iFunc) F(DRVFN, pfn)
#define DRV_DRVENABLEDATA(F) \
  F(DRVENABLEDATA, iDriverVersion) F(DRVENABLEDATA, c) F(DRVENABLEDATA, pdrvfn)
#define DRV_CIECHROMA(F) F(CIECHROMA, x) F(CIECHROMA, y) F(CIECHROMA, Y)
#define DRV_COLORINFO(F)                                                     \
  F(COLORINFO, Red) F(COLORINFO, Green) F(COLORINFO, Blue) F(COLORINFO, Cyan) \
  F(COLORINFO, Magenta) F(COLORINFO, Yellow) F(COLORINFO, AlignmentWhite)    \
  F(COLORINFO, RedGamma) F(COLORINFO, GreenGamma) F(COLORINFO, BlueGamma)    \
  F(COLORINFO, MagentaInCyanDye) F(COLORINFO, YellowInCyanDye)               \
  F(COLORINFO, CyanInMagentaDye) F(COLORINFO, YellowInMagentaDye)            \
  F(COLORINFO, CyanInYellowDye) F(COLORINFO, MagentaInYellowDye)
#define DRV_GDIINFO(F)                                                       \
  F(GDIINFO, ulVersion) F(GDIINFO, ulTechnology) F(GDIINFO, ulHorzSize)      \
  F(GDIINFO, ulVertSize) F(GDIINFO, ulHorzRes) F(GDIINFO, ulVertRes)         \
  F(GDIINFO, cBitsPixel) F(GDIINFO, cPlanes) F(GDIINFO, ulNumColors)         \
  F(GDIINFO, flRaster) F(GDIINFO, ulLogPixelsX) F(GDIINFO, ulLogPixelsY)     \
  F(GDIINFO, flTextCaps) F(GDIINFO, ulDACRed) F(GDIINFO, ulDACGreen)         \
  F(GDIINFO, ulDACBlue) F(GDIINFO, ulAspectX) F(GDIINFO, ulAspectY)          \
  F(GDIINFO, ulAspectXY) F(GDIINFO, xStyleStep) F(GDIINFO, yStyleStep)       \
  F(GDIINFO, denStyleStep) F(GDIINFO, ptlPhysOffset) F(GDIINFO, szlPhysSize) \
  F(GDIINFO, ulNumPalReg) F(GDIINFO, ciDevice) F(GDIINFO, ulDevicePelsDPI)   \
  F(GDIINFO, ulPrimaryOrder) F(GDIINFO, ulHTPatternSize)                     \
  F(GDIINFO, ulHTOutputFormat) F(GDIINFO, flHTFlags) F(GDIINFO, ulVRefresh)  \
  F(GDIINFO, ulBltAlignment) F(GDIINFO, ulPanningHorzRes)                    \
  F(GDIINFO, ulPanningVertRes) F(GDIINFO, xPanningAlignment)                 \
  F(GDIINFO, yPanningAlignment) F(GDIINFO, cxHTPat) F(GDIINFO, cyHTPat)      \
  F(GDIINFO, pHTPatA) F(GDIINFO, pHTPatB) F(GDIINFO, pHTPatC)                \
  F(GDIINFO, flShadeBlend) F(GDIINFO, ulPhysicalPixelCharacteristics)        \
  F(GDIINFO, ulPhysicalPixelGamma)
#define DRV_LOGFONTW(F)                                                      \
  F(LOGFONTW, lfHeight) F(LOGFONTW, lfWidth) F(LOGFONTW, lfEscapement)       \
  F(LOGFONTW, lfOrientation) F(LOGFONTW, lfWeight) F(LOGFONTW, lfItalic)     \
  F(LOGFONTW, lfUnderline) F(LOGFONTW, lfStrikeOut) F(LOGFONTW, lfCharSet)   \
  F(LOGFONTW, lfOutPrecision) F(LOGFONTW, lfClipPrecision)                   \
  F(LOGFONTW, lfQuality) F(LOGFONTW, lfPitchAndFamily) F(LOGFONTW, lfFaceName)
#define DRV_DEVINFO(F)                                                       \
  F(DEVINFO, flGraphicsCaps) F(DEVINFO, lfDefaultFont)                       \
  F(DEVINFO, lfAnsiVarFont) F(DEVINFO, lfAnsiFixFont) F(DEVINFO, cFonts)     \
  F(DEVINFO, iDitherFormat) F(DEVINFO, cxDither) F(DEVINFO, cyDither)        \
  F(DEVINFO, hpalDefault) F(DEVINFO, flGraphicsCaps2)
#define DRV_DEVMODEW(F)                                                      \
  F(DEVMODEW, dmDeviceName) F(DEVMODEW, dmSpecVersion)                       \
  F(DEVMODEW, dmDriverVersion) F(DEVMODEW, dmSize) F(DEVMODEW, dmDriverExtra) \
  F(DEVMODEW, dmFields) F(DEVMODEW, dmOrientation) F(DEVMODEW, dmPaperSize)  \
  F(DEVMODEW, dmPaperLength) F(DEVMODEW, dmPaperWidth) F(DEVMODEW, dmScale)  \
  F(DEVMODEW, dmCopies) F(DEVMODEW, dmDefaultSource)                         \
  F(DEVMODEW, dmPrintQuality) F(DEVMODEW, dmColor) F(DEVMODEW, dmDuplex)     \
  F(DEVMODEW, dmYResolution) F(DEVMODEW, dmTTOption) F(DEVMODEW, dmCollate)  \
  F(DEVMODEW, dmFormName) F(DEVMODEW, dmLogPixels) F(DEVMODEW, dmBitsPerPel) \
  F(DEVMODEW, dmPelsWidth) F(DEVMODEW, dmPelsHeight)                         \
  F(DEVMODEW, dmDisplayFlags) F(DEVMODEW, dmDisplayFrequency)                \
  F(DEVMODEW, dmICMMethod) F(DEVMODEW, dmICMIntent) F(DEVMODEW, dmMediaType) \
  F(DEVMODEW, dmDitherType) F(DEVMODEW, dmReserved1) F(DEVMODEW, dmReserved2) \
  F(DEVMODEW, dmPanningWidth) F(DEVMODEW, dmPanningHeight)
#define DRV_SURFOBJ(F)                                                       \
  F(SURFOBJ, dhsurf) F(SURFOBJ, hsurf) F(SURFOBJ, dhpdev) F(SURFOBJ, hdev)   \
  F(SURFOBJ, sizlBitmap) F(SURFOBJ, cjBits) F(SURFOBJ, pvBits)               \
  F(SURFOBJ, pvScan0) F(SURFOBJ, lDelta) F(SURFOBJ, iUniq)                   \
  F(SURFOBJ, iBitmapFormat) F(SURFOBJ, iType) F(SURFOBJ, fjBitmap)
#define DRV_GLYPHPOS(F) F(GLYPHPOS, hg) F(GLYPHPOS, pgdf) F(GLYPHPOS, ptl)
#define DRV_STROBJ(F)                                                        \
  F(STROBJ, cGlyphs) F(STROBJ, flAccel) F(STROBJ, ulCharInc)                 \
  F(STROBJ, rclBkGround) F(STROBJ, pgp) F(STROBJ, pwszOrg)

DRV_SAME_RECORD(POINTL, DRV_POINTL)
DRV_SAME_RECORD(SIZEL, DRV_SIZEL)
DRV_SAME_RECORD(RECTL, DRV_RECTL)
DRV_SAME_RECORD(DRVFN, DRV_DRVFN)
DRV_SAME_RECORD(DRVENABLEDATA, DRV_DRVENABLEDATA)
DRV_SAME_RECORD(CIECHROMA, DRV_CIECHROMA)
DRV_SAME_RECORD(COLORINFO, DRV_COLORINFO)
DRV_SAME_RECORD(GDIINFO, DRV_GDIINFO)
DRV_SAME_RECORD(LOGFONTW, DRV_LOGFONTW)
DRV_SAME_RECORD(DEVINFO, DRV_DEVINFO)
DRV_SAME_RECORD(DEVMODEW, DRV_DEVMODEW)
DRV_SAME_RECORD(SURFOBJ, DRV_SURFOBJ)
DRV_SAME_RECORD(GLYPHPOS, DRV_GLYPHPOS)
DRV_SAME_RECORD(STROBJ, DRV_STROBJ)

DRV_HOST_SERVICES(DRV_SAME_SERVICE)
