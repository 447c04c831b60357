#include "host/property_sheet.h"

#include <string>

namespace host {

namespace {

constexpr DWORD kOptItemFlags = 0x0001FFFF;  // OPTIF_MASK
constexpr BYTE kOptParamFlags = 0x7F;        // OPTPF_MASK
constexpr BYTE kOptTypeFlags = 0x03;         // OPTTF_MASK
constexpr BYTE kLastDMPubID = 21;            // DMPUB_LAST
constexpr BYTE kFirstUserDMPubID = 100;      // DMPUB_USER
constexpr LONG_PTR kFirstPageHandle = 0x5000;

std::u16string_view Text(const WCHAR* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(
                                                       reinterpret_cast<const char16_t*>(text));
}

std::string Narrow(const WCHAR* text) {
  std::string narrow;
  for (char16_t unit : Text(text)) narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
  return narrow;
}

// How many parameters each option type takes: exactly, or at least one.
bool CountFits(BYTE type, WORD count) {
  switch (type) {
    case TVOT_2STATES: return count == 2;
    case TVOT_3STATES: return count == 3;
    case TVOT_UDARROW:
    case TVOT_EDITBOX: return count == 2;
    case TVOT_TRACKBAR:
    case TVOT_SCROLLBAR: return count == 3;
    case TVOT_LISTBOX:
    case TVOT_COMBOBOX: return count >= 1;
    case TVOT_PUSHBUTTON:
    case TVOT_CHKBOX: return count == 1;
    default: return false;
  }
}

bool IsRanged(BYTE type) {
  return type == TVOT_UDARROW || type == TVOT_TRACKBAR || type == TVOT_SCROLLBAR;
}

bool IsChoice(BYTE type) {
  return type == TVOT_2STATES || type == TVOT_3STATES || type == TVOT_LISTBOX ||
         type == TVOT_COMBOBOX;
}

LONG Low(const OPTTYPE& type) { return static_cast<SHORT>(type.pOptParam[1].IconID); }
LONG High(const OPTTYPE& type) { return static_cast<SHORT>(type.pOptParam[1].lParam); }

bool AllZero(const ULONG_PTR* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (values[i] != 0) return false;
  }
  return true;
}

}  // namespace

PropertySheet::PropertySheet(SheetFunction sheet, LPARAM header) : sheet_(sheet) {
  Open(header);
}

PropertySheet::PropertySheet(SheetFunction sheet, LPARAM header, const FaultPlan& faults)
    : sheet_(sheet), faults_(faults) {
  Open(header);
}

// A sheet function must be ready for a DESTROY after an INIT that failed as
// well as for none; the stand-in sends one, where a block freed at the
// failure and again at DESTROY would show.
void PropertySheet::Open(LPARAM header) {
  info_.cbSize = sizeof info_;
  info_.Version = PROPSHEETUI_INFO_VERSION;
  info_.hComPropSheet = reinterpret_cast<HANDLE>(this);
  info_.pfnComPropSheet = &PropertySheet::ComPropSheet;
  info_.lParamInit = header;
  init_result_ = Call(PROPSHEETUI_REASON_INIT, header);
  if (init_result_ <= 0) {
    Call(PROPSHEETUI_REASON_DESTROY, 0);
    return;
  }
  open_ = true;
  info_header_.cbSize = sizeof info_header_;
  info_header_result_ = Call(PROPSHEETUI_REASON_GET_INFO_HEADER,
                             reinterpret_cast<LPARAM>(&info_header_));
  if (info_header_result_ <= 0) Problem("GET_INFO_HEADER failed");
  if (pages_.size() != 1) Problem("INIT added " + std::to_string(pages_.size()) + " pages");
}

PropertySheet::~PropertySheet() {
  if (open_) Close(false);
}

LONG PropertySheet::Call(WORD reason, LPARAM lParam) {
  info_.Reason = reason;
  return sheet_(&info_, lParam);
}

