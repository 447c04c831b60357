#include "ui/document_items.h"

namespace {


struct ItemShape {
  const WCHAR* pwszName;
  BYTE byType;
  BYTE byDMPubID;
  WORD cParams;
};

// In the order of DocumentItem. Orientation and copies are the platform's
// own items; the rest are this driver's.
constexpr ItemShape kShapes[kDocumentItems] = {
    {DRV_WIDE("Orientation"), TVOT_2STATES, DMPUB_ORIENTATION, 2},
    {DRV_WIDE("Paper width"), TVOT_UDARROW, DMPUB_NONE, 2},
    {DRV_WIDE("Paper length"), TVOT_UDARROW, DMPUB_NONE, 2},
    {DRV_WIDE("Copies"), TVOT_UDARROW, DMPUB_COPIES_COLLATE, 2},
    {DRV_WIDE("Line terminator"), TVOT_LISTBOX, DMPUB_NONE, 4},
    {DRV_WIDE("Form feed at the end of each document"), TVOT_2STATES, DMPUB_NONE, 2},
};

OPTPARAM* AddParam(DocumentItems* lpItems, ULONG* piParam, const WCHAR* pwszText,
                   ULONG_PTR ulIconID, LPARAM lParam) {
  OPTPARAM* lpParam = &lpItems->aParams[(*piParam)++];
  lpParam->cbSize = sizeof(OPTPARAM);
  lpParam->pData = const_cast<WCHAR*>(pwszText);
  lpParam->IconID = ulIconID;
  lpParam->lParam = lParam;
  return lpParam;
}

// The parameters of each item, in the platform's shape for its type: states
// and list entries name a choice each; an up-down control has its units
// first and then its range (low end in IconID, high end in lParam).
void AddParams(DocumentItems* lpItems, ULONG* piParam, int iItem, const DrvDevMode& dm) {
  switch (iItem) {
    case kItemOrientation:
      AddParam(lpItems, piParam, DRV_WIDE("Portrait"), IDI_CPSUI_PORTRAIT, 0);
      AddParam(lpItems, piParam, DRV_WIDE("Landscape"), IDI_CPSUI_LANDSCAPE, 0);
      break;
    case kItemPaperWidth:
      AddParam(lpItems, piParam, DRV_WIDE("0.1 mm"), IDI_CPSUI_GENERIC_OPTION, 0);
      AddParam(lpItems, piParam, nullptr, static_cast<ULONG_PTR>(dm.sMinPaperWidth),
               dm.sMaxPaperWidth);
      break;
    case kItemPaperLength:
      AddParam(lpItems, piParam, DRV_WIDE("0.1 mm"), IDI_CPSUI_GENERIC_OPTION, 0);
      AddParam(lpItems, piParam, nullptr, static_cast<ULONG_PTR>(dm.sMinPaperLength),
               dm.sMaxPaperLength);
      break;
    case kItemCopies:
      AddParam(lpItems, piParam, DRV_WIDE("copies"), IDI_CPSUI_COPY, 0);
      AddParam(lpItems, piParam, nullptr, static_cast<ULONG_PTR>(dm.sMinCopies), dm.sMaxCopies);
      break;
    case kItemLineTerminator:
      AddParam(lpItems, piParam, DRV_WIDE("None"), IDI_CPSUI_GENERIC_ITEM, 0);
      AddParam(lpItems, piParam, DRV_WIDE("CR LF"), IDI_CPSUI_GENERIC_ITEM, 0);
      AddParam(lpItems, piParam, DRV_WIDE("CR"), IDI_CPSUI_GENERIC_ITEM, 0);
      AddParam(lpItems, piParam, DRV_WIDE("LF"), IDI_CPSUI_GENERIC_ITEM, 0);
      break;
    default:
      AddParam(lpItems, piParam, DRV_WIDE("No"), IDI_CPSUI_NO, 0);
      AddParam(lpItems, piParam, DRV_WIDE("Yes"), IDI_CPSUI_YES, 0);
      break;
  }
}

LONG Clamp(LONG lValue, LONG lLow, LONG lHigh) {
  if (lValue < lLow) return lLow;
  return lValue > lHigh ? lHigh : lValue;
}

// The selection that shows the record's value. A value outside what the
// page can offer shows as the nearest choice it has (for the terminator and
// the form feed, the choice that prints the same bytes).
LONG OpenedSel(int iItem, const DrvDevMode& dm) {
  switch (iItem) {
    case kItemOrientation: return dm.dm.dmOrientation == DMORIENT_LANDSCAPE ? 1 : 0;
    case kItemPaperWidth: return Clamp(dm.dm.dmPaperWidth, dm.sMinPaperWidth, dm.sMaxPaperWidth);
    case kItemPaperLength:
      return Clamp(dm.dm.dmPaperLength, dm.sMinPaperLength, dm.sMaxPaperLength);
    case kItemCopies: return Clamp(dm.dm.dmCopies, dm.sMinCopies, dm.sMaxCopies);
    case kItemLineTerminator: return dm.byLineTerminator <= 3 ? dm.byLineTerminator : 0;
    default: return dm.byFormFeed == 1 ? 1 : 0;
  }
}

void WriteSel(int iItem, LONG lSel, DrvDevMode* lpDrvDevMode) {
  switch (iItem) {
    case kItemOrientation:
      lpDrvDevMode->dm.dmOrientation = lSel == 1 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
      break;
    case kItemPaperWidth: lpDrvDevMode->dm.dmPaperWidth = static_cast<SHORT>(lSel); break;
    case kItemPaperLength: lpDrvDevMode->dm.dmPaperLength = static_cast<SHORT>(lSel); break;
    case kItemCopies: lpDrvDevMode->dm.dmCopies = static_cast<SHORT>(lSel); break;
    case kItemLineTerminator: lpDrvDevMode->byLineTerminator = static_cast<BYTE>(lSel); break;
    default: lpDrvDevMode->byFormFeed = static_cast<BYTE>(lSel); break;
  }
}

// The choices the page can offer for an item, so that nothing else is
// written whatever the sheet hands back.
BOOL IsOffered(const DocumentItems& items, int iItem, LONG lSel) {
  const OPTTYPE& type = items.aTypes[iItem];
  if (type.Type != TVOT_UDARROW) return lSel >= 0 && lSel < type.Count;
  return lSel >= static_cast<SHORT>(type.pOptParam[1].IconID) &&
         lSel <= static_cast<SHORT>(type.pOptParam[1].lParam);
}

}  // namespace

