// Compile-time proof that the host declarations of the printer interface
// (ui/host_printui.h) describe the same records, constants and entry points
// as the platform's headers in their Unicode build, on the platform's own
// layout, 32-bit or 64-bit x86. It emits no code.
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <winspool.h>
#include <compstui.h>
#include <winddiui.h>
#include <winddiui_more.h>

#include "ui_host_constants.h"

#define DRV_KEEP_VALUE(name) constexpr long long v_##name = static_cast<long long>(name);

namespace platform_value {
DRV_UI_HOST_CONSTANTS(DRV_KEEP_VALUE)
}

// The host headers define the platform's names: their macros must not be
// read as redefinitions of the platform's.
#pragma push_macro("VOID")
#pragma push_macro("APIENTRY")
#undef VOID
#undef APIENTRY
#include "host_constants_undef.h"
#include "ui_host_constants_undef.h"
#define DRV_HOST_DECLS_NESTED
namespace hostdecl {
#include "engine/host_winddi.h"
#include "ui/host_printui.h"
DRV_UI_HOST_CONSTANTS(DRV_KEEP_VALUE)
}  // namespace hostdecl
#pragma pop_macro("APIENTRY")
#pragma pop_macro("VOID")

#define DRV_SAME_CONSTANT(name)                                              \
  static_assert(hostdecl::v_##name == platform_value::v_##name,             \
                "host constant " #name " differs from the platform's");
DRV_UI_HOST_CONSTANTS(DRV_SAME_CONSTANT)

#include "layout_compare.h"

#define DRV_POINT(F) F(POINT, x) F(POINT, y)
#define DRV_DOCUMENTPROPERTYHEADER(F)                                        \
  F(DOCUMENTPROPERTYHEADER, cbSize) F(DOCUMENTPROPERTYHEADER, Reserved)      \
  F(DOCUMENTPROPERTYHEADER, hPrinter) F(DOCUMENTPROPERTYHEADER, pszPrinterName) \
  F(DOCUMENTPROPERTYHEADER, pdmIn) F(DOCUMENTPROPERTYHEADER, pdmOut)         \
  F(DOCUMENTPROPERTYHEADER, cbOut) F(DOCUMENTPROPERTYHEADER, fMode)
#define DRV_DEVICEPROPERTYHEADER(F)                                          \
  F(DEVICEPROPERTYHEADER, cbSize) F(DEVICEPROPERTYHEADER, Flags)             \
  F(DEVICEPROPERTYHEADER, hPrinter) F(DEVICEPROPERTYHEADER, pszPrinterName)
#define DRV_DEVQUERYPRINT_INFO(F)                                            \
  F(DEVQUERYPRINT_INFO, cbSize) F(DEVQUERYPRINT_INFO, Level)                 \
  F(DEVQUERYPRINT_INFO, hPrinter) F(DEVQUERYPRINT_INFO, pDevMode)            \
  F(DEVQUERYPRINT_INFO, pszErrorStr) F(DEVQUERYPRINT_INFO, cchErrorStr)      \
  F(DEVQUERYPRINT_INFO, cchNeeded)
#define DRV_OPTPARAM(F)                                                      \
  F(OPTPARAM, cbSize) F(OPTPARAM, Flags) F(OPTPARAM, Style) F(OPTPARAM, pData) \
  F(OPTPARAM, IconID) F(OPTPARAM, lParam) F(OPTPARAM, dwReserved)
#define DRV_OPTTYPE(F)                                                       \
  F(OPTTYPE, cbSize) F(OPTTYPE, Type) F(OPTTYPE, Flags) F(OPTTYPE, Count)    \
  F(OPTTYPE, BegCtrlID) F(OPTTYPE, pOptParam) F(OPTTYPE, Style)              \
  F(OPTTYPE, wReserved) F(OPTTYPE, dwReserved)
#define DRV_OPTITEM(F)                                                       \
  F(OPTITEM, cbSize) F(OPTITEM, Level) F(OPTITEM, DlgPageIdx) F(OPTITEM, Flags) \
  F(OPTITEM, UserData) F(OPTITEM, pName) F(OPTITEM, Sel) F(OPTITEM, pExtChkBox) \
  F(OPTITEM, pOptType) F(OPTITEM, HelpIndex) F(OPTITEM, DMPubID)             \
  F(OPTITEM, UserItemID) F(OPTITEM, wReserved) F(OPTITEM, pOIExt)            \
  F(OPTITEM, dwReserved)
#define DRV_CPSUICBPARAM(F)                                                  \
  F(CPSUICBPARAM, cbSize) F(CPSUICBPARAM, Reason) F(CPSUICBPARAM, hDlg)      \
  F(CPSUICBPARAM, pOptItem) F(CPSUICBPARAM, cOptItem) F(CPSUICBPARAM, Flags) \
  F(CPSUICBPARAM, pCurItem) F(CPSUICBPARAM, OldSel) F(CPSUICBPARAM, UserData) \
  F(CPSUICBPARAM, Result)
#define DRV_COMPROPSHEETUI(F)                                                \
  F(COMPROPSHEETUI, cbSize) F(COMPROPSHEETUI, Flags)                         \
  F(COMPROPSHEETUI, hInstCaller) F(COMPROPSHEETUI, pCallerName)              \
  F(COMPROPSHEETUI, UserData) F(COMPROPSHEETUI, pHelpFile)                   \
  F(COMPROPSHEETUI, pfnCallBack) F(COMPROPSHEETUI, pOptItem)                 \
  F(COMPROPSHEETUI, pDlgPage) F(COMPROPSHEETUI, cOptItem)                    \
  F(COMPROPSHEETUI, cDlgPage) F(COMPROPSHEETUI, IconID)                      \
  F(COMPROPSHEETUI, pOptItemName) F(COMPROPSHEETUI, CallerVersion)           \
  F(COMPROPSHEETUI, OptItemVersion) F(COMPROPSHEETUI, dwReserved)
#define DRV_SETRESULT_INFO(F)                                                \
  F(SETRESULT_INFO, cbSize) F(SETRESULT_INFO, wReserved)                     \
  F(SETRESULT_INFO, hSetResult) F(SETRESULT_INFO, Result)
#define DRV_PROPSHEETUI_INFO(F)                                              \
  F(PROPSHEETUI_INFO, cbSize) F(PROPSHEETUI_INFO, Version)                   \
  F(PROPSHEETUI_INFO, Flags) F(PROPSHEETUI_INFO, Reason)                     \
  F(PROPSHEETUI_INFO, hComPropSheet) F(PROPSHEETUI_INFO, pfnComPropSheet)    \
  F(PROPSHEETUI_INFO, lParamInit) F(PROPSHEETUI_INFO, UserData)              \
  F(PROPSHEETUI_INFO, Result)
#define DRV_PRINTER_INFO_2W(F)                                               \
  F(PRINTER_INFO_2W, pServerName) F(PRINTER_INFO_2W, pPrinterName)           \
  F(PRINTER_INFO_2W, pShareName) F(PRINTER_INFO_2W, pPortName)               \
  F(PRINTER_INFO_2W, pDriverName) F(PRINTER_INFO_2W, pComment)               \
  F(PRINTER_INFO_2W, pLocation) F(PRINTER_INFO_2W, pDevMode)                 \
  F(PRINTER_INFO_2W, pSepFile) F(PRINTER_INFO_2W, pPrintProcessor)           \
  F(PRINTER_INFO_2W, pDatatype) F(PRINTER_INFO_2W, pParameters)              \
  F(PRINTER_INFO_2W, pSecurityDescriptor) F(PRINTER_INFO_2W, Attributes)     \
  F(PRINTER_INFO_2W, Priority) F(PRINTER_INFO_2W, DefaultPriority)           \
  F(PRINTER_INFO_2W, StartTime) F(PRINTER_INFO_2W, UntilTime)                \
  F(PRINTER_INFO_2W, Status) F(PRINTER_INFO_2W, cJobs) F(PRINTER_INFO_2W, AveragePPM)
#define DRV_PRINTER_INFO_9W(F) F(PRINTER_INFO_9W, pDevMode)
#define DRV_PROPSHEETUI_INFO_HEADER(F)                                       \
  F(PROPSHEETUI_INFO_HEADER, cbSize) F(PROPSHEETUI_INFO_HEADER, Flags)       \
  F(PROPSHEETUI_INFO_HEADER, pTitle) F(PROPSHEETUI_INFO_HEADER, hWndParent)  \
  F(PROPSHEETUI_INFO_HEADER, hInst) F(PROPSHEETUI_INFO_HEADER, IconID)

DRV_SAME_RECORD(POINT, DRV_POINT)
DRV_SAME_RECORD(DOCUMENTPROPERTYHEADER, DRV_DOCUMENTPROPERTYHEADER)
DRV_SAME_RECORD(DEVICEPROPERTYHEADER, DRV_DEVICEPROPERTYHEADER)
DRV_SAME_RECORD(DEVQUERYPRINT_INFO, DRV_DEVQUERYPRINT_INFO)
DRV_SAME_RECORD(OPTPARAM, DRV_OPTPARAM)
DRV_SAME_RECORD(OPTTYPE, DRV_OPTTYPE)
DRV_SAME_RECORD(OPTITEM, DRV_OPTITEM)
DRV_SAME_RECORD(CPSUICBPARAM, DRV_CPSUICBPARAM)
DRV_SAME_RECORD(COMPROPSHEETUI, DRV_COMPROPSHEETUI)
DRV_SAME_RECORD(SETRESULT_INFO, DRV_SETRESULT_INFO)
DRV_SAME_RECORD(PROPSHEETUI_INFO, DRV_PROPSHEETUI_INFO)
DRV_SAME_RECORD(PROPSHEETUI_INFO_HEADER, DRV_PROPSHEETUI_INFO_HEADER)
DRV_SAME_RECORD(PRINTER_INFO_2W, DRV_PRINTER_INFO_2W)
DRV_SAME_RECORD(PRINTER_INFO_9W, DRV_PRINTER_INFO_9W)

DRV_UI_HOST_SERVICES(DRV_SAME_SERVICE)
