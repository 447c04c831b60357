// The common property sheet as a printer interface meets it, without a
// screen: it runs a sheet function through the platform's sequence of
// reasons (INIT, GET_INFO_HEADER, then SET_RESULT and DESTROY), takes the
// pages the function adds through pfnComPropSheet, checks each page's option
// tree against the rules of the platform's property sheet, and lets a test
// choose as a user would and then apply or cancel.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/checker/fault_plan.h"
#include "ui/printui.h"

namespace host {

class PropertySheet {
 public:
  using SheetFunction = LONG(APIENTRY*)(PPROPSHEETUI_INFO, LPARAM);

  // Runs INIT with the spooler's header (DOCUMENTPROPERTYHEADER or
  // DEVICEPROPERTYHEADER) and, when it succeeds, GET_INFO_HEADER.
  PropertySheet(SheetFunction sheet, LPARAM header);
  // The same with a fault plan for the calls the sheet answers from INIT on.
  PropertySheet(SheetFunction sheet, LPARAM header, const FaultPlan& faults);
  // A sheet still open is cancelled.
  ~PropertySheet();
  PropertySheet(const PropertySheet&) = delete;
  PropertySheet& operator=(const PropertySheet&) = delete;

  LONG init_result() const { return init_result_; }
  LONG info_header_result() const { return info_header_result_; }
  const PROPSHEETUI_INFO_HEADER& info_header() const { return info_header_; }
  // The one page added, or nullptr.
  const COMPROPSHEETUI* page() const { return pages_.empty() ? nullptr : &pages_.front().cps; }
  // The code the sheet refused the page with (an ERR_CPSUI_* value), or 0.
  LONG refusal() const { return refused_; }
  // Which of the calls the sheet answers (adding a page, setting a result)
  // fail: a refused page answers ERR_CPSUI_ALLOCMEM_FAILED, a refused
  // result 0.
  const FaultPlan& faults() const { return faults_; }
  // What the tree check and the calls found wrong, one line each.
  const std::vector<std::string>& problems() const { return problems_; }

  // The item of that name (as the sheet shows it), or nullptr.
  OPTITEM* Item(std::u16string_view name) const;
  // The text of each choice of a list or states item, in order.
  std::vector<std::u16string> Choices(std::u16string_view item) const;
  // As a user would: false (nothing changed) for an item that is missing,
  // disabled or hidden, or a choice it does not offer.
  bool Pick(std::u16string_view item, std::u16string_view choice);
  bool Enter(std::u16string_view item, LONG value);

  // OK: the page's callback applies, then the sheet closes. Answers the
  // sheet's result as the function set it (CPSUI_OK or CPSUI_CANCEL).
  ULONG_PTR Apply();
  // Cancel: the sheet closes without applying.
  ULONG_PTR Cancel();

 private:
  struct Page {
    COMPROPSHEETUI cps;
    LONG_PTR handle;
  };
  static LONG_PTR APIENTRY ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                                        LPARAM lParam2);
  LONG_PTR AddPage(const COMPROPSHEETUI* cps, LPARAM lParam2);
  LONG_PTR SetResult(LPARAM page, LPARAM result);
  bool HandOnResult(LPARAM result);
  void Open(LPARAM header);
  void Problem(const std::string& text) { problems_.push_back(text); }
  bool Choose(OPTITEM* item, LONG sel);
  LONG Call(WORD reason, LPARAM lParam);
  ULONG_PTR Close(bool by_button);

  SheetFunction sheet_;
  PROPSHEETUI_INFO info_{};
  PROPSHEETUI_INFO_HEADER info_header_{};
  LONG init_result_ = 0;
  LONG info_header_result_ = 0;
  std::vector<Page> pages_;
  std::vector<std::string> problems_;
  bool open_ = false;
  LONG refused_ = 0;
  FaultPlan faults_;
};

}  // namespace host
