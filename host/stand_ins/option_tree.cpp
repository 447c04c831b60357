#include "host/stand_ins/option_tree.h"

#include <utility>

namespace host {

namespace {

constexpr DWORD kOptItemFlags = 0x0001FFFF;  // OPTIF_MASK
constexpr BYTE kOptParamFlags = 0x7F;        // OPTPF_MASK
constexpr BYTE kOptTypeFlags = 0x03;         // OPTTF_MASK
constexpr DWORD kPageFlags = 0x0007;         // CPSUIF_UPDATE_PERMISSION to _ABOUT_CALLBACK
constexpr BYTE kLastDMPubID = 21;            // DMPUB_LAST
constexpr ULONG_PTR kFirstAddress = 0x10000;

struct SheetString {
  WORD id;
  const char16_t* text;
};

constexpr SheetString kSheetStrings[] = {
    {IDS_CPSUI_ORIENTATION, u"Orientation"}, {IDS_CPSUI_SCALING, u"Scaling"},
    {IDS_CPSUI_SOURCE, u"Paper source"},     {IDS_CPSUI_PRINTQUALITY, u"Print quality"},
    {IDS_CPSUI_RESOLUTION, u"Resolution"},   {IDS_CPSUI_COLOR_APPERANCE, u"Color appearance"},
    {IDS_CPSUI_DUPLEX, u"Duplex"},           {IDS_CPSUI_TTOPTION, u"TrueType font"},
    {IDS_CPSUI_FORMNAME, u"Paper size"},     {IDS_CPSUI_ICMMETHOD, u"Image color management"},
    {IDS_CPSUI_ICMINTENT, u"Intent"},        {IDS_CPSUI_MEDIA, u"Media"},
    {IDS_CPSUI_DITHERING, u"Dithering"},     {IDS_CPSUI_COLOR, u"Color"},
    {IDS_CPSUI_GRAYSCALE, u"Grayscale"},     {IDS_CPSUI_COPIES, u"Copies"},
    {IDS_CPSUI_PAGEORDER, u"Page order"},    {IDS_CPSUI_QUALITY_SETTINGS, u"Quality settings"},
    {IDS_CPSUI_OUTPUTBIN, u"Output bin"},    {IDS_CPSUI_NUP, u"Pages per sheet"},
};

// A standard item, which stands for a field of the public record: the types
// it may have (a set of TVOT_* bits) and the sheet's string it must be named
// by (a second name where there are two). The page on OPTITEM calls the
// scaling string IDS_CPSUI_SCALE; the sheet's header names it
// IDS_CPSUI_SCALING.
struct StandardItem {
  BYTE dmpub;
  unsigned types;
  WORD names[2];
};

constexpr unsigned kStates = 1u << TVOT_2STATES | 1u << TVOT_3STATES;
constexpr unsigned kTwoStates = 1u << TVOT_2STATES;
constexpr unsigned kList = 1u << TVOT_LISTBOX;
constexpr unsigned kUpDown = 1u << TVOT_UDARROW;

constexpr StandardItem kStandardItems[] = {
    {DMPUB_ORIENTATION, kStates, {IDS_CPSUI_ORIENTATION}},
    {DMPUB_SCALE, kUpDown, {IDS_CPSUI_SCALING}},
    {DMPUB_COPIES_COLLATE, kUpDown, {IDS_CPSUI_COPIES}},
    {DMPUB_DEFSOURCE, kList, {IDS_CPSUI_SOURCE}},
    {DMPUB_PRINTQUALITY, kList, {IDS_CPSUI_PRINTQUALITY, IDS_CPSUI_RESOLUTION}},
    {DMPUB_COLOR, kTwoStates, {IDS_CPSUI_COLOR_APPERANCE}},
    {DMPUB_DUPLEX, kStates, {IDS_CPSUI_DUPLEX}},
    {DMPUB_TTOPTION, kList, {IDS_CPSUI_TTOPTION}},
    {DMPUB_FORMNAME, kList, {IDS_CPSUI_FORMNAME}},
    {DMPUB_ICMMETHOD, kStates, {IDS_CPSUI_ICMMETHOD}},
    {DMPUB_ICMINTENT, kStates, {IDS_CPSUI_ICMINTENT}},
    {DMPUB_MEDIATYPE, kList, {IDS_CPSUI_MEDIA}},
    {DMPUB_DITHERTYPE, kList, {IDS_CPSUI_DITHERING}},
    {DMPUB_OUTPUTBIN, kList, {IDS_CPSUI_OUTPUTBIN}},
    {DMPUB_QUALITY, kStates, {IDS_CPSUI_QUALITY_SETTINGS}},
    {DMPUB_NUP, kList, {IDS_CPSUI_NUP}},
    {DMPUB_PAGEORDER, kStates, {IDS_CPSUI_PAGEORDER}},
};

const StandardItem* StandardItemFor(BYTE dmpub) {
  for (const StandardItem& standard : kStandardItems) {
    if (standard.dmpub == dmpub) return &standard;
  }
  return nullptr;
}

ULONG_PTR StringId(const WCHAR* text) {
  auto address = reinterpret_cast<ULONG_PTR>(text);
  return address < kFirstAddress ? address : 0;
}

std::string Narrow(const WCHAR* text) {
  if (ULONG_PTR id = StringId(text); id != 0) return "#" + std::to_string(id);
  std::string narrow;
  for (char16_t unit : SheetText(text)) narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
  return narrow;
}

// How many parameters each option type takes.
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

bool AllZero(const ULONG_PTR* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (values[i] != 0) return false;
  }
  return true;
}

TreeVerdict Refuse(LONG code, std::string problem) { return {code, std::move(problem)}; }

// The sheet's own pages: 1 and 2 are the document sheet's, 3 the printer
// sheet's, 4 (one treeview page) anyone's.
bool PageFitsSheet(uintptr_t page, SheetKind kind) {
  if (page < 1 || page > 4) return false;
  if (page == 4 || kind == SheetKind::kUnknown) return true;
  return (page == 3) == (kind == SheetKind::kDevice);
}

TreeVerdict CheckHeader(const COMPROPSHEETUI& cps, SheetKind kind) {
  if (cps.cbSize != sizeof(COMPROPSHEETUI)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI cbSize");
  }
  if ((cps.Flags & ~kPageFlags) != 0)
    return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI Flags");
  if (cps.hInstCaller == nullptr) return Refuse(ERR_CPSUI_NULL_HINST, "COMPROPSHEETUI hInstCaller");
  if (cps.pCallerName == nullptr) {
    return Refuse(ERR_CPSUI_NULL_CALLERNAME, "COMPROPSHEETUI without pCallerName");
  }
  if (cps.pOptItemName == nullptr) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI without pOptItemName");
  }
  if (cps.cOptItem == 0) return Refuse(ERR_CPSUI_ZERO_OPTITEM, "COMPROPSHEETUI cOptItem 0");
  if (cps.pOptItem == nullptr) return Refuse(ERR_CPSUI_NULL_POPTITEM, "COMPROPSHEETUI pOptItem");
  if (!PageFitsSheet(reinterpret_cast<uintptr_t>(cps.pDlgPage), kind)) {
    return Refuse(ERR_CPSUI_INVALID_PDLGPAGE, "pDlgPage is not one of this sheet's own pages");
  }
  if (!AllZero(cps.dwReserved, 4)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, "COMPROPSHEETUI dwReserved");
  }
  return {};
}

