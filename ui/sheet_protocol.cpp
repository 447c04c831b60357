// What both property sheets do alike in the common property sheet's
// protocol: owning their block, adding their page, failing, and the
// reasons after INIT.
#include "ui/ui.h"

#if defined(TEXTRELAY_WINDDI)
// The linker's symbol at the image's first byte, which is what an instance
// handle is.
extern "C" IMAGE_DOS_HEADER __ImageBase;
#define DRV_UI_IMAGE_BASE (&__ImageBase)
#else
// The linker's symbol at the start of the program the code is linked into.
extern "C" char __executable_start;
#define DRV_UI_IMAGE_BASE (&__executable_start)
#endif

LONG UiFail(DWORD dwError) {
  SetLastError(dwError);
  return ERR_CPSUI_GETLASTERROR;
}

BOOL UiTakesRecord(const DEVMODEW* pdmCaller) {
  return pdmCaller == nullptr || pdmCaller->dmSize >= offsetof(DEVMODEW, dmFields);
}

HINSTANCE UiInstance() { return reinterpret_cast<HINSTANCE>(DRV_UI_IMAGE_BASE); }

namespace {

void CloseSheet(PPROPSHEETUI_INFO pPSUIInfo) {
  if (pPSUIInfo->UserData == 0) return;
  DrvFreePtr(reinterpret_cast<PVOID>(pPSUIInfo->UserData));
  pPSUIInfo->UserData = 0;
}

// The sheet answers a page it refuses with one of its ERR_CPSUI_* codes,
// which is passed on.
LONG AddPage(PPROPSHEETUI_INFO pPSUIInfo, COMPROPSHEETUI* lpCps) {
  LONG_PTR lPage = pPSUIInfo->pfnComPropSheet(pPSUIInfo->hComPropSheet,
                                              CPSFUNC_ADD_PCOMPROPSHEETUI,
                                              reinterpret_cast<LPARAM>(lpCps), 0);
  if (lPage > 0) return 1;
  return lPage < 0 ? static_cast<LONG>(lPage) : ERR_CPSUI_INTERNAL_ERROR;
}

}  // namespace

LONG UiOpenSheet(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, ULONG cbBlock,
                 UiPageBuilder pfnBuild) {
  PVOID lpBlock = DrvAllocPtr(cbBlock);
  if (lpBlock == nullptr) return UiFail(ERROR_NOT_ENOUGH_MEMORY);
  pPSUIInfo->UserData = reinterpret_cast<ULONG_PTR>(lpBlock);
  COMPROPSHEETUI* lpCps = pfnBuild(lpBlock, lParam);
  LONG lResult = lpCps != nullptr ? AddPage(pPSUIInfo, lpCps) : ERR_CPSUI_GETLASTERROR;
  if (lResult <= 0) CloseSheet(pPSUIInfo);
  return lResult;
}

LONG UiAnswerSheetReason(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, const WCHAR* pwszTitle,
                         ULONG_PTR ulIconID) {
  switch (pPSUIInfo->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      PPROPSHEETUI_INFO_HEADER lpHeader = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      if (lpHeader == nullptr || lpHeader->cbSize < sizeof(PROPSHEETUI_INFO_HEADER)) return 0;
      lpHeader->Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
      lpHeader->pTitle = const_cast<WCHAR*>(pwszTitle);
      lpHeader->hInst = UiInstance();
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
      // A sheet whose INIT failed has no block left.
      CloseSheet(pPSUIInfo);
      return 1;
    default:
      // GET_ICON and any later reason: nothing of ours to add.
      return 0;
  }
}
