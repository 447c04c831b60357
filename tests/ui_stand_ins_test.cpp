// The host's stand-ins themselves. The property sheet: a tree broken one way
// at a time is refused with a finding, so a well-formed verdict on the
// driver's pages means something. The entry point table: taken by name from
// a module's exports, naming the first one missing.
#include <functional>
#include <map>

#include "tests/ui_test.h"

namespace {

using ::testing::IsEmpty;
using ::testing::Not;

// A minimal page of two items, rebuilt for each case and then broken.
struct Tree {
  OPTPARAM params[4];
  OPTTYPE types[2];
  OPTITEM items[2];
  COMPROPSHEETUI cps;
  // What the sheet is opened with: no header, or one of the two kinds.
  LPARAM header;
  DOCUMENTPROPERTYHEADER document;
  DEVICEPROPERTYHEADER device;
};

Tree* current = nullptr;

// A standard item: a public field's identifier and a name given as one of
// the sheet's own strings.
void MakeStandard(OPTITEM& item, BYTE dmpub, WORD name) {
  item.DMPubID = dmpub;
  item.pName = reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(name));
}

void MakeParent(Tree& t) {
  t.items[0].pOptType = nullptr;
  t.items[1].Level = 2;
}

void Build(Tree* t) {
  *t = Tree{};
  for (OPTPARAM& p : t->params) p.cbSize = sizeof p;
  t->params[0].pData = const_cast<WCHAR*>(u"No");
  t->params[1].pData = const_cast<WCHAR*>(u"Yes");
  t->params[3].IconID = 1;
  t->params[3].lParam = 10;
  const BYTE kinds[2] = {TVOT_2STATES, TVOT_UDARROW};
  const char16_t* names[2] = {u"Switch", u"Number"};
  for (int i = 0; i < 2; ++i) {
    t->types[i].cbSize = sizeof(OPTTYPE);
    t->types[i].Type = kinds[i];
    t->types[i].Count = 2;
    t->types[i].pOptParam = &t->params[2 * i];
    t->items[i].cbSize = sizeof(OPTITEM);
    t->items[i].Level = 1;
    t->items[i].pName = const_cast<WCHAR*>(names[i]);
    t->items[i].pOptType = &t->types[i];
  }
  t->items[1].Sel = 5;
  t->cps.cbSize = sizeof t->cps;
  t->cps.hInstCaller = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000000));
  t->cps.pCallerName = const_cast<WCHAR*>(u"test");
  t->cps.pOptItemName = const_cast<WCHAR*>(u"Settings");
  t->cps.pOptItem = t->items;
  t->cps.cOptItem = 2;
  t->cps.pDlgPage = CPSUI_PDLGPAGE_DOCPROP;
  t->document.cbSize = sizeof t->document;
  t->device.cbSize = sizeof t->device;
}

LONG APIENTRY Sheet(PPROPSHEETUI_INFO info, LPARAM) {
  if (info->Reason != PROPSHEETUI_REASON_INIT) return 1;
  return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUI,
                               reinterpret_cast<LPARAM>(&current->cps), 0) > 0
             ? 1
             : -1;
}

