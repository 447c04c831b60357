// The published offsets and sizes the driver relies on, exact on the
// platform's 32-bit and 64-bit x86 layouts: on x86-64 pointers and handles
// are 8 bytes and aligned to 8, ULONG and LONG stay 4.
#pragma once

static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW is 92 bytes");
static_assert(offsetof(GDIINFO, ulPanningVertRes) == 260,
              "GDIINFO ends its first 264 bytes with ulPanningVertRes");
static_assert(offsetof(GDIINFO, ciDevice) == 108, "GDIINFO ciDevice at 108");
static_assert(sizeof(COLORINFO) == 120, "COLORINFO is 120 bytes");
static_assert(offsetof(DEVMODEW, dmFields) == 72, "DEVMODEW dmFields at 72");
static_assert(offsetof(DEVMODEW, dmOrientation) == 76, "dmOrientation at 76");
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90, "dmPrintQuality at 90");
static_assert(offsetof(DEVMODEW, dmTTOption) == 98, "dmTTOption at 98");
static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW of version 0x0401 is 220 bytes");
static_assert(offsetof(DEVINFO, lfDefaultFont) == 4, "DEVINFO fonts at 4");
static_assert(offsetof(DEVINFO, cFonts) == 280, "DEVINFO cFonts at 280");
static_assert(offsetof(DEVINFO, cxDither) == 288, "DEVINFO cxDither at 288");

#if defined(__i386__)
static_assert(offsetof(DEVINFO, hpalDefault) == 292, "hpalDefault at 292");
static_assert(sizeof(DRVENABLEDATA) == 12, "DRVENABLEDATA is 12 bytes");
static_assert(sizeof(DRVFN) == 8, "DRVFN is 8 bytes");
static_assert(sizeof(STROBJ) == 36, "STROBJ is 36 bytes");
static_assert(sizeof(GLYPHPOS) == 16, "GLYPHPOS is 16 bytes");
static_assert(offsetof(SURFOBJ, dhpdev) == 8, "SURFOBJ dhpdev at 8");
#elif defined(__x86_64__)
static_assert(offsetof(DEVINFO, hpalDefault) == 296, "hpalDefault at 296");
static_assert(sizeof(DRVENABLEDATA) == 16, "DRVENABLEDATA is 16 bytes");
static_assert(sizeof(DRVFN) == 16, "DRVFN is 16 bytes");
static_assert(sizeof(STROBJ) == 48, "STROBJ is 48 bytes");
static_assert(sizeof(GLYPHPOS) == 24, "GLYPHPOS is 24 bytes");
static_assert(offsetof(SURFOBJ, dhpdev) == 16, "SURFOBJ dhpdev at 16");
#endif

// How much of the engine's GDIINFO and DEVINFO the driver writes.
#define DRV_GDIINFO_BYTES ((ULONG)(offsetof(GDIINFO, ulPanningVertRes) + sizeof(ULONG)))
#define DRV_DEVINFO_BYTES ((ULONG)(offsetof(DEVINFO, hpalDefault) + sizeof(HPALETTE)))