// Which option types a parameter may be disabled or hidden in.
bool FlagsFitType(BYTE flags, BYTE type) {
  const bool list = type == TVOT_LISTBOX || type == TVOT_COMBOBOX;
  if ((flags & OPTPF_HIDE) != 0 && !list && type != TVOT_3STATES) return false;
  return (flags & OPTPF_DISABLED) == 0 || list || type == TVOT_2STATES || type == TVOT_3STATES;
}

bool FitsShort(LONG_PTR value) { return value >= -32768 && value <= 32767; }

TreeVerdict CheckParam(const OPTTYPE& type, const OPTPARAM& param, const std::string& where) {
  if (param.cbSize != sizeof(OPTPARAM)) {
    return Refuse(ERR_CPSUI_INVALID_OPTPARAM_CBSIZE, where + "OPTPARAM cbSize");
  }
  if ((param.Flags & ~kOptParamFlags) != 0 || !FlagsFitType(param.Flags, type.Type)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTPARAM Flags");
  }
  if (!AllZero(param.dwReserved, 2)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTPARAM dwReserved");
  }
  if (IsChoiceType(type.Type) && param.pData == nullptr) {
    return Refuse(ERR_CPSUI_INVALID_PDATA, where + "a choice without text");
  }
  return {};
}

TreeVerdict CheckType(const OPTTYPE& type, const std::string& where) {
  if (type.cbSize != sizeof(OPTTYPE)) {
    return Refuse(ERR_CPSUI_INVALID_OPTTYPE_CBSIZE, where + "OPTTYPE cbSize");
  }
  if (type.Type > TVOT_COMBOBOX) return Refuse(ERR_CPSUI_INVALID_TVOT_TYPE, where + "OPTTYPE Type");
  if ((type.Flags & ~kOptTypeFlags) != 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTTYPE Flags");
  }
  const ULONG_PTR words[3] = {type.wReserved[0], type.wReserved[1], type.wReserved[2]};
  if (!AllZero(type.dwReserved, 3) || !AllZero(words, 3)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTTYPE reserved fields");
  }
  if (!CountFits(type.Type, type.Count)) {
    return Refuse(ERR_CPSUI_INVALID_OPTTYPE_COUNT,
                  where + "Count " + std::to_string(type.Count) + " does not fit its Type");
  }
  if (type.pOptParam == nullptr) return Refuse(ERR_CPSUI_NULL_POPTPARAM, where + "no pOptParam");
  for (int p = 0; p < type.Count; ++p) {
    if (TreeVerdict verdict = CheckParam(type, type.pOptParam[p], where); verdict.code != 0) {
      return verdict;
    }
  }
  // An up-down range is two 16-bit signed numbers.
  if (type.Type == TVOT_UDARROW && (!FitsShort(static_cast<LONG_PTR>(type.pOptParam[1].IconID)) ||
                                    !FitsShort(type.pOptParam[1].lParam))) {
    return Refuse(ERR_CPSUI_CREATE_UDARROW_FAILED, where + "a range end beyond 16 bits");
  }
  return {};
}