TEST(UiPropertySheetStandIn, RefusesEachBrokenTree) {
  Tree tree;
  current = &tree;
  Build(&tree);
  {
    host::PropertySheet sheet(&Sheet, 0);
    EXPECT_THAT(sheet.problems(), IsEmpty());
    EXPECT_TRUE(sheet.Pick(u"Switch", u"Yes"));
    EXPECT_TRUE(sheet.Enter(u"Number", 10));
    EXPECT_FALSE(sheet.Enter(u"Number", 11));
    EXPECT_FALSE(sheet.Pick(u"Switch", u"Maybe"));
  }
  // Well-formed variants: a parent and its child; a standard item named by
  // the sheet's own string, found by the text the sheet shows for it.
  Build(&tree);
  MakeParent(tree);
  EXPECT_THAT(host::PropertySheet(&Sheet, 0).problems(), IsEmpty());
  Build(&tree);
  MakeStandard(tree.items[0], DMPUB_ORIENTATION, IDS_CPSUI_ORIENTATION);
  {
    host::PropertySheet sheet(&Sheet, 0);
    EXPECT_THAT(sheet.problems(), IsEmpty());
    EXPECT_TRUE(sheet.Pick(u"Orientation", u"Yes"));
  }
  // Each documented requirement broken alone, with the code the sheet
  // refuses it with.
  struct Break {
    const char* what;
    LONG code;
    std::function<void(Tree&)> fault;
  };
  const Break breaks[] = {
      {"page cbSize", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.cps.cbSize -= 1; }},
      {"no instance", ERR_CPSUI_NULL_HINST, [](Tree& t) { t.cps.hInstCaller = nullptr; }},
      {"no caller name", ERR_CPSUI_NULL_CALLERNAME, [](Tree& t) { t.cps.pCallerName = nullptr; }},
      {"no items", ERR_CPSUI_ZERO_OPTITEM, [](Tree& t) { t.cps.cOptItem = 0; }},
      {"items missing", ERR_CPSUI_NULL_POPTITEM, [](Tree& t) { t.cps.pOptItem = nullptr; }},
      {"custom dialog pages", ERR_CPSUI_INVALID_PDLGPAGE, [](Tree& t) { t.cps.pDlgPage = nullptr; }},
      {"reserved page field", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.cps.dwReserved[3] = 1; }},
      {"unknown page flags", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.cps.Flags = 0x0008; }},
      {"no root name", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.cps.pOptItemName = nullptr; }},
      {"the document pages on the printer sheet", ERR_CPSUI_INVALID_PDLGPAGE,
       [](Tree& t) { t.header = reinterpret_cast<LPARAM>(&t.device); }},
      {"the printer page on the document sheet", ERR_CPSUI_INVALID_PDLGPAGE, [](Tree& t) {
         t.header = reinterpret_cast<LPARAM>(&t.document);
         t.cps.pDlgPage = CPSUI_PDLGPAGE_PRINTERPROP;
       }},
      {"item cbSize", ERR_CPSUI_INVALID_OPTITEM_CBSIZE, [](Tree& t) { t.items[0].cbSize = 0; }},
      {"item without a name", ERR_CPSUI_NULL_OPTITEMNAME, [](Tree& t) { t.items[1].pName = nullptr; }},
      {"unknown item flags", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[0].Flags = 0x00100000; }},
      {"reserved item field", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[0].dwReserved[2] = 1; }},
      {"item without a type", ERR_CPSUI_INVALID_TVOT_TYPE, [](Tree& t) { t.items[0].pOptType = nullptr; }},
      {"type cbSize", ERR_CPSUI_INVALID_OPTTYPE_CBSIZE, [](Tree& t) { t.types[1].cbSize = 4; }},
      {"two states with three", ERR_CPSUI_INVALID_OPTTYPE_COUNT, [](Tree& t) { t.types[0].Count = 3; }},
      {"unknown type", ERR_CPSUI_INVALID_TVOT_TYPE, [](Tree& t) { t.types[0].Type = 42; }},
      {"no parameters", ERR_CPSUI_NULL_POPTPARAM, [](Tree& t) { t.types[0].pOptParam = nullptr; }},
      {"parameter cbSize", ERR_CPSUI_INVALID_OPTPARAM_CBSIZE, [](Tree& t) { t.params[1].cbSize = 0; }},
      {"unknown parameter flags", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.params[0].Flags = 0x80; }},
      {"a hidden state of two", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.params[0].Flags = OPTPF_HIDE; }},
      {"a disabled number", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.params[3].Flags = OPTPF_DISABLED; }},
      {"reserved type word", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.types[0].wReserved[1] = 1; }},
      {"range end beyond 16 bits", ERR_CPSUI_CREATE_UDARROW_FAILED,
       // 10 once cut to 16 bits, a range that would pass.
       [](Tree& t) { t.params[3].lParam = 0x1000A; }},
      {"choice without text", ERR_CPSUI_INVALID_PDATA, [](Tree& t) { t.params[1].pData = nullptr; }},
      {"state outside its choices", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[0].Sel = 2; }},
      {"number outside its range", ERR_CPSUI_CREATE_UDARROW_FAILED, [](Tree& t) { t.items[1].Sel = 11; }},
      {"range upside down", ERR_CPSUI_CREATE_UDARROW_FAILED, [](Tree& t) { t.params[3].IconID = 20; }},
      {"orientation as a number", ERR_CPSUI_INVALID_DMPUB_TVOT,
       [](Tree& t) { MakeStandard(t.items[1], DMPUB_ORIENTATION, IDS_CPSUI_ORIENTATION); }},
      {"copies as states", ERR_CPSUI_INVALID_DMPUB_TVOT,
       [](Tree& t) { MakeStandard(t.items[0], DMPUB_COPIES_COLLATE, IDS_CPSUI_COPIES); }},
      {"orientation named by a text", ERR_CPSUI_INVALID_DMPUBID,
       [](Tree& t) { t.items[0].DMPubID = DMPUB_ORIENTATION; }},
      {"copies named as orientation", ERR_CPSUI_INVALID_DMPUBID,
       [](Tree& t) { MakeStandard(t.items[1], DMPUB_COPIES_COLLATE, IDS_CPSUI_ORIENTATION); }},
      {"colour's states not grayscale and colour", ERR_CPSUI_INVALID_PDATA,
       [](Tree& t) { MakeStandard(t.items[0], DMPUB_COLOR, IDS_CPSUI_COLOR_APPERANCE); }},
      {"copies with an extended push button", ERR_CPSUI_DMCOPIES_USE_EXTPUSH, [](Tree& t) {
         MakeStandard(t.items[1], DMPUB_COPIES_COLLATE, IDS_CPSUI_COPIES);
         t.items[1].Flags = OPTIF_EXT_IS_EXTPUSH;
         t.items[1].pExtPush = reinterpret_cast<PEXTPUSH>(&t.params[0]);
       }},
      {"one public item twice", ERR_CPSUI_INVALID_DMPUBID,
       // The n-up direction, which asks for no particular name or type.
       [](Tree& t) { t.items[0].DMPubID = t.items[1].DMPubID = DMPUB_PAGEORDER + 1; }},
      {"an icon handle with a type", ERR_CPSUI_INVALID_LPARAM,
       [](Tree& t) { t.items[0].Flags = OPTIF_SEL_AS_HICON; }},
      {"level 0, the sheet's root", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[0].Level = 0; }},
      {"a child without a parent", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[0].Level = 2; }},
      {"a parent with a type", ERR_CPSUI_INVALID_LPARAM, [](Tree& t) { t.items[1].Level = 2; }},
      {"a child on another dialog page", ERR_CPSUI_SUBITEM_DIFF_DLGPAGEIDX, [](Tree& t) {
         MakeParent(t);
         t.items[1].DlgPageIdx = 1;
       }},
      {"a child hidden unlike its parent", ERR_CPSUI_SUBITEM_DIFF_OPTIF_HIDE, [](Tree& t) {
         MakeParent(t);
         t.items[1].Flags = OPTIF_HIDE;
       }},
      {"unknown public item", ERR_CPSUI_INVALID_DMPUBID, [](Tree& t) { t.items[0].DMPubID = 50; }},
  };
  for (const Break& b : breaks) {
    Build(&tree);
    b.fault(tree);
    host::PropertySheet sheet(&Sheet, tree.header);
    EXPECT_THAT(sheet.problems(), Not(IsEmpty())) << b.what;
    EXPECT_EQ(sheet.refusal(), b.code) << b.what;
    EXPECT_EQ(sheet.page(), nullptr) << b.what;
  }
  current = nullptr;
}

