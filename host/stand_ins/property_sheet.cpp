#include "host/stand_ins/property_sheet.h"

#include <string>

#include "host/platform_call.h"
#include "host/stand_ins/option_tree.h"

namespace host {

namespace {

constexpr LONG_PTR kFirstPageHandle = 0x5000;

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
  info_.pfnComPropSheet = PlatformCallable<&PropertySheet::ComPropSheet>();
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
  TreeVerdict verdict = CheckOptionTree(*cps, SheetKindOf(info_.lParamInit));
  if (lParam2 != 0) *reinterpret_cast<DWORD*>(lParam2) = verdict.code == 0 ? 1 : static_cast<DWORD>(-1);
  if (verdict.code != 0) {
    Problem(verdict.problem);
    refused_ = verdict.code;
    return verdict.code;
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

OPTITEM* PropertySheet::Item(std::u16string_view name) const {
  if (pages_.empty()) return nullptr;
  const COMPROPSHEETUI& cps = pages_.front().cps;
  for (int i = 0; i < cps.cOptItem; ++i) {
    if (SheetText(cps.pOptItem[i].pName) == name) return &cps.pOptItem[i];
  }
  return nullptr;
}

std::vector<std::u16string> PropertySheet::Choices(std::u16string_view name) const {
  std::vector<std::u16string> choices;
  const OPTITEM* item = Item(name);
  if (item == nullptr || item->pOptType == nullptr || !IsChoiceType(item->pOptType->Type)) {
    return choices;
  }
  for (int p = 0; p < item->pOptType->Count; ++p) {
    choices.emplace_back(SheetText(item->pOptType->pOptParam[p].pData));
  }
  return choices;
}

// A user can change an item only where the sheet lets them; a change of an
// item that asks for it reaches the page's callback at once.
bool PropertySheet::Choose(OPTITEM* item, LONG sel) {
  const DWORD locked = OPTIF_DISABLED | OPTIF_HIDE;
  if (item == nullptr || item->pOptType == nullptr || (item->Flags & locked) != 0 ||
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
  if (item == nullptr || item->pOptType == nullptr || !IsChoiceType(item->pOptType->Type)) {
    return false;
  }
  for (int p = 0; p < item->pOptType->Count; ++p) {
    const OPTPARAM& param = item->pOptType->pOptParam[p];
    if (SheetText(param.pData) == choice) {
      return (param.Flags & (OPTPF_DISABLED | OPTPF_HIDE)) == 0 && Choose(item, p);
    }
  }
  return false;
}

bool PropertySheet::Enter(std::u16string_view name, LONG value) {
  OPTITEM* item = Item(name);
  if (item == nullptr || item->pOptType == nullptr || !IsRangedType(item->pOptType->Type)) {
    return false;
  }
  if (value < RangeLow(*item->pOptType) || value > RangeHigh(*item->pOptType)) return false;
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
