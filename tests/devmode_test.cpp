// Device settings: the default record byte for byte,
// name cutting, every merge boundary, the validity check and its trace, and
// sources shorter than a DEVMODEW.
//
// Offsets and values are written out here from the record's layout rather
// than taken from devmode/, so the golden record does not come from the
// code it checks.
#include "devmode/devmode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/checker/guarded_buffer.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr size_t kRecordBytes = 7228;
constexpr size_t kPublicBytes = 220;

// Byte offsets of the record, spelled out.
constexpr size_t kDeviceName = 0;
constexpr size_t kSpecVersion = 64;
constexpr size_t kDriverVersion = 66;
constexpr size_t kSize = 68;
constexpr size_t kDriverExtra = 70;
constexpr size_t kFields = 72;
constexpr size_t kOrientation = 76;
constexpr size_t kPaperSize = 78;
constexpr size_t kPaperLength = 80;
constexpr size_t kPaperWidth = 82;
constexpr size_t kCopies = 86;
constexpr size_t kPrintQuality = 90;
constexpr size_t kPrivateName = 740;
constexpr size_t kMinPaperLength = 1328;
constexpr size_t kMaxPaperLength = 1330;
constexpr size_t kMaxCopies = 1412;
constexpr size_t kLineTerminator = 7226;
constexpr size_t kFormFeed = 7227;

struct Written {
  size_t ib;
  size_t cj;
  uint32_t value;  // little-endian, zero beyond its fourth byte
};

// The public defaults: offsets 64 to 99.
const Written kPublicDefaults[] = {
    {64, 2, 0x0401}, {66, 2, 0x0100}, {68, 2, 220},  {70, 2, 7008}, {72, 4, 0x50F}, {76, 2, 1},
    {78, 2, 256},    {80, 2, 2794},   {82, 2, 3779}, {84, 2, 100},  {86, 2, 1},     {88, 2, 8},
    {90, 2, 203},    {92, 2, 1},      {94, 2, 1},    {96, 2, 203},  {98, 2, 1},
};

// The private defaults, every field the builder writes.
const Written kPrivateDefaults[] = {
    {1324, 2, 203},  {1326, 2, 1},    {1328, 2, 3},      {1330, 2, 9999},   {1332, 2, 1},
    {1334, 2, 2032}, {1336, 2, 0},    {1338, 2, 30},     {1340, 2, 15},     {1342, 2, 254},
    {1344, 2, 2540}, {1346, 2, 2540}, {1348, 2, 254},    {1350, 2, 2540},   {1352, 2, 2540},
    {1354, 2, 254},  {1356, 2, 2540}, {1358, 2, 2540},   {1360, 2, 0},      {1362, 2, 9999},
    {1364, 2, 0},    {1366, 2, 0},    {1368, 2, 9999},   {1370, 2, 0},      {1372, 4, 0},
    {1376, 4, 0},    {1380, 4, 0},    {1384, 4, 0},      {1388, 2, 0xFDD1}, {1390, 2, 440},
    {1392, 2, 0},    {1400, 4, 0},    {1404, 2, 0xFDD1}, {1406, 2, 9440},   {1408, 2, 0},
    {1410, 2, 1},    {1412, 2, 1000}, {1420, 4, 0},      {1424, 4, 0},      {1428, 4, 0},
    {1436, 4, 0},    {1440, 4, 0},    {1444, 4, 0},      {1448, 4, 0},      {1452, 4, 0},
    {1456, 2, 0},    {1458, 2, 1},    {1460, 4, 0},      {1464, 2, 8},      {1466, 2, 2},
    {1468, 4, 0},    {1472, 4, 0},    {1476, 4, 0},      {1480, 4, 0},      {1484, 4, 0},
    {1488, 4, 0},    {6856, 21, 0},   {6880, 2, 0},      {6882, 2, 0},      {6884, 4, 0},
    {6888, 4, 0},    {6892, 4, 0},    {6896, 4, 0},      {6900, 4, 0},      {6904, 2, 80},
    {6906, 1, 0},    {6970, 1, 0},    {7034, 1, 0},      {7098, 1, 0},      {7226, 1, 0},
    {7227, 1, 0},
};