void BuildDocumentItems(DocumentItems* lpItems, const DrvDevMode& dm, BOOL bLocked) {
  ULONG iParam = 0;
  for (int i = 0; i < kDocumentItems; ++i) {
    OPTTYPE* lpType = &lpItems->aTypes[i];
    lpType->cbSize = sizeof(OPTTYPE);
    lpType->Type = kShapes[i].byType;
    lpType->Count = kShapes[i].cParams;
    lpType->pOptParam = &lpItems->aParams[iParam];
    AddParams(lpItems, &iParam, i, dm);
    OPTITEM* lpItem = &lpItems->aItems[i];
    lpItem->cbSize = sizeof(OPTITEM);
    lpItem->pName = const_cast<WCHAR*>(kShapes[i].pwszName);
    lpItem->Flags = bLocked ? OPTIF_DISABLED : 0;
    lpItem->pOptType = lpType;
    lpItem->DMPubID = kShapes[i].byDMPubID;
    lpItem->Sel = OpenedSel(i, dm);
    lpItems->alOpened[i] = lpItem->Sel;
  }
}

void ReadDocumentItems(const DocumentItems& items, DrvDevMode* lpDrvDevMode) {
  for (int i = 0; i < kDocumentItems; ++i) {
    LONG lSel = items.aItems[i].Sel;
    if (lSel != items.alOpened[i] && IsOffered(items, i, lSel)) WriteSel(i, lSel, lpDrvDevMode);
  }
}