// A standard item carries the sheet's own name for it and one of the types
// that field takes; colour's two states are the sheet's grayscale and colour
// strings; copies take an extended check box, never a push button. The
// documentation gives no code for a wrong name: ERR_CPSUI_INVALID_DMPUBID.
TreeVerdict CheckStandardItem(const OPTITEM& item, const std::string& where) {
  if (item.DMPubID == DMPUB_COPIES_COLLATE && (item.Flags & OPTIF_EXT_IS_EXTPUSH) != 0 &&
      item.pExtPush != nullptr) {
    return Refuse(ERR_CPSUI_DMCOPIES_USE_EXTPUSH, where + "copies with an extended push button");
  }
  const StandardItem* standard = StandardItemFor(item.DMPubID);
  if (standard == nullptr) return {};
  // An unused second name is 0, which no name given by identifier is.
  ULONG_PTR name = StringId(item.pName);
  if (name == 0 || (name != standard->names[0] && name != standard->names[1])) {
    return Refuse(ERR_CPSUI_INVALID_DMPUBID, where + "DMPubID " + std::to_string(item.DMPubID) +
                                                 " names it #" +
                                                 std::to_string(standard->names[0]));
  }
  const OPTTYPE* type = item.pOptType;
  if (type == nullptr || (standard->types & 1u << type->Type) == 0) {
    return Refuse(ERR_CPSUI_INVALID_DMPUB_TVOT,
                  where + "a type DMPubID " + std::to_string(item.DMPubID) + " does not take");
  }
  if (item.DMPubID == DMPUB_COLOR && (StringId(type->pOptParam[0].pData) != IDS_CPSUI_GRAYSCALE ||
                                      StringId(type->pOptParam[1].pData) != IDS_CPSUI_COLOR)) {
    return Refuse(ERR_CPSUI_INVALID_PDATA, where + "colour's states are not grayscale, colour");
  }
  return {};
}

TreeVerdict CheckSelection(const OPTITEM& item, const std::string& where) {
  const OPTTYPE& type = *item.pOptType;
  if (IsRangedType(type.Type)) {
    if (RangeLow(type) > RangeHigh(type)) {
      return Refuse(ERR_CPSUI_CREATE_UDARROW_FAILED, where + "range low above high");
    }
    if (item.Sel < RangeLow(type) || item.Sel > RangeHigh(type)) {
      return Refuse(ERR_CPSUI_CREATE_UDARROW_FAILED, where + "Sel outside its range");
    }
  } else if (IsChoiceType(type.Type) && (item.Sel < 0 || item.Sel >= type.Count)) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "Sel outside its choices");
  }
  return {};
}