// The ranges the builder never writes, besides the name fields' tails:
// the public fields from 100 on and the private ranges listed as opaque.
const Written kNotWritten[] = {
    {100, 120, 0}, {220, 520, 0}, {1394, 6, 0},  {1414, 6, 0},  {1432, 4, 0},   {1492, 5364, 0},
    {6877, 3, 0},  {6907, 63, 0}, {6971, 63, 0}, {7035, 63, 0}, {7099, 127, 0},
};

// Offsets the tables above write twice or neither write nor list as not
// written; empty when, with the two names, they cover the record once.
std::vector<size_t> TableGaps() {
  std::vector<int> count(kRecordBytes, 0);
  auto mark = [&](size_t ib, size_t cj) {
    for (size_t i = ib; i < ib + cj; ++i) ++count[i];
  };
  for (const Written& w : kPublicDefaults) mark(w.ib, w.cj);
  for (const Written& w : kPrivateDefaults) mark(w.ib, w.cj);
  for (const Written& w : kNotWritten) mark(w.ib, w.cj);
  mark(kDeviceName, 64);
  mark(kPrivateName, 584);
  std::vector<size_t> gaps;
  for (size_t i = 0; i < kRecordBytes; ++i) {
    if (count[i] != 1) gaps.push_back(i);
  }
  return gaps;
}

