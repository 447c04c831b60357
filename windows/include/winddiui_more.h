// What the printer interface DLL needs of the platform's <winddiui.h> and
// mingw-w64's copy lacks: the headers of the property sheet calls and of the
// print query, their flags, and the entry points' prototypes. Sizes and
// offsets are checked below on the 32-bit build.
#pragma once

#include <stddef.h>
#include <windows.h>
#include <compstui.h>
#include <winddiui.h>

typedef struct _DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPTSTR pszPrinterName;
  PDEVMODE pdmIn;
  PDEVMODE pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;

typedef struct _DEVICEPROPERTYHEADER {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPTSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;

typedef struct _DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

#define DM_ADVANCED 0x10
#define DM_NOPERMISSION 0x20
#define DM_USER_DEFAULT 0x40
#define DPS_NOPERMISSION 0x0001

#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

#ifdef __cplusplus
extern "C" {
#endif
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
BOOL WINAPI DrvConvertDevMode(LPTSTR pPrinterName, PDEVMODE pdmIn, PDEVMODE pdmOut,
                              PLONG pcbNeeded, DWORD fMode);
DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap,
                                   VOID* pvOutput, PDEVMODE pDevMode);
BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo);
#ifdef __cplusplus
}
#endif

#if defined(__i386__)
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 28, "DOCUMENTPROPERTYHEADER is 28 bytes");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, hPrinter) == 4, "");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, pszPrinterName) == 8, "");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, pdmIn) == 12, "");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, pdmOut) == 16, "");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, cbOut) == 20, "");
static_assert(offsetof(DOCUMENTPROPERTYHEADER, fMode) == 24, "");
static_assert(sizeof(DEVICEPROPERTYHEADER) == 12, "DEVICEPROPERTYHEADER is 12 bytes");
static_assert(offsetof(DEVICEPROPERTYHEADER, Flags) == 2, "");
static_assert(offsetof(DEVICEPROPERTYHEADER, hPrinter) == 4, "");
static_assert(offsetof(DEVICEPROPERTYHEADER, pszPrinterName) == 8, "");
static_assert(sizeof(DEVQUERYPRINT_INFO) == 24, "DEVQUERYPRINT_INFO is 24 bytes");
static_assert(offsetof(DEVQUERYPRINT_INFO, hPrinter) == 4, "");
static_assert(offsetof(DEVQUERYPRINT_INFO, pDevMode) == 8, "");
static_assert(offsetof(DEVQUERYPRINT_INFO, pszErrorStr) == 12, "");
static_assert(offsetof(DEVQUERYPRINT_INFO, cchErrorStr) == 16, "");
static_assert(offsetof(DEVQUERYPRINT_INFO, cchNeeded) == 20, "");
#endif
