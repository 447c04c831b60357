// The document properties without a sheet: the record's size, and the
// printer's defaults merged with a caller's record, byte for byte what the
// graphics driver builds from the same name and record.
#include <cstring>

#include "tests/ui_test.h"

namespace {

class UiDocumentCopyTest : public UiTest {};

// Caller's records of every kind, each exactly as long as its header says.
struct Caller {
  const char* what;
  uint16_t dmSize;
  uint16_t dmDriverExtra;
  void (*shape)(DrvDevMode&);
};

void OwnWithSettings(DrvDevMode& dm) {
  dm.dm.dmFields = DM_ORIENTATION | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES;
  dm.dm.dmOrientation = DMORIENT_LANDSCAPE;
  dm.dm.dmPaperWidth = 2000;
  dm.dm.dmPaperLength = 3000;
  dm.dm.dmCopies = 7;
  dm.byLineTerminator = 1;
  dm.byFormFeed = 1;
}
void RefusedValues(DrvDevMode& dm) {
  dm.dm.dmFields = DM_ORIENTATION | DM_PAPERWIDTH | DM_COPIES;
  dm.dm.dmOrientation = 3;
  dm.dm.dmPaperWidth = 2033;
  dm.dm.dmCopies = 0;
}
void Unchanged(DrvDevMode&) {}

constexpr Caller kCallers[] = {
    {"own record with settings", 220, 7008, OwnWithSettings},
    {"own record with refused values", 220, 7008, RefusedValues},
    {"plain public record", 220, 0, OwnWithSettings},
    {"older public part", 156, 0, OwnWithSettings},
    {"public part cut inside the paper width", 83, 0, OwnWithSettings},
    {"header only", 72, 0, OwnWithSettings},
    {"foreign private block", 220, 16, OwnWithSettings},
    {"own record unchanged", 220, 7008, Unchanged},
};

TEST_F(UiDocumentCopyTest, SizeWhenNothingIsAskedOrThereIsNowhereToCopy) {
  for (DWORD fMode : {0u, static_cast<DWORD>(DM_COPY), static_cast<DWORD>(DM_COPY | DM_PROMPT)}) {
    DOCUMENTPROPERTYHEADER header = Header(fMode, nullptr, nullptr, 5);
    EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), 7228);
    EXPECT_EQ(header.cbOut, 7228u);
  }
  Bytes out(7228, 0x5A);
  DOCUMENTPROPERTYHEADER header = Header(0, nullptr, AsDevMode(out), out.size());
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), 7228);
  EXPECT_EQ(out, Bytes(7228, 0x5A)) << "a size request writes no record";
}

TEST_F(UiDocumentCopyTest, DefaultsAreTheGraphicsDriversForEveryName) {
  for (const std::u16string& name :
       {std::u16string(u"TextRelay"), std::u16string(), std::u16string(31, u'N'),
        std::u16string(40, u'L'), std::u16string(400, u'\u00E9')}) {
    EXPECT_EQ(UiDefaults(name), DriverRecord(nullptr, name)) << name.size() << " units";
  }
}

TEST_F(UiDocumentCopyTest, CallersRecordIsMergedByTheGraphicsDriversRules) {
  for (const Caller& caller : kCallers) {
    SCOPED_TRACE(caller.what);
    Bytes full = OwnRecord();
    DrvDevMode& dm = *reinterpret_cast<DrvDevMode*>(full.data());
    caller.shape(dm);
    dm.dm.dmSize = caller.dmSize;
    dm.dm.dmDriverExtra = caller.dmDriverExtra;
    full.resize(caller.dmSize + caller.dmDriverExtra);
    auto in = Guarded(full);
    Bytes out(7228, 0x5A);
    DOCUMENTPROPERTYHEADER header =
        Header(DM_COPY | DM_MODIFY, AsDevMode(*in), AsDevMode(out), out.size());
    EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), CPSUI_OK);
    EXPECT_EQ(out, DriverRecord(AsDevMode(*in)));
  }
}

TEST_F(UiDocumentCopyTest, CallersRecordCountsOnlyWhenTheCallerSaysSo) {
  Bytes in = OwnRecord();
  OwnWithSettings(*reinterpret_cast<DrvDevMode*>(in.data()));
  Bytes out(7228, 0x5A);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY, AsDevMode(in), AsDevMode(out), out.size());
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), CPSUI_OK);
  EXPECT_EQ(out, UiDefaults());
  // A record that cannot even hold its header is refused, as every entry
  // point refuses it, and nothing is written.
  Bytes short_record = OwnRecord();
  AsDevMode(short_record)->dmSize = 71;
  short_record.resize(72);
  auto guarded = Guarded(short_record);
  Bytes untouched(7228, 0x5A);
  header = Header(DM_COPY | DM_MODIFY, AsDevMode(*guarded), AsDevMode(untouched), 7228);
  SetLastError(0);
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(untouched, Bytes(7228, 0x5A));
}

TEST_F(UiDocumentCopyTest, BadHeadersAndShortBuffersFailWithNothingWritten) {
  SetLastError(0);
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  Bytes out(7228, 0x5A);
  DOCUMENTPROPERTYHEADER header = Header(DM_COPY, nullptr, AsDevMode(out), out.size());
  header.cbSize = sizeof header - 1;
  SetLastError(0);
  EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  for (DWORD cbOut : {0u, 220u, 7227u}) {
    header = Header(DM_COPY, nullptr, AsDevMode(out), cbOut);
    SetLastError(0);
    EXPECT_EQ(ui_.DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header)), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
  EXPECT_EQ(out, Bytes(7228, 0x5A));
}

}  // namespace