void Put(Bytes& b, size_t ib, size_t cj, uint32_t value) {
  for (size_t i = 0; i < cj; ++i) b[ib + i] = i < 4 ? static_cast<uint8_t>(value >> (8 * i)) : 0;
}
void Put(uint8_t* pb, size_t ib, size_t cj, uint32_t value) {
  for (size_t i = 0; i < cj; ++i) pb[ib + i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t Get(const Bytes& b, size_t ib, size_t cj) {
  uint32_t value = 0;
  for (size_t i = cj; i > 0; --i) value = (value << 8) | b[ib + i - 1];
  return value;
}

// A name as a field of cch units must hold it: at most cch - 1 units and a
// NUL; the units after the NUL are not written.
void PutName(Bytes& b, size_t ib, size_t cch, const std::u16string& name) {
  size_t cut = std::min(name.size(), cch - 1);
  for (size_t i = 0; i < cut; ++i) Put(b, ib + 2 * i, 2, name[i]);
  Put(b, ib + 2 * cut, 2, 0);
}

// The record GetDefaultDrvDevMode must leave behind, in the builder's order.
Bytes Golden(const Bytes& before, const std::u16string& name) {
  Bytes b = before;
  PutName(b, kDeviceName, 32, name);
  for (const Written& w : kPublicDefaults) Put(b, w.ib, w.cj, w.value);
  PutName(b, kPrivateName, 292, name);
  for (const Written& w : kPrivateDefaults) Put(b, w.ib, w.cj, w.value);
  return b;
}

// Bytes 0x41 to 0xFE: never 0, and never equal to the same byte of the
// complement, so over one pattern or the other every written byte changes.
Bytes Pattern() {
  Bytes b(kRecordBytes);
  for (size_t i = 0; i < b.size(); ++i)
    b[i] = static_cast<uint8_t>(0x41 + (i * 37 + i / 251) % 190);
  return b;
}
Bytes Complement(Bytes b) {
  for (uint8_t& x : b) x = static_cast<uint8_t>(~x);
  return b;
}

// The first differing offsets, readable; empty when the records agree.
std::string Differences(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) return "sizes differ";
  std::string out;
  int shown = 0;
  for (size_t i = 0; i < actual.size() && shown < 12; ++i) {
    if (actual[i] == expected[i]) continue;
    char line[64];
    std::snprintf(line, sizeof line, "\n  offset %zu: %02x, expected %02x", i, actual[i],
                  expected[i]);
    out += line;
    ++shown;
  }
  return out;
}

Bytes BytesOf(const void* pv, size_t cb) {
  const uint8_t* pb = static_cast<const uint8_t*>(pv);
  return Bytes(pb, pb + cb);
}

std::u16string NameOf(size_t cch) {
  std::u16string name;
  for (size_t i = 0; i < cch; ++i) name += static_cast<char16_t>(u'A' + i % 26);
  return name;
}

struct Header {
  uint16_t spec = 0x0401;
  uint16_t driver = 0x0100;
  uint16_t size = 220;
  uint16_t extra = 7008;
};
void PutHeader(uint8_t* pb, const Header& h) {
  Put(pb, kSpecVersion, 2, h.spec);
  Put(pb, kDriverVersion, 2, h.driver);
  Put(pb, kSize, 2, h.size);
  Put(pb, kDriverExtra, 2, h.extra);
}

// The six lines IsValidDrvDevMode writes for a record at pv.
Lines ValidityLines(const void* pv, const Header& h) {
  auto is = [](bool valid) { return std::string(valid ? "Valid" : "Invalid"); };
  bool valid = h.spec == 0x0401 && h.driver == 0x0100 && h.size == 220 && h.extra == 7008;
  return {Line("IsValidDrvDevMode: lpDrvDevMode [" + Hex8(pv) + "]."),
          Line("IsValidDrvDevMode: SpecVersion   is [" + is(h.spec == 0x0401) + "]."),
          Line("IsValidDrvDevMode: DriverVersion is [" + is(h.driver == 0x0100) + "]."),
          Line("IsValidDrvDevMode: Size          is [" + is(h.size == 220) + "]."),
          Line("IsValidDrvDevMode: DriverExtra   is [" + is(h.extra == 7008) + "]."),
          Line(std::string("IsValidDrvDevMode: Returning [") + (valid ? "1" : "0") + "].")};
}

const std::u16string kName = u"LP";

class DevModeTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Rebuild();
  }

  // A fresh destination: the defaults over a zeroed record, as at load.
  void Rebuild() {
    dst_ = std::make_unique<DrvDevMode>();
    std::memset(dst_.get(), 0, sizeof(DrvDevMode));
    GetDefaultDrvDevMode(kName.c_str(), dst_.get());
    defaults_ = Record();
    ClearOutput();
  }

  Bytes Record() const { return BytesOf(dst_.get(), kRecordBytes); }

  // Merges the source into the defaults and returns the trace it wrote.
  Lines Merge(const void* src) {
    ClearOutput();
    MergeDevModes(dst_.get(), static_cast<const DEVMODEW*>(src));
    return trace();
  }

  std::string MergeLine(const void* src) const {
    return Line("MergeDevModes: lpDrvDevModeSrc [" + Hex8(src) + "], lpDrvDevModeDst [" +
                Hex8(dst_.get()) + "].");
  }

  // The whole trace of a merge: the first line, the per-field lines, the
  // validity check and its verdict.
  Lines MergeTrace(const void* src, const Lines& fields, const Header& h) const {
    Lines lines = {MergeLine(src)};
    lines.insert(lines.end(), fields.begin(), fields.end());
    Lines validity = ValidityLines(src, h);
    lines.insert(lines.end(), validity.begin(), validity.end());
    bool valid = validity.back() == Line("IsValidDrvDevMode: Returning [1].");
    lines.push_back(Line(valid ? "MergeDevModes: Source is a valid DrvDevMode."
                               : "MergeDevModes: lpDrvDevModeSrc is an invalid DrvDevMode!"));
    return lines;
  }

  std::unique_ptr<DrvDevMode> dst_;
  Bytes defaults_;
};

// A whole caller's record: the public part and 7008 private bytes, filled
// with a pattern under the given header.
Bytes FullSource(const Header& h, uint32_t dwFields) {
  Bytes b = Complement(Pattern());
  PutHeader(b.data(), h);
  Put(b, kFields, 4, dwFields);
  return b;
}

// ---------------------------------------------------------------------------
// The default record

