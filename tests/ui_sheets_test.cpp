// The document and printer pages through a stand-in of the common property
// sheet: their option trees, a user's choices, apply and cancel, and the
// record that reaches the graphics driver's print job afterwards.
#include <cstring>

#include "host/stand_ins/option_tree.h"
#include "tests/ui_test.h"

namespace {

using ::testing::ElementsAre;

class UiSheetsTest : public UiTest {
 protected:
  host::PropertySheet OpenDocument(DOCUMENTPROPERTYHEADER* header) {
    return host::PropertySheet(ui_.DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(header));
  }
};

// A standard item is named by the sheet's own string (sheet_name), shown
// as name; the driver's own items by their text (sheet_name 0).
struct ItemView {
  std::u16string name;
  WORD sheet_name;
  BYTE type;
  BYTE dmpub;
  LONG sel;
  std::vector<std::u16string> choices;  // states and lists
  LONG low, high;                       // up-down items
};

std::vector<ItemView> View(const host::PropertySheet& sheet) {
  std::vector<ItemView> view;
  const COMPROPSHEETUI* page = sheet.page();
  for (int i = 0; page != nullptr && i < page->cOptItem; ++i) {
    const OPTITEM& item = page->pOptItem[i];
    std::u16string name(host::SheetText(item.pName));
    auto id = reinterpret_cast<uintptr_t>(item.pName);
    EXPECT_EQ(item.Level, 1) << "every item right under the sheet's root";
    ItemView v{name, static_cast<WORD>(id < 0x10000 ? id : 0), item.pOptType->Type, item.DMPubID,
               item.Sel, sheet.Choices(name), 0, 0};
    if (v.type == TVOT_UDARROW) {
      v.low = static_cast<SHORT>(item.pOptType->pOptParam[1].IconID);
      v.high = static_cast<SHORT>(item.pOptType->pOptParam[1].lParam);
    }
    view.push_back(v);
  }
  return view;
}

void ExpectItem(const ItemView& v, const ItemView& want) {
  SCOPED_TRACE(std::string(want.name.begin(), want.name.end()));
  EXPECT_EQ(v.name, want.name);
  EXPECT_EQ(v.sheet_name, want.sheet_name);
  EXPECT_EQ(v.type, want.type);
  EXPECT_EQ(v.dmpub, want.dmpub);
  EXPECT_EQ(v.sel, want.sel);
  EXPECT_EQ(v.choices, want.choices);
  EXPECT_EQ(v.low, want.low);
  EXPECT_EQ(v.high, want.high);
}

TEST_F(UiSheetsTest, DocumentPageIsWellFormedAndShowsTheRecord) {
  Bytes out(7228, 0x5A);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
  host::PropertySheet sheet = OpenDocument(&header);
  EXPECT_GT(sheet.init_result(), 0);
  EXPECT_GT(sheet.info_header_result(), 0);
  EXPECT_THAT(sheet.problems(), ElementsAre());
  ASSERT_NE(sheet.page(), nullptr);
  // The default width lies above the record's own maximum: the page shows
  // the nearest width it can offer.
  const ItemView want[] = {
      {u"Orientation", IDS_CPSUI_ORIENTATION, TVOT_2STATES, DMPUB_ORIENTATION, 0,
       {u"Portrait", u"Landscape"}, 0, 0},
      {u"Paper width", 0, TVOT_UDARROW, DMPUB_NONE, 2032, {}, 1, 2032},
      {u"Paper length", 0, TVOT_UDARROW, DMPUB_NONE, 2794, {}, 3, 9999},
      {u"Copies", IDS_CPSUI_COPIES, TVOT_UDARROW, DMPUB_COPIES_COLLATE, 1, {}, 1, 1000},
      {u"Line terminator", 0, TVOT_LISTBOX, DMPUB_NONE, 0, {u"None", u"CR LF", u"CR", u"LF"}, 0,
       0},
      {u"Form feed at the end of each document", 0, TVOT_2STATES, DMPUB_NONE, 0,
       {u"No", u"Yes"}, 0, 0}};
  std::vector<ItemView> view = View(sheet);
  ASSERT_EQ(view.size(), std::size(want));
  for (size_t i = 0; i < view.size(); ++i) ExpectItem(view[i], want[i]);
  EXPECT_EQ(sheet.info_header().Flags & PSUIHDRF_PROPTITLE, PSUIHDRF_PROPTITLE);
  EXPECT_EQ(sheet.page()->pDlgPage, CPSUI_PDLGPAGE_DOCPROP);
  EXPECT_EQ(out, Bytes(7228, 0x5A)) << "nothing is written before apply";
  header.fMode |= DM_ADVANCED;
  host::PropertySheet advanced = OpenDocument(&header);
  ASSERT_NE(advanced.page(), nullptr);
  EXPECT_EQ(advanced.page()->pDlgPage, CPSUI_PDLGPAGE_ADVDOCPROP);
}

TEST_F(UiSheetsTest, EndToEndCrLfAndFormFeedReachThePrintedBytes) {
  Bytes out(7228, 0x5A);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
  {
    host::PropertySheet sheet = OpenDocument(&header);
    ASSERT_TRUE(sheet.Pick(u"Line terminator", u"CR LF"));
    ASSERT_TRUE(sheet.Pick(u"Form feed at the end of each document", u"Yes"));
    EXPECT_EQ(sheet.Apply(), static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_THAT(sheet.problems(), ElementsAre());
  }
  Bytes expected = UiDefaults();
  expected[7226] = 1;
  expected[7227] = 1;
  EXPECT_EQ(out, expected) << "only the two choices changed";
  Bytes printed = PrintTwoLines(AsDevMode(out));
  EXPECT_EQ(std::string(printed.begin(), printed.end()), "Hello\r\nWorld\r\n\x0C");
}

TEST_F(UiSheetsTest, CancelLeavesTheRecordAndTheJobAsTheDefaultsMakeThem) {
  Bytes out = UiDefaults();
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
  {
    host::PropertySheet sheet = OpenDocument(&header);
    ASSERT_TRUE(sheet.Pick(u"Line terminator", u"LF"));
    ASSERT_TRUE(sheet.Pick(u"Form feed at the end of each document", u"Yes"));
    EXPECT_EQ(sheet.Cancel(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
  }
  EXPECT_EQ(out, UiDefaults());
  Bytes printed = PrintTwoLines(AsDevMode(out));
  EXPECT_EQ(std::string(printed.begin(), printed.end()), "HelloWorld");
}

// Each item writes its own field, and only an item the user changed is
// written: the default width the page cannot show survives.
TEST_F(UiSheetsTest, EveryItemWritesItsFieldAndOnlyChangedItemsAreWritten) {
  struct Case {
    const char16_t* item;
    const char16_t* choice;  // nullptr: a number
    LONG value;
    size_t offset, width;
    uint32_t field;
  };
  const Case cases[] = {
      {u"Orientation", u"Landscape", 0, 76, 2, 2},
      {u"Paper width", nullptr, 1500, 82, 2, 1500},
      {u"Paper width", nullptr, 2032, 82, 2, 2032},
      {u"Paper length", nullptr, 3, 80, 2, 3},
      {u"Copies", nullptr, 1000, 86, 2, 1000},
      {u"Line terminator", u"CR", 0, 7226, 1, 2},
      {u"Line terminator", u"LF", 0, 7226, 1, 3},
      {u"Form feed at the end of each document", u"No", 0, 7227, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << " " << c.field);
    Bytes out(7228, 0);
    DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
    host::PropertySheet sheet = OpenDocument(&header);
    bool taken = c.choice != nullptr ? sheet.Pick(c.item, c.choice) : sheet.Enter(c.item, c.value);
    ASSERT_TRUE(taken);
    EXPECT_EQ(sheet.Apply(), static_cast<ULONG_PTR>(CPSUI_OK));
    Bytes expected = UiDefaults();
    if (!(c.offset == 82 && c.value == 2032)) {
      for (size_t i = 0; i < c.width; ++i) expected[c.offset + i] = static_cast<uint8_t>(c.field >> (8 * i));
    }
    EXPECT_EQ(out, expected);
  }
  // Out of range: a user cannot enter it.
  Bytes out(7228, 0);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
  host::PropertySheet sheet = OpenDocument(&header);
  EXPECT_FALSE(sheet.Enter(u"Paper width", 2033));
  EXPECT_FALSE(sheet.Enter(u"Copies", 0));
  EXPECT_FALSE(sheet.Pick(u"Line terminator", u"NEL"));
}

TEST_F(UiSheetsTest, CallersRecordOpensThePageAndNoPermissionLocksIt) {
  Bytes in = OwnRecord();
  DrvDevMode& dm = *reinterpret_cast<DrvDevMode*>(in.data());
  dm.byLineTerminator = 3;
  dm.byFormFeed = 1;
  dm.dm.dmOrientation = 2;
  Bytes out(7228, 0);
  DOCUMENTPROPERTYHEADER header =
      Header(DM_COPY | DM_PROMPT | DM_MODIFY | DM_NOPERMISSION, AsDevMode(in), AsDevMode(out), 7228);
  host::PropertySheet sheet = OpenDocument(&header);
  EXPECT_THAT(sheet.problems(), ElementsAre());
  ASSERT_NE(sheet.Item(u"Line terminator"), nullptr);
  EXPECT_EQ(sheet.Item(u"Line terminator")->Sel, 3);
  EXPECT_EQ(sheet.Item(u"Form feed at the end of each document")->Sel, 1);
  EXPECT_EQ(sheet.Item(u"Orientation")->Sel, 1);
  EXPECT_FALSE(sheet.Pick(u"Line terminator", u"CR LF"));
  EXPECT_FALSE(sheet.Enter(u"Copies", 2));
  EXPECT_EQ(sheet.page()->Flags & CPSUIF_UPDATE_PERMISSION, 0);
  EXPECT_EQ(sheet.Apply(), static_cast<ULONG_PTR>(CPSUI_OK));
  EXPECT_EQ(out, DriverRecord(AsDevMode(in)));
}

TEST_F(UiSheetsTest, BadSheetCallsFailWithoutAPageOrALeak) {
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, nullptr, 0);
  header.cbSize = 4;
  for (LPARAM bad : {LPARAM{0}, reinterpret_cast<LPARAM>(&header)}) {
    SetLastError(0);
    host::PropertySheet sheet(ui_.DrvDocumentPropertySheets, bad);
    EXPECT_LT(sheet.init_result(), 1);
    EXPECT_EQ(sheet.page(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    host::PropertySheet device(ui_.DrvDevicePropertySheets, bad);
    EXPECT_LT(device.init_result(), 1);
  }
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info - 1;
  EXPECT_LT(ui_.DrvDocumentPropertySheets(&info, 0), 1);
  EXPECT_LT(ui_.DrvDevicePropertySheets(&info, 0), 1);
  EXPECT_LT(ui_.DrvDevicePropertySheets(nullptr, 0), 1);
  // A too small output buffer: apply writes nothing and the result stays
  // cancelled.
  Bytes out(7227, 0x5A);
  header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7227);
  host::PropertySheet sheet = OpenDocument(&header);
  ASSERT_TRUE(sheet.Pick(u"Line terminator", u"CR LF"));
  EXPECT_EQ(sheet.Apply(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
  EXPECT_EQ(out, Bytes(7227, 0x5A));
}

// Every call the sheet answers and every allocation can fail. Whatever
// fails, the protocol runs to its end with every block against a guard page
// (a block written after it was freed faults), nothing is left live, and
// the result is OK only with the record written.
TEST_F(UiSheetsTest, EveryFailureOfTheSheetOrTheHeapLeavesNothingBehind) {
  checker().pool.UseGuardPages(true);
  Bytes expected = UiDefaults();
  expected[7226] = 1;
  std::u16string name = u"TextRelay";
  DEVICEPROPERTYHEADER device{};
  device.cbSize = sizeof device;
  device.pszPrinterName = name.data();
  for (bool document : {true, false}) {
    for (bool heap : {false, true}) {
      for (uint64_t k = 1;; ++k) {
        SCOPED_TRACE(testing::Message() << (document ? "document" : "printer")
                                        << (heap ? " allocation " : " sheet call ") << k);
        Bytes out(7228, 0x5A);
        DOCUMENTPROPERTYHEADER header = Header(DM_COPY | DM_PROMPT, nullptr, AsDevMode(out), 7228);
        host::FaultPlan faults;
        if (heap) {
          checker().pool.faults().FailNth(k);
        } else {
          faults.FailNth(k);
        }
        bool reached = false;
        ULONG_PTR result = CPSUI_CANCEL;
        {
          host::PropertySheet sheet(
              document ? ui_.DrvDocumentPropertySheets : ui_.DrvDevicePropertySheets,
              document ? reinterpret_cast<LPARAM>(&header) : reinterpret_cast<LPARAM>(&device),
              faults);
          EXPECT_EQ(sheet.init_result() > 0, sheet.page() != nullptr);
          if (document && sheet.page() != nullptr) sheet.Pick(u"Line terminator", u"CR LF");
          if (sheet.page() != nullptr) result = sheet.Apply();
          reached = sheet.faults().Failures() > 0;
        }
        reached = reached || checker().pool.faults().Failures() > 0;
        checker().pool.faults().Clear();
        EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
        EXPECT_THAT(TakeFindings(), ElementsAre());
        if (document) {
          EXPECT_EQ(out, result == CPSUI_OK ? expected : Bytes(7228, 0x5A));
        }
        if (!reached) break;
      }
    }
  }
}

// A record of the driver's own may carry its limits crossed: the page shows
// them in order rather than a range the sheet refuses.
TEST_F(UiSheetsTest, CrossedLimitsStillGiveAWellFormedPage) {
  Bytes in = OwnRecord();
  DrvDevMode& dm = *reinterpret_cast<DrvDevMode*>(in.data());
  dm.sMinPaperWidth = 3000;
  dm.sMaxPaperWidth = 2032;
  dm.sMinPaperLength = 500;
  dm.sMaxPaperLength = -5;
  dm.sMinCopies = 9;
  dm.sMaxCopies = 1;
  Bytes out(7228, 0);
  DOCUMENTPROPERTYHEADER header =
      Header(DM_COPY | DM_PROMPT | DM_MODIFY, AsDevMode(in), AsDevMode(out), 7228);
  host::PropertySheet sheet = OpenDocument(&header);
  EXPECT_GT(sheet.init_result(), 0);
  EXPECT_THAT(sheet.problems(), ElementsAre());
  ASSERT_NE(sheet.page(), nullptr);
  for (const ItemView& v : View(sheet)) {
    if (v.type == TVOT_UDARROW) {
      EXPECT_LE(v.low, v.sel);
      EXPECT_LE(v.sel, v.high);
    }
  }
}

TEST_F(UiSheetsTest, PrinterPageShowsTheDriverAndChangesNothing) {
  std::u16string name = u"TextRelay";
  DEVICEPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.pszPrinterName = name.data();
  host::PropertySheet sheet(ui_.DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
  EXPECT_GT(sheet.init_result(), 0);
  EXPECT_THAT(sheet.problems(), ElementsAre());
  EXPECT_THAT(sheet.Choices(u"Driver"), ElementsAre(u"textrelay: text to the printer as raw bytes"));
  EXPECT_THAT(sheet.Choices(u"Version"), ElementsAre(TEXTRELAY_VERSION_TEXT));
  EXPECT_FALSE(sheet.Pick(u"Version", TEXTRELAY_VERSION_TEXT));
  EXPECT_EQ(sheet.Apply(), static_cast<ULONG_PTR>(CPSUI_OK));
}

TEST_F(UiSheetsTest, QueriesAndPrinterEventsAnswerAsDocumented) {
  Bytes record = UiDefaults();
  char16_t error[32] = u"untouched";
  DEVQUERYPRINT_INFO query{};
  query.cbSize = sizeof query;
  query.Level = 1;
  query.pDevMode = AsDevMode(record);
  query.pszErrorStr = reinterpret_cast<LPWSTR>(error);
  query.cchErrorStr = sizeof error;
  query.cchNeeded = 99;
  EXPECT_TRUE(ui_.DevQueryPrintEx(&query));
  EXPECT_EQ(query.cchNeeded, 0u);
  EXPECT_EQ(std::u16string(error), u"untouched");
  query.pDevMode = nullptr;
  EXPECT_TRUE(ui_.DevQueryPrintEx(&query));
  query.cbSize = sizeof query - 1;
  SetLastError(0);
  EXPECT_FALSE(ui_.DevQueryPrintEx(&query));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ui_.DevQueryPrintEx(nullptr));
  std::u16string name = u"TextRelay";
  for (INT event = PRINTER_EVENT_ADD_CONNECTION; event <= PRINTER_EVENT_ATTRIBUTES_CHANGED; ++event) {
    EXPECT_TRUE(ui_.DrvPrinterEvent(name.data(), event, 0, 0)) << event;
  }
}

}  // namespace
