// The common property sheet's rules for a page it is asked to add: the
// COMPROPSHEETUI, its OPTITEM tree, each item's OPTTYPE and OPTPARAMs, and
// the standard items that stand for fields of the public DEVMODEW.
#pragma once

#include <string>
#include <string_view>

#include "ui/printui.h"

namespace host {

// The first requirement a page breaks: the code the sheet refuses the page
// with (an ERR_CPSUI_* value) and what is wrong; code 0 when it is taken.
struct TreeVerdict {
  LONG code = 0;
  std::string problem;
};

// Which printer interface function the sheet runs, as its header tells:
// the predefined document pages are for the document sheet only, the
// printer page for the printer sheet only.
enum class SheetKind { kUnknown, kDocument, kDevice };
SheetKind SheetKindOf(LPARAM header);

TreeVerdict CheckOptionTree(const COMPROPSHEETUI& cps, SheetKind kind);

// What the sheet shows for a name or a choice's pData: the text itself, or
// for one of the sheet's own string identifiers (a pointer below 0x10000)
// the sheet's string; empty for NULL or an identifier it does not know.
std::u16string_view SheetText(const WCHAR* text);

bool IsRangedType(BYTE type);
bool IsChoiceType(BYTE type);

// An up-down, trackbar or scrollbar item's range: low end in the second
// parameter's IconID, high end in its lParam.
inline LONG RangeLow(const OPTTYPE& type) { return static_cast<SHORT>(type.pOptParam[1].IconID); }
inline LONG RangeHigh(const OPTTYPE& type) { return static_cast<SHORT>(type.pOptParam[1].lParam); }

}  // namespace host