TEST_F(DevModeTest, Defaults_GoldenRecordOverPatternComplementAndZeros) {
  ASSERT_THAT(TableGaps(), ElementsAre()) << "the test's own tables are wrong";
  for (const Bytes& before : {Pattern(), Complement(Pattern()), Bytes(kRecordBytes, 0)}) {
    auto record = std::make_unique<DrvDevMode>();
    std::memcpy(record.get(), before.data(), kRecordBytes);
    ClearOutput();
    GetDefaultDrvDevMode(kName.c_str(), record.get());
    EXPECT_EQ(Differences(BytesOf(record.get(), kRecordBytes), Golden(before, kName)), "");
    EXPECT_THAT(trace(), ElementsAre(Line("GetDefaultDrvDevMode: Device Name [LP]")));
  }
}

TEST_F(DevModeTest, Defaults_AreOurOwnPortraitPageWithoutTerminatorOrFormFeed) {
  EXPECT_EQ(IsValidDrvDevMode(&dst_->dm), TRUE);
  EXPECT_EQ(dst_->dm.dmFields, 0x50Fu);
  EXPECT_EQ(dst_->dm.dmOrientation, 1);
  EXPECT_EQ(dst_->dm.dmPaperLength, 2794);
  EXPECT_EQ(dst_->dm.dmPaperWidth, 3779);
  EXPECT_GT(dst_->dm.dmPaperWidth, dst_->sMaxPaperWidth);
  EXPECT_EQ(dst_->byLineTerminator, 0);
  EXPECT_EQ(dst_->byFormFeed, 0);
}

// Device creation reuses one record: building again writes the same values
// and leaves what an earlier merge put in the unwritten bytes.
TEST_F(DevModeTest, Defaults_BuiltTwiceOverAMergedRecord) {
  Bytes src = FullSource(Header{}, 0);
  Merge(src.data());
  Bytes merged = Record();
  GetDefaultDrvDevMode(kName.c_str(), dst_.get());
  EXPECT_EQ(Differences(Record(), Golden(merged, kName)), "");
  EXPECT_EQ(Get(Record(), 220, 4), Get(src, 220, 4)) << "an unwritten private byte was cleared";
}

TEST_F(DevModeTest, Defaults_TraceShowsTheNameAs8BitText) {
  ClearOutput();
  GetDefaultDrvDevMode(u"Q\u00E9\u4E2D!", dst_.get());
  EXPECT_THAT(trace(), ElementsAre(Line("GetDefaultDrvDevMode: Device Name [Q\xE9?!]")));
  EXPECT_EQ(dst_->dm.dmDeviceName[2], u'\u4E2D') << "the record keeps the name unnarrowed";
}

// ---------------------------------------------------------------------------
// Name cutting

TEST_F(DevModeTest, Names_CutToEachFieldWithTheBytesAfterItUntouched) {
  // 600 units would run far into unwritten bytes if either copy were uncut.
  for (size_t cch : {size_t{31}, size_t{32}, size_t{291}, size_t{292}, size_t{600}}) {
    std::u16string name = NameOf(cch);
    Bytes before = Pattern();
    auto record = std::make_unique<DrvDevMode>();
    std::memcpy(record.get(), before.data(), kRecordBytes);
    ClearOutput();
    GetDefaultDrvDevMode(name.c_str(), record.get());
    Bytes after = BytesOf(record.get(), kRecordBytes);
    EXPECT_EQ(Differences(after, Golden(before, name)), "") << cch << " units";

    EXPECT_EQ(record->dm.dmDeviceName[30], name[30]) << cch;
    EXPECT_EQ(record->dm.dmDeviceName[31], 0) << cch;
    EXPECT_EQ(Get(after, kSpecVersion, 2), 0x0401u) << cch;
    EXPECT_EQ(Get(after, 100, 4), Get(before, 100, 4)) << cch << ": past the public defaults";
    if (cch >= 291) {
      EXPECT_EQ(record->wszPrivateDeviceName[290], name[290]) << cch;
      EXPECT_EQ(record->wszPrivateDeviceName[291], 0) << cch;
    } else {
      EXPECT_EQ(record->wszPrivateDeviceName[cch], 0) << cch;
      EXPECT_EQ(Get(after, kPrivateName + 2 * cch + 2, 2),
                Get(before, kPrivateName + 2 * cch + 2, 2))
          << cch << ": the unit after the NUL";
    }
    EXPECT_EQ(Get(after, 1324, 2), 203u) << cch << ": the field after the private name";
    EXPECT_EQ(Get(after, 1394, 6), Get(before, 1394, 6)) << cch;

    // The trace shows as much of the name as the record can keep.
    std::string shown(std::min(cch, size_t{291}), '\0');
    for (size_t i = 0; i < shown.size(); ++i) shown[i] = static_cast<char>(name[i]);
    EXPECT_THAT(trace(), ElementsAre(Line("GetDefaultDrvDevMode: Device Name [" + shown + "]")));
  }
}

