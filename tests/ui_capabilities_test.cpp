// What the interface says the printer can do, against what the graphics
// driver tells the engine for the same record.
#include <cstring>

#include "tests/ui_test.h"

namespace {

class UiCapabilitiesTest : public UiTest {
 protected:
  DWORD Ask(WORD index, void* output, DEVMODEW* record) {
    return ui_.DrvDeviceCapabilities(printer_, printer_name_.data(), index, output, record);
  }
};

// Every index with a meaning here, for the defaults: the answer, and the
// bytes written to an output buffer (empty for answers that are only a
// number).
struct Expected {
  WORD index;
  DWORD answer;
  Bytes written;
};

Bytes Wide(std::u16string text, size_t units) {
  text.resize(units, u'\0');
  Bytes b(units * 2);
  std::memcpy(b.data(), text.data(), b.size());
  return b;
}
Bytes Little(std::initializer_list<uint32_t> values, size_t width) {
  Bytes b;
  for (uint32_t v : values) {
    for (size_t i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return b;
}

const Expected kDefaults[] = {
    {DC_FIELDS, 0x50F, {}},
    {DC_PAPERS, 1, Little({256}, 2)},
    {DC_PAPERNAMES, 1, Wide(u"Custom size", 64)},
    {DC_PAPERSIZE, 1, Little({3779, 2794}, 4)},
    {DC_MINEXTENT, (3u << 16) | 1u, {}},
    {DC_MAXEXTENT, (9999u << 16) | 2032u, {}},
    {DC_BINS, 1, Little({8}, 2)},
    {DC_BINNAMES, 1, Wide(u"Tractor", 24)},
    {DC_DUPLEX, 0, {}},
    {DC_SIZE, 220, {}},
    {DC_EXTRA, 7008, {}},
    {DC_VERSION, 0x0401, {}},
    {DC_DRIVER, 0x0100, {}},
    {DC_ENUMRESOLUTIONS, 1, Little({203, 203}, 4)},
    {DC_FILEDEPENDENCIES, 0, {}},
    {DC_TRUETYPE, DCTT_BITMAP, {}},
    {DC_ORIENTATION, 0, {}},
    {DC_COPIES, 1000, {}},
    {DC_COLLATE, 0, {}},
    {DC_PERSONALITY, 0, {}},
    {DC_MEDIAREADY, 1, Wide(u"Custom size", 64)},
    {DC_STAPLE, 0, {}},
    {DC_COLORDEVICE, 0, {}},
    {DC_NUP, 1, Little({1}, 4)},
    {DC_MEDIATYPENAMES, 0, {}},
    {DC_MEDIATYPES, 0, {}},
};

TEST_F(UiCapabilitiesTest, EveryIndexForTheDefaultsCountsAndWritesExactly) {
  for (const Expected& e : kDefaults) {
    SCOPED_TRACE(testing::Message() << "index " << e.index);
    EXPECT_EQ(Ask(e.index, nullptr, nullptr), e.answer);
    Bytes out(e.written.size() + 16, 0x5A);
    EXPECT_EQ(Ask(e.index, out.data(), nullptr), e.answer);
    Bytes expected = e.written;
    expected.resize(out.size(), 0x5A);
    EXPECT_EQ(out, expected) << "written beyond the answer";
  }
  for (WORD unknown : {0, 19, 20, 21, 23, 24, 26, 27, 28, 31, 36, 1000, 0xFFFF}) {
    Bytes out(64, 0x5A);
    EXPECT_EQ(Ask(unknown, out.data(), nullptr), GDI_ERROR) << unknown;
    EXPECT_EQ(out, Bytes(64, 0x5A));
  }
}

// A caller's record changes the answers exactly as it changes the device the
// graphics driver makes from it.
TEST_F(UiCapabilitiesTest, AnswersAgreeWithTheGraphicsDriversGdiInfo) {
  struct Settings {
    int16_t orientation, width, length, copies;
  };
  const Settings settings[] = {{1, 3779, 2794, 1}, {2, 3779, 2794, 1}, {1, 2000, 3000, 5},
                               {2, 1, 3, 1000}, {1, 2032, 9999, 1}, {2, 2033, 10000, 1001}};
  for (Settings s : settings) {
    SCOPED_TRACE(testing::Message() << s.orientation << " " << s.width << "x" << s.length);
    Bytes record = OwnRecord();
    DEVMODEW* dm = AsDevMode(record);
    dm->dmFields = DM_ORIENTATION | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES;
    dm->dmOrientation = s.orientation;
    dm->dmPaperWidth = s.width;
    dm->dmPaperLength = s.length;
    dm->dmCopies = s.copies;
    host::Device device(driver_, dm, u"TextRelay", printer_);
    ASSERT_TRUE(device.ok());
    const GDIINFO& gdi = device.gdiinfo();
    const auto& merged = *reinterpret_cast<const DrvDevMode*>(device.dhpdev());

    LONG size[2] = {};
    ASSERT_EQ(Ask(DC_PAPERSIZE, size, dm), 1u);
    LONG dpi[2] = {};
    ASSERT_EQ(Ask(DC_ENUMRESOLUTIONS, dpi, dm), 1u);
    EXPECT_EQ(static_cast<ULONG>(dpi[0]), gdi.ulLogPixelsX);
    EXPECT_EQ(static_cast<ULONG>(dpi[1]), gdi.ulLogPixelsY);
    EXPECT_EQ(static_cast<ULONG>((size[0] * dpi[0] + 127) / 254), gdi.ulHorzRes);
    EXPECT_EQ(static_cast<ULONG>((size[1] * dpi[1] + 127) / 254), gdi.ulVertRes);
    EXPECT_EQ(size[0], merged.dm.dmPaperWidth);
    EXPECT_EQ(size[1], merged.dm.dmPaperLength);
    // The page is the paper in either orientation: no rotation to report.
    EXPECT_EQ(Ask(DC_ORIENTATION, nullptr, dm), 0u);
    EXPECT_EQ(gdi.szlPhysSize.cx, static_cast<LONG>(gdi.ulHorzRes));
    DWORD min = Ask(DC_MINEXTENT, nullptr, dm);
    DWORD max = Ask(DC_MAXEXTENT, nullptr, dm);
    EXPECT_EQ(static_cast<SHORT>(min & 0xFFFF), merged.sMinPaperWidth);
    EXPECT_EQ(static_cast<SHORT>(min >> 16), merged.sMinPaperLength);
    EXPECT_EQ(static_cast<SHORT>(max & 0xFFFF), merged.sMaxPaperWidth);
    EXPECT_EQ(static_cast<SHORT>(max >> 16), merged.sMaxPaperLength);
    EXPECT_EQ(Ask(DC_COPIES, nullptr, dm), static_cast<DWORD>(merged.sMaxCopies));
    EXPECT_EQ(Ask(DC_COLORDEVICE, nullptr, dm), gdi.ulNumColors > 2 ? 1u : 0u);
    EXPECT_EQ(Ask(DC_FIELDS, nullptr, dm), merged.dm.dmFields);
    EXPECT_EQ(Ask(DC_SIZE, nullptr, dm), merged.dm.dmSize);
    EXPECT_EQ(Ask(DC_EXTRA, nullptr, dm), merged.dm.dmDriverExtra);
  }
}

// A foreign record counts for what it holds; one that cannot even hold its
// header is refused, as every entry point refuses it.
TEST_F(UiCapabilitiesTest, ForeignRecordsCountAndHeaderlessOnesAreRefused) {
  LONG defaults[2] = {};
  ASSERT_EQ(Ask(DC_PAPERSIZE, defaults, nullptr), 1u);
  Bytes plain = OwnRecord();
  AsDevMode(plain)->dmDriverExtra = 0;
  AsDevMode(plain)->dmFields = DM_PAPERWIDTH;
  AsDevMode(plain)->dmPaperWidth = 1500;
  plain.resize(220);
  Bytes header_only = plain;
  AsDevMode(header_only)->dmSize = 72;
  header_only.resize(72);
  Bytes too_short = header_only;
  AsDevMode(too_short)->dmSize = 40;
  for (auto [record, width] : {std::pair{&plain, 1500}, {&header_only, 3779}}) {
    auto guarded = Guarded(*record);
    LONG size[2] = {};
    EXPECT_EQ(Ask(DC_PAPERSIZE, size, AsDevMode(*guarded)), 1u);
    EXPECT_EQ(size[0], width);
    EXPECT_EQ(size[1], defaults[1]);
  }
  auto guarded = Guarded(too_short);
  LONG size[2] = {7, 7};
  SetLastError(0);
  EXPECT_EQ(Ask(DC_PAPERSIZE, size, AsDevMode(*guarded)), static_cast<DWORD>(GDI_ERROR));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(size[0], 7);
}

}  // namespace

// Without a caller's record both the capabilities and the document's
// record come from the print queue's own default, read through the spooler
// with the handle given: the user's (level 9) before the printer's
// (level 2). A queue record that is broken, or claims more than the spooler
// handed over, leaves the built-in defaults; a caller's record wins.
TEST_F(UiCapabilitiesTest, QueueDefaultsStandInForAMissingRecord) {
  auto roll = [](SHORT width) {
    Bytes record = OwnRecord();
    AsDevMode(record)->dmFields = DM_PAPERWIDTH;
    AsDevMode(record)->dmPaperWidth = width;
    return record;
  };
  Bytes broken = roll(700);
  AsDevMode(broken)->dmSize = 40;
  Bytes overlong = roll(700);
  overlong.resize(1000);
  LONG builtin[2] = {};
  ASSERT_EQ(Ask(DC_PAPERSIZE, builtin, nullptr), 1u);
  struct Case {
    const char* what;
    Bytes level2, level9;
    LONG width;
  };
  const Case cases[] = {
      {"printer's default", roll(800), {}, 800},
      {"user's default first", roll(800), roll(580), 580},
      {"broken user's default", roll(800), broken, 800},
      {"broken printer's default", broken, {}, builtin[0]},
      {"record cut short", overlong, {}, builtin[0]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    engine().spooler.SetDefaultRecord(printer_, 2, c.level2);
    engine().spooler.SetDefaultRecord(printer_, 9, c.level9);
    LONG size[2] = {};
    EXPECT_EQ(Ask(DC_PAPERSIZE, size, nullptr), 1u);
    EXPECT_EQ(size[0], c.width);
    Bytes out(7228, 0);
    DOCUMENTPROPERTYHEADER header = Header(DM_COPY, nullptr, AsDevMode(out), 7228);
    header.hPrinter = printer_;
    EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), CPSUI_OK);
    EXPECT_EQ(AsDevMode(out)->dmPaperWidth, c.width);
  }
  Bytes caller = roll(1500);
  LONG size[2] = {};
  EXPECT_EQ(Ask(DC_PAPERSIZE, size, AsDevMode(caller)), 1u);
  EXPECT_EQ(size[0], 1500);
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}
