// Routines the printer interface's entry points share.
#pragma once

#include "devmode/devmode.h"
#include "driver/driver.h"
#include "ui/printui.h"

#define DRV_UI_DEVMODE_BYTES ((ULONG)sizeof(DrvDevMode))

// The record the graphics driver would build for this printer at device
// creation: the defaults for the name merged with the caller's record when
// there is one. Allocated with DrvAllocPtr; NULL
// (ERROR_NOT_ENOUGH_MEMORY) when no memory is left. The caller frees it.
DrvDevMode* UiNewDevMode(const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller);
// The same into a zero-filled record of the caller's.
void UiBuildDevMode(const WCHAR* pwszPrinterName, const DEVMODEW* pdmCaller,
                    DrvDevMode* lpDrvDevMode);

// A failed sheet call: the error for GetLastError and a result below one.
LONG UiFail(DWORD dwError);

// Adds the page to the sheet at INIT. On success the sheet keeps lpBlock (the
// page's memory, freed at DESTROY) and starts out cancelled; the page's
// handle is the result. On failure lpBlock is freed and the result is NULL.
HANDLE UiAddPage(PPROPSHEETUI_INFO pPSUIInfo, COMPROPSHEETUI* lpCps, PVOID lpBlock);

// Answers one of the property sheet reasons both sheets treat alike:
// the title header, the result, the release. lpState is the sheet's block.
LONG UiAnswerSheetReason(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, const WCHAR* pwszTitle,
                         ULONG_PTR ulIconID);