// ---------------------------------------------------------------------------
// Merge boundaries, against the defaults

struct Boundary {
  uint32_t dwField;
  size_t ib;
  const char* pszBit;
  const char* pszName;
  int16_t value;
  bool taken;
};

const Boundary kBoundaries[] = {
    {0x4, kPaperLength, "DM_PAPERLENGTH", "PaperLength", 2, false},
    {0x4, kPaperLength, "DM_PAPERLENGTH", "PaperLength", 3, true},
    {0x4, kPaperLength, "DM_PAPERLENGTH", "PaperLength", 9999, true},
    {0x4, kPaperLength, "DM_PAPERLENGTH", "PaperLength", 10000, false},
    {0x4, kPaperLength, "DM_PAPERLENGTH", "PaperLength", -1, false},
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", 0, false},
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", 1, true},
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", 2032, true},
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", 2033, false},
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", 3779, false},  // the default itself
    {0x8, kPaperWidth, "DM_PAPERWIDTH", "PaperWidth", -1, false},
    {0x100, kCopies, "DM_COPIES", "Copies", 0, false},
    {0x100, kCopies, "DM_COPIES", "Copies", 1, true},
    {0x100, kCopies, "DM_COPIES", "Copies", 1000, true},
    {0x100, kCopies, "DM_COPIES", "Copies", 1001, false},
    {0x100, kCopies, "DM_COPIES", "Copies", -1, false},
    {0x1, kOrientation, "DM_ORIENTATION", "Orientation", 0, false},
    {0x1, kOrientation, "DM_ORIENTATION", "Orientation", 1, true},
    {0x1, kOrientation, "DM_ORIENTATION", "Orientation", 2, true},
    {0x1, kOrientation, "DM_ORIENTATION", "Orientation", 3, false},
    {0x1, kOrientation, "DM_ORIENTATION", "Orientation", -1, false},
};

// Values each field would take if it were read: in range, and not the
// defaults.
void PutTakeableValues(uint8_t* pb) {
  Put(pb, kOrientation, 2, 2);
  Put(pb, kPaperLength, 2, 1234);
  Put(pb, kPaperWidth, 2, 1500);
  Put(pb, kCopies, 2, 7);
}

// The plain DEVMODEW of the platform: no private block behind it.
constexpr Header kPlain = {0x0401, 0x0100, 220, 0};

TEST_F(DevModeTest, Merge_EveryBoundaryAgainstTheDefaults) {
  for (const Boundary& c : kBoundaries) {
    Rebuild();
    host::GuardedBuffer src(kPublicBytes);
    std::memset(src.data(), 0, kPublicBytes);
    PutHeader(src.data(), kPlain);
    PutTakeableValues(src.data());  // announced by no bit but the case's
    Put(src.data(), kFields, 4, c.dwField);
    Put(src.data(), c.ib, 2, static_cast<uint16_t>(c.value));

    Lines lines = Merge(src.data());

    Bytes expected = defaults_;
    if (c.taken) Put(expected, c.ib, 2, static_cast<uint16_t>(c.value));
    std::string value = std::to_string(c.value);
    std::string verdict = c.taken
                              ? std::string("MergeDevModes: New ") + c.pszName + " [" + value + "]."
                              : std::string("MergeDevModes: ") + c.pszName + " " + value +
                                    " out of range; using old value.";
    EXPECT_EQ(Differences(Record(), expected), "") << c.pszName << " " << c.value;
    EXPECT_THAT(
        lines, ElementsAreArray(MergeTrace(
                   src.data(),
                   {Line(std::string("MergeDevModes: ") + c.pszBit + "."), Line(verdict)}, kPlain)))
        << c.pszName << " " << c.value;
  }
}