LONG_PTR APIENTRY PropertySheet::ComPropSheet(HANDLE hComPropSheet, UINT function,
                                              LPARAM lParam1, LPARAM lParam2) {
  auto* sheet = reinterpret_cast<PropertySheet*>(hComPropSheet);
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUI:
      return sheet->AddPage(reinterpret_cast<const COMPROPSHEETUI*>(lParam1), lParam2);
    case CPSFUNC_SET_RESULT: return sheet->SetResult(lParam1, lParam2);
    default:
      sheet->Problem("pfnComPropSheet function " + std::to_string(function) + " is not expected");
      return 0;
  }
}

// The sheet refuses a page with the code of the first requirement it
// breaks, and every broken requirement is a problem.
LONG_PTR PropertySheet::AddPage(const COMPROPSHEETUI* cps, LPARAM lParam2) {
  if (faults_.Next()) return ERR_CPSUI_ALLOCMEM_FAILED;
  if (cps == nullptr) {
    Problem("CPSFUNC_ADD_PCOMPROPSHEETUI without a COMPROPSHEETUI");
    return ERR_CPSUI_INVALID_LPARAM;
  }
  size_t before = problems_.size();
  LONG refusal = CheckPage(*cps);
  if (lParam2 != 0) *reinterpret_cast<DWORD*>(lParam2) = refusal == 0 ? 1 : static_cast<DWORD>(-1);
  if (refusal != 0) {
    if (problems_.size() == before) Problem("page refused");
    refused_ = refusal;
    return refusal;
  }
  pages_.push_back({*cps, kFirstPageHandle + static_cast<LONG_PTR>(pages_.size())});
  return pages_.back().handle;
}

LONG_PTR PropertySheet::SetResult(LPARAM page, LPARAM result) {
  if (faults_.Next()) return 0;
  if (pages_.empty() || page != pages_.front().handle) {
    Problem("CPSFUNC_SET_RESULT names no page of this sheet");
    return 0;
  }
  return HandOnResult(result) ? 1 : 0;
}

// The result reaches the sheet function as SET_RESULT, as the sheet hands
// on a page's result.
bool PropertySheet::HandOnResult(LPARAM result) {
  SETRESULT_INFO info{};
  info.cbSize = sizeof info;
  info.hSetResult = reinterpret_cast<HANDLE>(pages_.front().handle);
  info.Result = result;
  if (Call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&info)) <= 0) {
    Problem("SET_RESULT failed");
    return false;
  }
  return true;
}

LONG PropertySheet::Refuse(LONG code, const std::string& text) {
  Problem(text);
  return code;
}

// The documented requirements of COMPROPSHEETUI, each with the code the
// sheet refuses its breach with; the first breach is the answer.
LONG PropertySheet::CheckPage(const COMPROPSHEETUI& cps) {
  if (cps.cbSize != sizeof(COMPROPSHEETUI)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI cbSize");
  }
  if (cps.hInstCaller == nullptr) return Refuse(ERR_CPSUI_NULL_HINST, "COMPROPSHEETUI hInstCaller");
  if (cps.pCallerName == nullptr) {
    return Refuse(ERR_CPSUI_NULL_CALLERNAME, "COMPROPSHEETUI without pCallerName");
  }
  if (cps.cOptItem == 0) return Refuse(ERR_CPSUI_ZERO_OPTITEM, "COMPROPSHEETUI cOptItem 0");
  if (cps.pOptItem == nullptr) return Refuse(ERR_CPSUI_NULL_POPTITEM, "COMPROPSHEETUI pOptItem");
  auto page = reinterpret_cast<uintptr_t>(cps.pDlgPage);
  if (page < 1 || page > 4) {
    return Refuse(ERR_CPSUI_INVALID_PDLGPAGE, "pDlgPage is not one of the sheet's own pages");
  }
  if (!AllZero(cps.dwReserved, 4)) return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI dwReserved");
  unsigned seen_dmpub = 0;
  for (int i = 0; i < cps.cOptItem; ++i) {
    const OPTITEM& item = cps.pOptItem[i];
    if (LONG refusal = CheckItem(item, i); refusal != 0) return refusal;
    if (item.DMPubID != DMPUB_NONE && item.DMPubID <= kLastDMPubID) {
      if (seen_dmpub & (1u << item.DMPubID)) return Refuse(ERR_CPSUI_INVALID_DMPUBID, "DMPubID used twice");
      seen_dmpub |= 1u << item.DMPubID;
    }
  }
  return 0;
}

