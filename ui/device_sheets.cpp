// The printer's properties: what driver this is. The printer's default
// document settings are the spooler's default record, which the document
// page edits; the printer itself has nothing else to set.
#include "ui/ui.h"

#ifndef TEXTRELAY_VERSION
#error "TEXTRELAY_VERSION names the driver's version"
#endif
#define DRV_UI_WIDE_TEXT(s) DRV_WIDE(s)

namespace {

enum DeviceItem { kItemDriver, kItemVersion, kDeviceItems };

struct DeviceSheet {
  OPTITEM aItems[kDeviceItems];
  OPTTYPE aTypes[kDeviceItems];
  OPTPARAM aParams[kDeviceItems];
  COMPROPSHEETUI cps;
};

constexpr const WCHAR* kNames[kDeviceItems] = {DRV_WIDE("Driver"), DRV_WIDE("Version")};
constexpr const WCHAR* kValues[kDeviceItems] = {
    DRV_WIDE("textrelay: text to the printer as raw bytes"),
    DRV_UI_WIDE_TEXT(TEXTRELAY_VERSION)};

// The printer page, from the spooler's header: each item is a one-entry
// list that cannot be changed, read-only text.
COMPROPSHEETUI* BuildPage(PVOID lpBlock, LPARAM lParam) {
  const DEVICEPROPERTYHEADER* lpHeader = reinterpret_cast<const DEVICEPROPERTYHEADER*>(lParam);
  if (lpHeader == nullptr || lpHeader->cbSize < sizeof(DEVICEPROPERTYHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DeviceSheet* lpSheet = static_cast<DeviceSheet*>(lpBlock);
  for (int i = 0; i < kDeviceItems; ++i) {
    OPTPARAM* lpParam = &lpSheet->aParams[i];
    lpParam->cbSize = sizeof(OPTPARAM);
    lpParam->pData = const_cast<WCHAR*>(kValues[i]);
    lpParam->IconID = IDI_CPSUI_PRINTER;
    OPTTYPE* lpType = &lpSheet->aTypes[i];
    lpType->cbSize = sizeof(OPTTYPE);
    lpType->Type = TVOT_LISTBOX;
    lpType->Flags = OPTTF_TYPE_DISABLED;
    lpType->Count = 1;
    lpType->pOptParam = lpParam;
    OPTITEM* lpItem = &lpSheet->aItems[i];
    lpItem->cbSize = sizeof(OPTITEM);
    lpItem->Level = kItemLevel;
    lpItem->Flags = OPTIF_DISABLED;
    lpItem->pName = const_cast<WCHAR*>(kNames[i]);
    lpItem->pOptType = lpType;
    lpItem->Sel = 0;
  }
  COMPROPSHEETUI* lpCps = &lpSheet->cps;
  lpCps->cbSize = sizeof(COMPROPSHEETUI);
  lpCps->hInstCaller = UiInstance();
  lpCps->pCallerName = const_cast<WCHAR*>(DRV_WIDE("textrelay"));
  lpCps->pOptItem = lpSheet->aItems;
  lpCps->pDlgPage = CPSUI_PDLGPAGE_PRINTERPROP;
  lpCps->cOptItem = kDeviceItems;
  lpCps->IconID = IDI_CPSUI_PRINTER;
  lpCps->pOptItemName = const_cast<WCHAR*>(DRV_WIDE("Printer"));
  lpCps->CallerVersion = 0x0100;
  return lpCps;
}

}  // namespace

// Called through the common property sheet only, reason by reason: a
// printer page that shows the driver and its version and changes nothing.
// A positive value for a handled reason; below one with SetLastError for a
// failure.
LONG APIENTRY DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  DrvDebugPrint("DrvDevicePropertySheets: pPSUIInfo [%08lx].", DRV_TRACE_PTR(pPSUIInfo));
  if (pPSUIInfo == nullptr || pPSUIInfo->cbSize < sizeof(PROPSHEETUI_INFO)) {
    return UiFail(ERROR_INVALID_PARAMETER);
  }
  if (pPSUIInfo->Reason == PROPSHEETUI_REASON_INIT) {
    return UiOpenSheet(pPSUIInfo, lParam, sizeof(DeviceSheet), &BuildPage);
  }
  return UiAnswerSheetReason(pPSUIInfo, lParam, DRV_WIDE("Printer Properties"),
                             IDI_CPSUI_PRINTER);
}