TEST_F(DevModeTest, Merge_ClearBitsAreNeitherTakenNorTracedButAValidBlockStillComes) {
  Bytes src = FullSource(Header{}, 0);
  PutTakeableValues(src.data());
  Lines lines = Merge(src.data());
  Bytes expected = defaults_;
  std::copy(src.begin() + kPublicBytes, src.end(), expected.begin() + kPublicBytes);
  EXPECT_EQ(Differences(Record(), expected), "");
  EXPECT_THAT(lines, ElementsAreArray(MergeTrace(src.data(), {}, Header{})));
}

TEST_F(DevModeTest, Merge_PaperSizeAloneChangesNothing) {
  host::GuardedBuffer src(kPublicBytes);
  std::memset(src.data(), 0, kPublicBytes);
  PutHeader(src.data(), kPlain);
  PutTakeableValues(src.data());
  Put(src.data(), kFields, 4, 0x2);
  Put(src.data(), kPaperSize, 2, 9);  // DMPAPER_A4
  Lines lines = Merge(src.data());
  EXPECT_EQ(Differences(Record(), defaults_), "");
  EXPECT_EQ(dst_->dm.dmPaperSize, 256);
  EXPECT_EQ(dst_->dm.dmPaperLength, 2794);
  EXPECT_EQ(dst_->dm.dmPaperWidth, 3779);
  EXPECT_THAT(lines, ElementsAreArray(MergeTrace(src.data(), {}, kPlain)));
}

// Every bit set and every other public byte different: only the four
// settings move; the names, the header, dmFields and the resolution stay.
TEST_F(DevModeTest, Merge_TakesOnlyTheFourSettings) {
  Bytes src = Complement(Pattern());
  src.resize(kPublicBytes);
  PutHeader(src.data(), kPlain);
  Put(src, kFields, 4, 0xFFFFFFFF);
  PutTakeableValues(src.data());
  Put(src, kPrintQuality, 2, 300);
  Merge(src.data());
  Bytes expected = defaults_;
  PutTakeableValues(expected.data());
  EXPECT_EQ(Differences(Record(), expected), "");
  EXPECT_EQ(dst_->dm.dmFields, 0x50Fu);
  EXPECT_EQ(dst_->dm.dmPrintQuality, 203);
}

// The destination's limits decide, compared as signed values; the source's
// own arrive only afterwards with its private block.
TEST_F(DevModeTest, Merge_LimitsAreTheDestinationsComparedSigned) {
  dst_->sMinPaperLength = -10;
  dst_->sMaxPaperLength = -2;
  dst_->sMaxCopies = 5;
  Bytes src = FullSource(Header{}, 0x4 | 0x100);
  Put(src, kPaperLength, 2, static_cast<uint16_t>(-5));
  Put(src, kCopies, 2, 6);
  Put(src, kMinPaperLength, 2, 3);
  Put(src, kMaxPaperLength, 2, 9999);
  Put(src, kMaxCopies, 2, 5000);
  Lines lines = Merge(src.data());
  EXPECT_EQ(dst_->dm.dmPaperLength, -5);
  EXPECT_EQ(dst_->dm.dmCopies, 1);
  EXPECT_EQ(dst_->sMaxCopies, 5000) << "the source's limits land with its block";
  EXPECT_THAT(lines,
              ElementsAreArray(MergeTrace(
                  src.data(),
                  {Line("MergeDevModes: DM_PAPERLENGTH."),
                   Line("MergeDevModes: New PaperLength [-5]."), Line("MergeDevModes: DM_COPIES."),
                   Line("MergeDevModes: Copies 6 out of range; using old value.")},
                  Header{})));
}

// ---------------------------------------------------------------------------
// Validity