LONG PropertySheet::CheckItem(const OPTITEM& item, int index) {
  const std::string where = "item " + std::to_string(index) + " (" + Narrow(item.pName) + "): ";
  if (item.cbSize != sizeof(OPTITEM)) return Refuse(ERR_CPSUI_INVALID_OPTITEM_CBSIZE, where + "cbSize");
  if (item.pName == nullptr) return Refuse(ERR_CPSUI_NULL_OPTITEMNAME, where + "no pName");
  if ((item.Flags & ~kOptItemFlags) != 0) return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "unknown Flags");
  if (!AllZero(item.dwReserved, 3) || item.wReserved != 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "reserved fields");
  }
  if (item.DMPubID > kLastDMPubID && item.DMPubID < kFirstUserDMPubID) {
    return Refuse(ERR_CPSUI_INVALID_DMPUBID, where + "DMPubID");
  }
  const OPTTYPE* type = item.pOptType;
  if (type == nullptr) return Refuse(ERR_CPSUI_INVALID_TVOT_TYPE, where + "no pOptType");
  if (type->cbSize != sizeof(OPTTYPE)) return Refuse(ERR_CPSUI_INVALID_OPTTYPE_CBSIZE, where + "OPTTYPE cbSize");
  if (type->Type > TVOT_COMBOBOX) return Refuse(ERR_CPSUI_INVALID_TVOT_TYPE, where + "OPTTYPE Type");
  if ((type->Flags & ~kOptTypeFlags) != 0) return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTTYPE Flags");
  if (!AllZero(type->dwReserved, 3)) return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTTYPE dwReserved");
  if (!CountFits(type->Type, type->Count)) {
    return Refuse(ERR_CPSUI_INVALID_OPTTYPE_COUNT,
                  where + "Count " + std::to_string(type->Count) + " does not fit its Type");
  }
  if (type->pOptParam == nullptr) return Refuse(ERR_CPSUI_NULL_POPTPARAM, where + "no pOptParam");
  for (int p = 0; p < type->Count; ++p) {
    const OPTPARAM& param = type->pOptParam[p];
    if (param.cbSize != sizeof(OPTPARAM)) return Refuse(ERR_CPSUI_INVALID_OPTPARAM_CBSIZE, where + "OPTPARAM cbSize");
    if ((param.Flags & ~kOptParamFlags) != 0) return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTPARAM Flags");
    if (!AllZero(param.dwReserved, 2)) return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTPARAM dwReserved");
    if (IsChoice(type->Type) && param.pData == nullptr) {
      return Refuse(ERR_CPSUI_INVALID_PDATA, where + "a choice without text");
    }
  }
  if (item.DMPubID == DMPUB_ORIENTATION && type->Type != TVOT_2STATES &&
      type->Type != TVOT_3STATES) {
    return Refuse(ERR_CPSUI_INVALID_DMPUB_TVOT, where + "orientation must be a states item");
  }
  if (item.DMPubID == DMPUB_COPIES_COLLATE && type->Type != TVOT_UDARROW) {
    return Refuse(ERR_CPSUI_INVALID_DMPUB_TVOT, where + "copies must be an up-down item");
  }
  if (IsRanged(type->Type)) {
    if (Low(*type) > High(*type)) return Refuse(ERR_CPSUI_CREATE_UDARROW_FAILED, where + "range low above high");
    if (item.Sel < Low(*type) || item.Sel > High(*type)) {
      return Refuse(ERR_CPSUI_CREATE_UDARROW_FAILED, where + "Sel outside its range");
    }
  } else if (IsChoice(type->Type) && (item.Sel < 0 || item.Sel >= type->Count)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "Sel outside its choices");
  }
  return 0;
}

OPTITEM* PropertySheet::Item(std::u16string_view name) const {
  if (pages_.empty()) return nullptr;
  const COMPROPSHEETUI& cps = pages_.front().cps;
  for (int i = 0; i < cps.cOptItem; ++i) {
    if (Text(cps.pOptItem[i].pName) == name) return &cps.pOptItem[i];
  }
  return nullptr;
}