TEST(UiPrinterInterfaceStandIn, TakesEveryEntryPointByNameAndNamesTheFirstMissing) {
  const host::PrinterInterface& linked = TestPrinterInterface();
  std::map<std::string, void*> exports = {
      {"DrvDocumentPropertySheets", reinterpret_cast<void*>(linked.DrvDocumentPropertySheets)},
      {"DrvDevicePropertySheets", reinterpret_cast<void*>(linked.DrvDevicePropertySheets)},
      {"DrvConvertDevMode", reinterpret_cast<void*>(linked.DrvConvertDevMode)},
      {"DrvDeviceCapabilities", reinterpret_cast<void*>(linked.DrvDeviceCapabilities)},
      {"DevQueryPrintEx", reinterpret_cast<void*>(linked.DevQueryPrintEx)},
      {"DrvPrinterEvent", reinterpret_cast<void*>(linked.DrvPrinterEvent)}};
  auto lookup = [&exports](const char* name) -> void* {
    auto found = exports.find(name);
    return found == exports.end() ? nullptr : found->second;
  };
  std::string missing = "stale";
  host::PrinterInterface taken = host::PrinterInterfaceFrom(lookup, &missing);
  EXPECT_EQ(missing, "");
  EXPECT_EQ(taken.DrvDocumentPropertySheets, linked.DrvDocumentPropertySheets);
  EXPECT_EQ(taken.DrvDevicePropertySheets, linked.DrvDevicePropertySheets);
  EXPECT_EQ(taken.DrvConvertDevMode, linked.DrvConvertDevMode);
  EXPECT_EQ(taken.DrvDeviceCapabilities, linked.DrvDeviceCapabilities);
  EXPECT_EQ(taken.DevQueryPrintEx, linked.DevQueryPrintEx);
  EXPECT_EQ(taken.DrvPrinterEvent, linked.DrvPrinterEvent);
  exports.erase("DrvConvertDevMode");
  exports.erase("DrvPrinterEvent");
  taken = host::PrinterInterfaceFrom(lookup, &missing);
  EXPECT_EQ(missing, "DrvConvertDevMode");
  EXPECT_EQ(taken.DrvConvertDevMode, nullptr);
}

}  // namespace
