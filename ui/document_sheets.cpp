// The document's properties: the record's size and a copy of it for the
// spooler, and the page on which a user chooses them.
#include "ui/document_items.h"

namespace {

// One open document page: the record it edits, the items that show it,
// and what the apply needs to hand the result back.
struct DocumentSheet {
  DrvDevMode dm;
  DocumentItems items;
  COMPROPSHEETUI cps;
  // The spooler's header: the sheet's lParamInit, which lives as long as
  // the sheet does.
  PDOCUMENTPROPERTYHEADER lpHeader;
};

BOOL HoldsHeader(const DOCUMENTPROPERTYHEADER* lpHeader) {
  return lpHeader != nullptr && lpHeader->cbSize >= sizeof(DOCUMENTPROPERTYHEADER);
}

const DEVMODEW* CallersRecord(const DOCUMENTPROPERTYHEADER& header) {
  return (header.fMode & DM_IN_BUFFER) != 0 ? header.pdmIn : nullptr;
}

// A header the driver can answer, with a caller's record it takes.
BOOL IsAnswerable(const DOCUMENTPROPERTYHEADER* lpHeader) {
  return HoldsHeader(lpHeader) && UiTakesRecord(CallersRecord(*lpHeader));
}

// The record goes out whole or not at all: a part of it would not be valid.
LONG CopyOut(const DrvDevMode& dm, const DOCUMENTPROPERTYHEADER& header) {
  if (header.cbOut < DRV_UI_DEVMODE_BYTES) return UiFail(ERROR_INSUFFICIENT_BUFFER);
  DrvCopyBytes(header.pdmOut, &dm, DRV_UI_DEVMODE_BYTES);
  return CPSUI_OK;
}

// Without a sheet: the size, or the printer's defaults merged with the
// caller's record.
LONG AnswerWithoutSheet(PDOCUMENTPROPERTYHEADER lpHeader) {
  if (!IsAnswerable(lpHeader)) return UiFail(ERROR_INVALID_PARAMETER);
  if (lpHeader->fMode == 0 || lpHeader->pdmOut == nullptr) {
    lpHeader->cbOut = DRV_UI_DEVMODE_BYTES;
    return static_cast<LONG>(DRV_UI_DEVMODE_BYTES);
  }
  DrvDevMode* lpDrvDevMode =
      UiNewDevMode(lpHeader->hPrinter, lpHeader->pszPrinterName, CallersRecord(*lpHeader));
  if (lpDrvDevMode == nullptr) return ERR_CPSUI_GETLASTERROR;
  LONG lResult = (lpHeader->fMode & DM_OUT_BUFFER) != 0 ? CopyOut(*lpDrvDevMode, *lpHeader)
                                                        : CPSUI_OK;
  DrvFreePtr(lpDrvDevMode);
  return lResult;
}

// Apply: the user's choices go into the record and out to the caller. The
// callback's Result is what the sheet hands on as the page's result: OK
// only when the record reached the caller.
LONG APIENTRY OnDocumentItem(PCPSUICBPARAM pCallback) {
  if (pCallback == nullptr || pCallback->Reason != CPSUICB_REASON_APPLYNOW) {
    return CPSUICB_ACTION_NONE;
  }
  DocumentSheet* lpSheet = reinterpret_cast<DocumentSheet*>(pCallback->UserData);
  ReadDocumentItems(lpSheet->items, &lpSheet->dm);
  const DOCUMENTPROPERTYHEADER& header = *lpSheet->lpHeader;
  if ((header.fMode & DM_OUT_BUFFER) != 0 && header.pdmOut != nullptr &&
      CopyOut(lpSheet->dm, header) != CPSUI_OK) {
    pCallback->Result = CPSUI_CANCEL;
    return CPSUICB_ACTION_NONE;
  }
  pCallback->Result = CPSUI_OK;
  return CPSUICB_ACTION_ITEMS_APPLIED;
}

void DescribePage(DocumentSheet* lpSheet) {
  COMPROPSHEETUI* lpCps = &lpSheet->cps;
  lpCps->cbSize = sizeof(COMPROPSHEETUI);
  lpCps->Flags = (lpSheet->lpHeader->fMode & DM_NOPERMISSION) != 0 ? 0 : CPSUIF_UPDATE_PERMISSION;
  lpCps->hInstCaller = UiInstance();
  lpCps->pCallerName = const_cast<WCHAR*>(DRV_WIDE("textrelay"));
  lpCps->UserData = reinterpret_cast<ULONG_PTR>(lpSheet);
  lpCps->pfnCallBack = &OnDocumentItem;
  lpCps->pOptItem = lpSheet->items.aItems;
  // With DM_ADVANCED the caller asks for the advanced page alone.
  lpCps->pDlgPage = (lpSheet->lpHeader->fMode & DM_ADVANCED) != 0 ? CPSUI_PDLGPAGE_ADVDOCPROP
                                                                  : CPSUI_PDLGPAGE_DOCPROP;
  lpCps->cOptItem = kDocumentItems;
  lpCps->IconID = IDI_CPSUI_DOCUMENT;
  lpCps->pOptItemName = const_cast<WCHAR*>(DRV_WIDE("Document settings"));
  lpCps->CallerVersion = 0x0100;
}

// The page is built over the record the spooler's document starts from.
COMPROPSHEETUI* BuildPage(PVOID lpBlock, LPARAM lParam) {
  PDOCUMENTPROPERTYHEADER lpHeader = reinterpret_cast<PDOCUMENTPROPERTYHEADER>(lParam);
  if (!IsAnswerable(lpHeader)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DocumentSheet* lpSheet = static_cast<DocumentSheet*>(lpBlock);
  UiBuildDevMode(lpHeader->hPrinter, lpHeader->pszPrinterName, CallersRecord(*lpHeader),
                 &lpSheet->dm);
  lpSheet->lpHeader = lpHeader;
  BuildDocumentItems(&lpSheet->items, lpSheet->dm, (lpHeader->fMode & DM_NOPERMISSION) != 0);
  DescribePage(lpSheet);
  return &lpSheet->cps;
}

}  // namespace

// Called by the spooler without a sheet (pPSUIInfo NULL: the size, or a copy
// of the printer's defaults merged with the caller's record) and through the
// common property sheet with one (the document page, reason by reason).
// Results: the size; CPSUI_OK; a positive value for a handled reason; below
// one with SetLastError for a failure. pdmOut receives a whole record or
// nothing, and only from a copy request or an apply.
LONG APIENTRY DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  DrvDebugPrint("DrvDocumentPropertySheets: pPSUIInfo [%08lx].", DRV_TRACE_PTR(pPSUIInfo));
  if (pPSUIInfo == nullptr) {
    return AnswerWithoutSheet(reinterpret_cast<PDOCUMENTPROPERTYHEADER>(lParam));
  }
  if (pPSUIInfo->cbSize < sizeof(PROPSHEETUI_INFO)) return UiFail(ERROR_INVALID_PARAMETER);
  if (pPSUIInfo->Reason == PROPSHEETUI_REASON_INIT) {
    return UiOpenSheet(pPSUIInfo, lParam, sizeof(DocumentSheet), &BuildPage);
  }
  return UiAnswerSheetReason(pPSUIInfo, lParam, DRV_WIDE("Document Properties"),
                             IDI_CPSUI_DOCUMENT);
}