TEST_F(DevModeTest, Validity_PlainDevModeMergesPublicFieldsAndKeepsThePrivateBlock) {
  // Nothing lies behind the 220 bytes: a copy of a private block would fault.
  host::GuardedBuffer src(kPublicBytes);
  std::memset(src.data(), 0, kPublicBytes);
  PutHeader(src.data(), kPlain);
  Put(src.data(), kFields, 4, 0x1 | 0x4 | 0x8 | 0x100);
  PutTakeableValues(src.data());
  Lines lines = Merge(src.data());
  Bytes expected = defaults_;
  PutTakeableValues(expected.data());
  EXPECT_EQ(Differences(Record(), expected), "");
  EXPECT_THAT(
      lines,
      ElementsAreArray(MergeTrace(
          src.data(),
          {Line("MergeDevModes: DM_ORIENTATION."), Line("MergeDevModes: New Orientation [2]."),
           Line("MergeDevModes: DM_PAPERLENGTH."), Line("MergeDevModes: New PaperLength [1234]."),
           Line("MergeDevModes: DM_PAPERWIDTH."), Line("MergeDevModes: New PaperWidth [1500]."),
           Line("MergeDevModes: DM_COPIES."), Line("MergeDevModes: New Copies [7].")},
          kPlain)));
  EXPECT_EQ(lines[13], Line("IsValidDrvDevMode: DriverExtra   is [Invalid]."));
  EXPECT_EQ(lines.back(), Line("MergeDevModes: lpDrvDevModeSrc is an invalid DrvDevMode!"));
}

TEST_F(DevModeTest, Validity_ValidSourceBringsItsTerminatorAndFormFeed) {
  Bytes src = FullSource(Header{}, 0);
  src[kLineTerminator] = 1;
  src[kFormFeed] = 1;
  Lines lines = Merge(src.data());
  Bytes expected = defaults_;
  std::copy(src.begin() + kPublicBytes, src.end(), expected.begin() + kPublicBytes);
  EXPECT_EQ(Differences(Record(), expected), "");
  EXPECT_EQ(dst_->byLineTerminator, 1);
  EXPECT_EQ(dst_->byFormFeed, 1);
  EXPECT_EQ(lines.back(), Line("MergeDevModes: Source is a valid DrvDevMode."));
}

// Each header field alone makes a record not ours; all four are traced.
TEST_F(DevModeTest, Validity_EachHeaderFieldDecidesAndTheBlockStays) {
  const Header kWrong[] = {
      {0x0400, 0x0100, 220, 7008}, {0x0401, 0x0101, 220, 7008}, {0x0401, 0x0100, 221, 7008},
      {0x0401, 0x0100, 220, 7007}, {0x0401, 0x0100, 156, 7008},
  };
  for (const Header& h : kWrong) {
    Rebuild();
    Bytes src = FullSource(h, 0);
    src[kLineTerminator] = 1;
    src[kFormFeed] = 1;
    Lines lines = Merge(src.data());
    EXPECT_EQ(Differences(Record(), defaults_), "") << std::hex << h.spec << " " << h.size;
    EXPECT_EQ(dst_->byLineTerminator, 0);
    EXPECT_EQ(dst_->byFormFeed, 0);
    EXPECT_THAT(lines, ElementsAreArray(MergeTrace(src.data(), {}, h)));

    ClearOutput();
    EXPECT_EQ(IsValidDrvDevMode(reinterpret_cast<const DEVMODEW*>(src.data())), FALSE);
    EXPECT_THAT(trace(), ElementsAreArray(ValidityLines(src.data(), h)));
  }
}

TEST_F(DevModeTest, Validity_NullTracesThreeLines) {
  EXPECT_EQ(IsValidDrvDevMode(nullptr), FALSE);
  EXPECT_THAT(trace(), ElementsAre(Line("IsValidDrvDevMode: lpDrvDevMode [00000000]."),
                                   Line("IsValidDrvDevMode: lpDrvDevMode is NULL."),
                                   Line("IsValidDrvDevMode: Returning [0].")));
}

