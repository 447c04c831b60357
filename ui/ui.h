// Routines the printer interface's entry points share.
#pragma once

#include "devmode/devmode.h"
#include "driver/driver.h"
#include "ui/printui.h"

#define DRV_UI_DEVMODE_BYTES ((ULONG)sizeof(DrvDevMode))

// The record an entry point answers for: the defaults for the name merged
// with the caller's record when there is one, else with the print queue's
// own default that the spooler keeps for hPrinter (none without a handle).
// Allocated with DrvAllocPtr; NULL (ERROR_NOT_ENOUGH_MEMORY) when no memory
// is left. The caller frees it.
DrvDevMode* UiNewDevMode(HANDLE hPrinter, const WCHAR* pwszPrinterName,
                         const DEVMODEW* pdmCaller);
// The same into a zero-filled record of the caller's.
void UiBuildDevMode(HANDLE hPrinter, const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller,
                    DrvDevMode* lpDrvDevMode);

// A failed sheet call: the error for GetLastError and a result below one.
LONG UiFail(DWORD dwError);

// A caller's record is taken only when it holds at least the header that
// says what it is (dmSize and dmDriverExtra included); every entry point
// refuses anything shorter with ERROR_INVALID_PARAMETER. NULL is no record
// and is always taken.
BOOL UiTakesRecord(const DEVMODEW* pdmCaller);

// This DLL's instance, for the pages' hInstCaller: the image's own base.
HINSTANCE UiInstance();

// Both pages' items sit directly under the tree's root, the sheet's own
// node (level 0) titled by pOptItemName.
constexpr BYTE kItemLevel = 1;

// Builds a sheet's page inside its block (zero-filled, cbBlock bytes) from
// the spooler's header; NULL with SetLastError when the header is refused.
typedef COMPROPSHEETUI* (*UiPageBuilder)(PVOID lpBlock, LPARAM lParam);

// INIT: allocates the sheet's block, builds its page there and adds the
// page to the sheet. The block is the sheet's from then on and kept in
// UserData until UiAnswerSheetReason frees it at DESTROY; when anything at
// INIT fails, it is freed before the failure is answered. Nothing else
// allocates or frees a sheet's block.
LONG UiOpenSheet(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, ULONG cbBlock,
                 UiPageBuilder pfnBuild);

// Answers one of the property sheet reasons both sheets treat alike:
// the title header, the result, the release.
LONG UiAnswerSheetReason(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, const WCHAR* pwszTitle,
                         ULONG_PTR ulIconID);
