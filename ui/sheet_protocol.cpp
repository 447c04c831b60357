// What both property sheets do alike in the common property sheet's
// protocol: adding their page, failing, and the reasons after INIT.
#include "ui/ui.h"

LONG UiFail(DWORD dwError) {
  SetLastError(dwError);
  return ERR_CPSUI_GETLASTERROR;
}

HANDLE UiAddPage(PPROPSHEETUI_INFO pPSUIInfo, COMPROPSHEETUI* lpCps, PVOID lpBlock) {
  DWORD dwAdded = 0;
  LONG_PTR lPage = pPSUIInfo->pfnComPropSheet(pPSUIInfo->hComPropSheet,
                                              CPSFUNC_ADD_PCOMPROPSHEETUI,
                                              reinterpret_cast<LPARAM>(lpCps),
                                              reinterpret_cast<LPARAM>(&dwAdded));
  if (lPage <= 0) {
    DrvFreePtr(lpBlock);
    return nullptr;
  }
  pPSUIInfo->UserData = reinterpret_cast<ULONG_PTR>(lpBlock);
  pPSUIInfo->Result = CPSUI_CANCEL;
  return reinterpret_cast<HANDLE>(lPage);
}

// Both sheets keep one block from DrvAllocPtr in UserData from INIT on;
// it is freed here at DESTROY, whatever else happened.
LONG UiAnswerSheetReason(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, const WCHAR* pwszTitle,
                         ULONG_PTR ulIconID) {
  switch (pPSUIInfo->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      PPROPSHEETUI_INFO_HEADER lpHeader = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      if (lpHeader == nullptr || lpHeader->cbSize < sizeof(PROPSHEETUI_INFO_HEADER)) return 0;
      lpHeader->Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
      lpHeader->pTitle = const_cast<WCHAR*>(pwszTitle);
      lpHeader->IconID = ulIconID;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT: {
      PSETRESULT_INFO lpResult = reinterpret_cast<PSETRESULT_INFO>(lParam);
      if (lpResult == nullptr) return 0;
      pPSUIInfo->Result = static_cast<ULONG_PTR>(lpResult->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      // A sheet whose INIT failed has no block.
      if (pPSUIInfo->UserData != 0) DrvFreePtr(reinterpret_cast<PVOID>(pPSUIInfo->UserData));
      pPSUIInfo->UserData = 0;
      return 1;
    default:
      // GET_ICON and any later reason: nothing of ours to add.
      return 0;
  }
}