// Only offsets 64 to 71 are read: a record that ends there is enough.
TEST_F(DevModeTest, Validity_ValidRecordTracesSixLinesAndReadsOnlyTheHeader) {
  host::GuardedBuffer header(72);
  std::memset(header.data(), 0, 72);
  PutHeader(header.data(), Header{});
  EXPECT_EQ(IsValidDrvDevMode(reinterpret_cast<const DEVMODEW*>(header.data())), TRUE);
  EXPECT_THAT(trace(),
              ElementsAre(Line("IsValidDrvDevMode: lpDrvDevMode [" + Hex8(header.data()) + "]."),
                          Line("IsValidDrvDevMode: SpecVersion   is [Valid]."),
                          Line("IsValidDrvDevMode: DriverVersion is [Valid]."),
                          Line("IsValidDrvDevMode: Size          is [Valid]."),
                          Line("IsValidDrvDevMode: DriverExtra   is [Valid]."),
                          Line("IsValidDrvDevMode: Returning [1].")));
}

// ---------------------------------------------------------------------------
// Sources shorter than a DEVMODEW: what dmSize leaves out is not there

// dmSize 72 to 75 does not hold dmFields. A 72-byte source ends at the
// guard page, so reading dmFields faults; in a 76-byte one dmFields has every
// bit set and reading any field behind it faults.
TEST_F(DevModeTest, Short_SourceWithoutDmFieldsTakesNoPublicField) {
  for (uint16_t cb : {72, 74, 75}) {
    Rebuild();
    const size_t cbBuffer = cb == 72 ? 72 : 76;
    host::GuardedBuffer src(cbBuffer);
    std::memset(src.data(), 0, cbBuffer);
    Header h = {0x0401, 0x0100, cb, 0};
    PutHeader(src.data(), h);
    if (cbBuffer > kFields) Put(src.data(), kFields, 4, 0xFFFFFFFF);
    Lines lines = Merge(src.data());
    EXPECT_EQ(Differences(Record(), defaults_), "") << cb;
    EXPECT_THAT(lines, ElementsAreArray(MergeTrace(src.data(), {}, h))) << cb;
  }
}

TEST_F(DevModeTest, Short_SourceEndingBeforeDmCopiesTakesWhatItHolds) {
  // 88 bytes keep the buffer aligned; dmCopies is there but dmSize leaves it out.
  host::GuardedBuffer src(88);
  std::memset(src.data(), 0, 88);
  Header h = {0x0401, 0x0100, 86, 0};
  PutHeader(src.data(), h);
  Put(src.data(), kFields, 4, 0x1 | 0x4 | 0x8 | 0x100);
  PutTakeableValues(src.data());
  Lines lines = Merge(src.data());
  Bytes expected = defaults_;
  PutTakeableValues(expected.data());
  Put(expected, kCopies, 2, 1);
  EXPECT_EQ(Differences(Record(), expected), "");
  EXPECT_THAT(
      lines,
      ElementsAreArray(MergeTrace(
          src.data(),
          {Line("MergeDevModes: DM_ORIENTATION."), Line("MergeDevModes: New Orientation [2]."),
           Line("MergeDevModes: DM_PAPERLENGTH."), Line("MergeDevModes: New PaperLength [1234]."),
           Line("MergeDevModes: DM_PAPERWIDTH."), Line("MergeDevModes: New PaperWidth [1500].")},
          h)));
}

// A field must lie whole inside dmSize: 87 bytes leave half of dmCopies out.
TEST_F(DevModeTest, Short_FieldHalfInsideDmSizeIsNotThere) {
  for (uint16_t cb : {87, 88}) {
    Rebuild();
    host::GuardedBuffer src(88);
    std::memset(src.data(), 0, 88);
    Header h = {0x0401, 0x0100, cb, 0};
    PutHeader(src.data(), h);
    Put(src.data(), kFields, 4, 0x100);
    Put(src.data(), kCopies, 2, 7);
    Lines lines = Merge(src.data());
    EXPECT_EQ(dst_->dm.dmCopies, cb == 88 ? 7 : 1) << cb;
    EXPECT_EQ(lines.size(), cb == 88 ? 10u : 8u) << cb;
  }
}

}  // namespace
