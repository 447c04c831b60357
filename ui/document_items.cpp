#include "ui/document_items.h"

namespace {

struct Choice {
  const WCHAR* pwszText;
  ULONG_PTR ulIconID;
};

// One item: how the page shows it and which field of the record it edits.
// A states or list item names its choices, the first standing for the
// field's value lFirstValue and each next one for the value after; an
// up-down item names its units and takes its range from the record's own
// limits at cbLow and cbHigh. The platform's own items are named by the
// sheet's own string for them (wSheetName), the driver's by pwszName.
struct ItemRow {
  const WCHAR* pwszName;
  WORD wSheetName;
  BYTE byType;
  BYTE byDMPubID;
  ULONG cbField;
  ULONG cbFieldSize;
  LONG lFirstValue;
  const Choice* pChoices;
  WORD cChoices;
  ULONG cbLow;
  ULONG cbHigh;
};

constexpr Choice kOrientations[] = {{DRV_WIDE("Portrait"), IDI_CPSUI_PORTRAIT},
                                    {DRV_WIDE("Landscape"), IDI_CPSUI_LANDSCAPE}};
constexpr Choice kTenthsOfMillimetre[] = {{DRV_WIDE("0.1 mm"), IDI_CPSUI_GENERIC_OPTION}};
constexpr Choice kCopies[] = {{DRV_WIDE("copies"), IDI_CPSUI_COPY}};
constexpr Choice kTerminators[] = {{DRV_WIDE("None"), IDI_CPSUI_GENERIC_ITEM},
                                   {DRV_WIDE("CR LF"), IDI_CPSUI_GENERIC_ITEM},
                                   {DRV_WIDE("CR"), IDI_CPSUI_GENERIC_ITEM},
                                   {DRV_WIDE("LF"), IDI_CPSUI_GENERIC_ITEM}};
constexpr Choice kNoYes[] = {{DRV_WIDE("No"), IDI_CPSUI_NO}, {DRV_WIDE("Yes"), IDI_CPSUI_YES}};

#define DRV_UI_FIELD(f) offsetof(DrvDevMode, f), sizeof(static_cast<DrvDevMode*>(nullptr)->f)
#define DRV_UI_CHOICES(a) a, static_cast<WORD>(sizeof a / sizeof a[0])
#define DRV_UI_LIMITS(low, high) offsetof(DrvDevMode, low), offsetof(DrvDevMode, high)

// In the order of DocumentItem. Orientation and copies are the platform's
// own items; the rest are this driver's.
constexpr ItemRow kRows[] = {
    {nullptr, IDS_CPSUI_ORIENTATION, TVOT_2STATES, DMPUB_ORIENTATION,
     DRV_UI_FIELD(dm.dmOrientation), DMORIENT_PORTRAIT, DRV_UI_CHOICES(kOrientations), 0, 0},
    {DRV_WIDE("Paper width"), 0, TVOT_UDARROW, DMPUB_NONE, DRV_UI_FIELD(dm.dmPaperWidth), 0,
     DRV_UI_CHOICES(kTenthsOfMillimetre), DRV_UI_LIMITS(sMinPaperWidth, sMaxPaperWidth)},
    {DRV_WIDE("Paper length"), 0, TVOT_UDARROW, DMPUB_NONE, DRV_UI_FIELD(dm.dmPaperLength), 0,
     DRV_UI_CHOICES(kTenthsOfMillimetre), DRV_UI_LIMITS(sMinPaperLength, sMaxPaperLength)},
    {nullptr, IDS_CPSUI_COPIES, TVOT_UDARROW, DMPUB_COPIES_COLLATE, DRV_UI_FIELD(dm.dmCopies),
     0, DRV_UI_CHOICES(kCopies), DRV_UI_LIMITS(sMinCopies, sMaxCopies)},
    {DRV_WIDE("Line terminator"), 0, TVOT_LISTBOX, DMPUB_NONE, DRV_UI_FIELD(byLineTerminator), 0,
     DRV_UI_CHOICES(kTerminators), 0, 0},
    {DRV_WIDE("Form feed at the end of each document"), 0, TVOT_2STATES, DMPUB_NONE,
     DRV_UI_FIELD(byFormFeed), 0, DRV_UI_CHOICES(kNoYes), 0, 0},
};
static_assert(sizeof kRows / sizeof kRows[0] == kDocumentItems, "one row per DocumentItem");

// An up-down item has its units and then its range as parameters.
constexpr WORD ParamCount(const ItemRow& row) {
  return row.byType == TVOT_UDARROW ? 2 : row.cChoices;
}

constexpr ULONG TableParams() {
  ULONG cParams = 0;
  for (const ItemRow& row : kRows) cParams += ParamCount(row);
  return cParams;
}
static_assert(TableParams() == DRV_UI_DOCUMENT_PARAMS, "DocumentItems holds every parameter");

LONG ReadShortOrByte(const DrvDevMode& dm, ULONG cbOffset, ULONG cbSize) {
  const BYTE* lpField = reinterpret_cast<const BYTE*>(&dm) + cbOffset;
  if (cbSize == 1) return *lpField;
  SHORT sValue;
  DrvCopyBytes(&sValue, lpField, sizeof sValue);
  return sValue;
}

void WriteShortOrByte(DrvDevMode* lpDrvDevMode, ULONG cbOffset, ULONG cbSize, LONG lValue) {
  BYTE* lpField = reinterpret_cast<BYTE*>(lpDrvDevMode) + cbOffset;
  if (cbSize == 1) {
    *lpField = static_cast<BYTE>(lValue);
    return;
  }
  SHORT sValue = static_cast<SHORT>(lValue);
  DrvCopyBytes(lpField, &sValue, sizeof sValue);
}

// The record's own limits in order: a record may carry them crossed, and the
// sheet refuses a range whose low end lies above its high end.
void Range(const ItemRow& row, const DrvDevMode& dm, LONG* plLow, LONG* plHigh) {
  LONG lFirst = ReadShortOrByte(dm, row.cbLow, sizeof(SHORT));
  LONG lSecond = ReadShortOrByte(dm, row.cbHigh, sizeof(SHORT));
  *plLow = lFirst < lSecond ? lFirst : lSecond;
  *plHigh = lFirst < lSecond ? lSecond : lFirst;
}

void AddParam(OPTPARAM* lpParam, const WCHAR* pwszText, ULONG_PTR ulIconID, LPARAM lParam) {
  lpParam->cbSize = sizeof(OPTPARAM);
  lpParam->pData = const_cast<WCHAR*>(pwszText);
  lpParam->IconID = ulIconID;
  lpParam->lParam = lParam;
}

// The parameters in the platform's shape for the item's type: states and
// list entries name a choice each; an up-down control has its units first
// and then its range (low end in IconID, high end in lParam).
void AddParams(OPTPARAM* lpParams, const ItemRow& row, const DrvDevMode& dm) {
  for (WORD i = 0; i < row.cChoices; ++i) {
    AddParam(&lpParams[i], row.pChoices[i].pwszText, row.pChoices[i].ulIconID, 0);
  }
  if (row.byType != TVOT_UDARROW) return;
  LONG lLow, lHigh;
  Range(row, dm, &lLow, &lHigh);
  AddParam(&lpParams[1], nullptr, static_cast<ULONG_PTR>(lLow), lHigh);
}

// The selection that shows the record's value. A value outside what the
// page can offer shows as the nearest choice it has (for the terminator and
// the form feed, the choice that prints the same bytes: the first).
LONG OpenedSel(const ItemRow& row, const DrvDevMode& dm) {
  LONG lValue = ReadShortOrByte(dm, row.cbField, row.cbFieldSize);
  if (row.byType == TVOT_UDARROW) {
    LONG lLow, lHigh;
    Range(row, dm, &lLow, &lHigh);
    if (lValue < lLow) return lLow;
    return lValue > lHigh ? lHigh : lValue;
  }
  LONG lSel = lValue - row.lFirstValue;
  return lSel >= 0 && lSel < row.cChoices ? lSel : 0;
}

// A resource identifier in place of a text: the sheet loads its own string.
LPTSTR ItemName(const ItemRow& row) {
  if (row.wSheetName != 0) return reinterpret_cast<LPTSTR>(static_cast<ULONG_PTR>(row.wSheetName));
  return const_cast<WCHAR*>(row.pwszName);
}

// The choices the page can offer for an item, so that nothing else is
// written whatever the sheet hands back.
BOOL IsOffered(const OPTTYPE& type, LONG lSel) {
  if (type.Type != TVOT_UDARROW) return lSel >= 0 && lSel < type.Count;
  return lSel >= static_cast<SHORT>(type.pOptParam[1].IconID) &&
         lSel <= static_cast<SHORT>(type.pOptParam[1].lParam);
}

}  // namespace

