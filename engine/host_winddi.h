// The graphics engine's published records, handles and services, declared
// for builds without the platform's headers. Widths follow the platform:
// ULONG and LONG are 32-bit, WCHAR 16-bit, handles pointer-sized, and the
// engine's calling convention is the platform's: stdcall on 32-bit x86 and
// the platform's own x64 convention on x86-64, so that the linked-in driver,
// the host's services and a loaded DLL of the process's width all agree.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#if defined(__i386__)
#define APIENTRY __attribute__((stdcall))
#elif defined(__x86_64__)
#define APIENTRY __attribute__((ms_abi))
#else
#define APIENTRY
#endif

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t FLONG;
typedef uint32_t MIX;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef char16_t WCHAR;
typedef WCHAR* PWSTR;
typedef WCHAR* LPWSTR;
typedef char CHAR;
typedef CHAR* PCHAR;
typedef CHAR* LPSTR;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef ULONG* PULONG;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef LONG LDECI4;
typedef ULONG HGLYPH;

#define TRUE 1
#define FALSE 0

#define DRV_DECLARE_HANDLE(name) \
  struct name##__ {              \
    int unused;                  \
  };                             \
  typedef struct name##__* name
DRV_DECLARE_HANDLE(HDEV);
DRV_DECLARE_HANDLE(HSURF);
DRV_DECLARE_HANDLE(DHSURF);
DRV_DECLARE_HANDLE(DHPDEV);
DRV_DECLARE_HANDLE(HBITMAP);
DRV_DECLARE_HANDLE(HPALETTE);
#undef DRV_DECLARE_HANDLE

typedef LONG_PTR(APIENTRY* PFN)();

typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;

typedef struct _SIZEL {
  LONG cx;
  LONG cy;
} SIZEL, *PSIZEL;

typedef struct _RECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECTL, *PRECTL;

typedef struct _DRVFN {
  ULONG iFunc;
  PFN pfn;
} DRVFN, *PDRVFN;

typedef struct _DRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

typedef struct _CIECHROMA {
  LDECI4 x;
  LDECI4 y;
  LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
  CIECHROMA Red;
  CIECHROMA Green;
  CIECHROMA Blue;
  CIECHROMA Cyan;
  CIECHROMA Magenta;
  CIECHROMA Yellow;
  CIECHROMA AlignmentWhite;
  LDECI4 RedGamma;
  LDECI4 GreenGamma;
  LDECI4 BlueGamma;
  LDECI4 MagentaInCyanDye;
  LDECI4 YellowInCyanDye;
  LDECI4 CyanInMagentaDye;
  LDECI4 YellowInMagentaDye;
  LDECI4 CyanInYellowDye;
  LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;
  ULONG ulVertSize;
  ULONG ulHorzRes;
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulBltAlignment;
  ULONG ulPanningHorzRes;
  ULONG ulPanningVertRes;
  ULONG xPanningAlignment;
  ULONG yPanningAlignment;
  ULONG cxHTPat;
  ULONG cyHTPat;
  LPBYTE pHTPatA;
  LPBYTE pHTPatB;
  LPBYTE pHTPatC;
  ULONG flShadeBlend;
  ULONG ulPhysicalPixelCharacteristics;
  ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

#define LF_FACESIZE 32

typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW;

typedef struct _DEVINFO {
  FLONG flGraphicsCaps;
  LOGFONTW lfDefaultFont;
  LOGFONTW lfAnsiVarFont;
  LOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
  FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

#define CCHDEVICENAME 32
#define CCHFORMNAME 32

// The printer fields of the public union only: the driver never uses the
// display alternatives that share their bytes.
typedef struct _devicemodeW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;
  SHORT dmPaperWidth;
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW;

typedef struct _SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;
  LONG lDelta;
  ULONG iUniq;
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
} SURFOBJ;

struct _GLYPHDEF;
typedef struct _GLYPHDEF GLYPHDEF;

typedef struct _GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF* pgdf;
  POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef struct _STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;
  LPWSTR pwszOrg;
} STROBJ;