std::vector<std::u16string> PropertySheet::Choices(std::u16string_view name) const {
  std::vector<std::u16string> choices;
  const OPTITEM* item = Item(name);
  if (item == nullptr || !IsChoice(item->pOptType->Type)) return choices;
  for (int p = 0; p < item->pOptType->Count; ++p) {
    choices.emplace_back(Text(item->pOptType->pOptParam[p].pData));
  }
  return choices;
}

// A user can change an item only where the sheet lets them; a change of an
// item that asks for it reaches the page's callback at once.
bool PropertySheet::Choose(OPTITEM* item, LONG sel) {
  const DWORD locked = OPTIF_DISABLED | OPTIF_HIDE;
  if (item == nullptr || (item->Flags & locked) != 0 ||
      (item->pOptType->Flags & OPTTF_TYPE_DISABLED) != 0) {
    return false;
  }
  LONG old = item->Sel;
  item->Sel = sel;
  item->Flags |= OPTIF_CHANGED;
  const COMPROPSHEETUI& cps = pages_.front().cps;
  if ((item->Flags & OPTIF_CALLBACK) != 0 && cps.pfnCallBack != nullptr) {
    CPSUICBPARAM param{};
    param.cbSize = sizeof param;
    param.Reason = CPSUICB_REASON_SEL_CHANGED;
    param.pOptItem = cps.pOptItem;
    param.cOptItem = cps.cOptItem;
    param.pCurItem = item;
    param.OldSel = old;
    param.UserData = cps.UserData;
    cps.pfnCallBack(&param);
  }
  return true;
}

bool PropertySheet::Pick(std::u16string_view name, std::u16string_view choice) {
  OPTITEM* item = Item(name);
  if (item == nullptr || !IsChoice(item->pOptType->Type)) return false;
  for (int p = 0; p < item->pOptType->Count; ++p) {
    const OPTPARAM& param = item->pOptType->pOptParam[p];
    if (Text(param.pData) == choice) {
      return (param.Flags & (OPTPF_DISABLED | OPTPF_HIDE)) == 0 && Choose(item, p);
    }
  }
  return false;
}

bool PropertySheet::Enter(std::u16string_view name, LONG value) {
  OPTITEM* item = Item(name);
  if (item == nullptr || !IsRanged(item->pOptType->Type)) return false;
  if (value < Low(*item->pOptType) || value > High(*item->pOptType)) return false;
  return Choose(item, value);
}

ULONG_PTR PropertySheet::Apply() {
  if (!open_ || pages_.empty()) return Close(true);
  const COMPROPSHEETUI& cps = pages_.front().cps;
  if (cps.pfnCallBack == nullptr) {
    // A page without a callback has nothing to apply: OK is its result.
    HandOnResult(CPSUI_OK);
    return Close(true);
  }
  CPSUICBPARAM param{};
  param.cbSize = sizeof param;
  param.Reason = CPSUICB_REASON_APPLYNOW;
  param.pOptItem = cps.pOptItem;
  param.cOptItem = cps.cOptItem;
  param.pCurItem = cps.pOptItem;
  param.UserData = cps.UserData;
  param.Result = CPSUI_OK;
  LONG action = cps.pfnCallBack(&param);
  if (action != CPSUICB_ACTION_ITEMS_APPLIED && action != CPSUICB_ACTION_NONE) {
    Problem("APPLYNOW answered action " + std::to_string(action));
  }
  // The callback's Result is the page's result, which the sheet hands on.
  if (open_) HandOnResult(static_cast<LPARAM>(param.Result));
  return Close(true);
}

ULONG_PTR PropertySheet::Cancel() { return Close(true); }

// DESTROY says whether the user closed the sheet with OK or Cancel (nonzero)
// or it closed otherwise (zero).
ULONG_PTR PropertySheet::Close(bool by_button) {
  if (open_ && Call(PROPSHEETUI_REASON_DESTROY, by_button ? 1 : 0) <= 0) {
    Problem("DESTROY failed");
  }
  open_ = false;
  pages_.clear();
  return info_.Result;
}

}  // namespace host