void BuildDocumentItems(DocumentItems* lpItems, const DrvDevMode& dm, BOOL bLocked) {
  ULONG iParam = 0;
  for (int i = 0; i < kDocumentItems; ++i) {
    const ItemRow& row = kRows[i];
    OPTTYPE* lpType = &lpItems->aTypes[i];
    lpType->cbSize = sizeof(OPTTYPE);
    lpType->Type = row.byType;
    lpType->Count = ParamCount(row);
    lpType->pOptParam = &lpItems->aParams[iParam];
    AddParams(lpType->pOptParam, row, dm);
    iParam += lpType->Count;
    OPTITEM* lpItem = &lpItems->aItems[i];
    lpItem->cbSize = sizeof(OPTITEM);
    lpItem->Level = kItemLevel;
    lpItem->pName = ItemName(row);
    lpItem->Flags = bLocked ? OPTIF_DISABLED : 0;
    lpItem->pOptType = lpType;
    lpItem->DMPubID = row.byDMPubID;
    lpItem->Sel = OpenedSel(row, dm);
    lpItems->alOpened[i] = lpItem->Sel;
  }
}

void ReadDocumentItems(const DocumentItems& items, DrvDevMode* lpDrvDevMode) {
  for (int i = 0; i < kDocumentItems; ++i) {
    const ItemRow& row = kRows[i];
    LONG lSel = items.aItems[i].Sel;
    if (lSel == items.alOpened[i] || !IsOffered(items.aTypes[i], lSel)) continue;
    LONG lValue = row.byType == TVOT_UDARROW ? lSel : row.lFirstValue + lSel;
    WriteShortOrByte(lpDrvDevMode, row.cbField, row.cbFieldSize, lValue);
  }
}