// Drawing records the driver receives but never looks into.
typedef struct _FONTOBJ FONTOBJ;
typedef struct _CLIPOBJ CLIPOBJ;
typedef struct _BRUSHOBJ BRUSHOBJ;

// Driver function indices.
#define INDEX_DrvEnablePDEV 0L
#define INDEX_DrvCompletePDEV 1L
#define INDEX_DrvDisablePDEV 2L
#define INDEX_DrvEnableSurface 3L
#define INDEX_DrvDisableSurface 4L
#define INDEX_DrvResetPDEV 7L
#define INDEX_DrvDitherColor 13L
#define INDEX_DrvTextOut 23L
#define INDEX_DrvSendPage 32L
#define INDEX_DrvStartPage 33L
#define INDEX_DrvEndDoc 34L
#define INDEX_DrvStartDoc 35L
#define INDEX_DrvFree 42L
#define INDEX_LAST 89L

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define GDI_DRIVER_VERSION 0x4000
#define DDI_ERROR 0xFFFFFFFF

#define DT_RASPRINTER 2
#define TC_OP_CHARACTER 0x00000001
#define PRIMARY_ORDER_ABC 0
#define HT_PATSIZE_4x4_M 3
#define HT_FORMAT_1BPP 0
#define HT_FLAG_HAS_BLACK_DYE 0x00000002
#define GCAPS_COLOR_DITHER 0x00000020
#define GCAPS_MONO_DITHER 0x00000400

#define HOOK_TEXTOUT 0x00000008
#define SO_GLYPHINDEX_TEXTOUT 0x00000100
#define BMF_1BPP 1L
#define BMF_TOPDOWN 0x00000001
#define FL_ZERO_MEMORY 0x00000001
#define PAL_INDEXED 0x00000001
#define DCR_HALFTONE 2
#define ED_ABORTDOC 0x00000001

#define DM_SPECVERSION 0x0401
#define DM_ORIENTATION 0x00000001
#define DM_PAPERSIZE 0x00000002
#define DM_PAPERLENGTH 0x00000004
#define DM_PAPERWIDTH 0x00000008
#define DM_SCALE 0x00000010
#define DM_COPIES 0x00000100
#define DM_DEFAULTSOURCE 0x00000200
#define DM_PRINTQUALITY 0x00000400
#define DM_COLOR 0x00000800
#define DM_DUPLEX 0x00001000
#define DM_YRESOLUTION 0x00002000
#define DM_TTOPTION 0x00004000
#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_USER 256
#define DMBIN_TRACTOR 8
#define DMCOLOR_MONOCHROME 1
#define DMDUP_SIMPLEX 1
#define DMTT_BITMAP 1

#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define PROOF_QUALITY 2
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0

// The engine services the driver uses; the host engine implements them.
// The DLL build's layout check declares this whole header inside a
// namespace, beside the platform's own declarations of these services;
// there C linkage would make the two declarations one function.
#if !defined(DRV_HOST_DECLS_NESTED)
extern "C" {
#endif
PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag);
VOID APIENTRY EngFreeMem(PVOID Mem);
BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf,
                              LPDWORD pcWritten);
HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat,
                                 FLONG fl, PVOID pvBits);
BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
BOOL APIENTRY EngDeleteSurface(HSURF hsurf);
HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors,
                                   FLONG flRed, FLONG flGreen, FLONG flBlue);
BOOL APIENTRY EngDeletePalette(HPALETTE hpal);
VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString,
                                     ULONG MaxBytesInMultiByteString,
                                     PULONG BytesInMultiByteString,
                                     PWSTR UnicodeString,
                                     ULONG BytesInUnicodeString);
VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro);
BOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos);
// ap is this build's va_list, which on x86-64 hosts is not the platform's:
// there only the linked-in driver calls it (kernel-mode DLLs are 32-bit).
VOID APIENTRY EngDebugPrint(PCHAR StandardPrefix, PCHAR DebugMessage,
                            va_list ap);
#if !defined(DRV_HOST_DECLS_NESTED)
}
#endif