// An item with children (the items right after it one level deeper) is a
// parent: it has no type and so no selection.
TreeVerdict CheckItem(const OPTITEM& item, bool parent, const std::string& where) {
  if (item.cbSize != sizeof(OPTITEM)) {
    return Refuse(ERR_CPSUI_INVALID_OPTITEM_CBSIZE, where + "cbSize");
  }
  if (item.pName == nullptr) return Refuse(ERR_CPSUI_NULL_OPTITEMNAME, where + "no pName");
  if ((item.Flags & ~kOptItemFlags) != 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "unknown Flags");
  }
  if (!AllZero(item.dwReserved, 3) || item.wReserved != 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "reserved fields");
  }
  if (item.DMPubID > kLastDMPubID && item.DMPubID < DMPUB_USER) {
    return Refuse(ERR_CPSUI_INVALID_DMPUBID, where + "DMPubID");
  }
  if (parent != (item.pOptType == nullptr)) {
    return Refuse(parent ? ERR_CPSUI_INVALID_LPARAM : ERR_CPSUI_INVALID_TVOT_TYPE,
                  where + (parent ? "a parent with a pOptType" : "no pOptType and no children"));
  }
  if (item.pOptType != nullptr && (item.Flags & OPTIF_SEL_AS_HICON) != 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "OPTIF_SEL_AS_HICON with a pOptType");
  }
  if (item.pOptType != nullptr) {
    if (TreeVerdict verdict = CheckType(*item.pOptType, where); verdict.code != 0) return verdict;
  }
  if (TreeVerdict verdict = CheckStandardItem(item, where); verdict.code != 0) return verdict;
  return item.pOptType == nullptr ? TreeVerdict{} : CheckSelection(item, where);
}

// Level 0 is the tree's root, the sheet's own node named by pOptItemName;
// the page's items start at level 1, and a child immediately follows its
// parent, on the parent's dialog page and hidden or shown with it.
TreeVerdict CheckLevel(const OPTITEM* items, int index, const std::string& where) {
  const OPTITEM& item = items[index];
  if (item.Level == 0) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM, where + "level 0 is the sheet's root");
  }
  BYTE before = index == 0 ? 0 : items[index - 1].Level;
  if (item.Level > before + 1) {
    return Refuse(ERR_CPSUI_INVALID_LPARAM,
                  where + "level " + std::to_string(item.Level) + " does not follow its parent");
  }
  if (item.Level == 1) return {};
  int parent = index - 1;
  while (items[parent].Level != item.Level - 1) --parent;
  if (items[parent].DlgPageIdx != item.DlgPageIdx) {
    return Refuse(ERR_CPSUI_SUBITEM_DIFF_DLGPAGEIDX, where + "not on its parent's dialog page");
  }
  if ((items[parent].Flags & OPTIF_HIDE) != (item.Flags & OPTIF_HIDE)) {
    return Refuse(ERR_CPSUI_SUBITEM_DIFF_OPTIF_HIDE, where + "hidden unlike its parent");
  }
  return {};
}

}  // namespace

bool IsRangedType(BYTE type) {
  return type == TVOT_UDARROW || type == TVOT_TRACKBAR || type == TVOT_SCROLLBAR;
}

bool IsChoiceType(BYTE type) {
  return type == TVOT_2STATES || type == TVOT_3STATES || type == TVOT_LISTBOX ||
         type == TVOT_COMBOBOX;
}

std::u16string_view SheetText(const WCHAR* text) {
  if (text == nullptr) return {};
  if (ULONG_PTR id = StringId(text); id != 0) {
    for (const SheetString& string : kSheetStrings) {
      if (string.id == id) return string.text;
    }
    return {};
  }
  return reinterpret_cast<const char16_t*>(text);
}

SheetKind SheetKindOf(LPARAM header) {
  if (header == 0) return SheetKind::kUnknown;
  const WORD size = *reinterpret_cast<const WORD*>(header);
  if (size == sizeof(DOCUMENTPROPERTYHEADER)) return SheetKind::kDocument;
  return size == sizeof(DEVICEPROPERTYHEADER) ? SheetKind::kDevice : SheetKind::kUnknown;
}

TreeVerdict CheckOptionTree(const COMPROPSHEETUI& cps, SheetKind kind) {
  if (TreeVerdict verdict = CheckHeader(cps, kind); verdict.code != 0) return verdict;
  unsigned seen_dmpub = 0;
  for (int i = 0; i < cps.cOptItem; ++i) {
    const OPTITEM& item = cps.pOptItem[i];
    const std::string where = "item " + std::to_string(i) + " (" + Narrow(item.pName) + "): ";
    bool parent = i + 1 < cps.cOptItem && cps.pOptItem[i + 1].Level > item.Level;
    if (TreeVerdict verdict = CheckLevel(cps.pOptItem, i, where); verdict.code != 0) return verdict;
    if (TreeVerdict verdict = CheckItem(item, parent, where); verdict.code != 0) return verdict;
    if (item.DMPubID != DMPUB_NONE && item.DMPubID <= kLastDMPubID) {
      if (seen_dmpub & (1u << item.DMPubID)) {
        return Refuse(ERR_CPSUI_INVALID_DMPUBID, where + "DMPubID used twice");
      }
      seen_dmpub |= 1u << item.DMPubID;
    }
  }
  return {};
}

}  // namespace host
