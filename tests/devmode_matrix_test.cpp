// Device creation from callers' device modes of every size the header can
// claim, each ending at an inaccessible page: nothing outside the record is
// read, and the device gets the defaults plus what the merge accepts.
#include <algorithm>
#include <cstring>
#include <memory>

#include "devmode/devmode.h"
#include "host/checker/guarded_buffer.h"
#include "tests/engine_test.h"

using ::testing::Contains;
using ::testing::Not;

namespace {

constexpr WORD kSizes[] = {0, 71, 75, 87, 156, 218, 220, 284, 0xFFFF};
constexpr WORD kExtras[] = {0, 1, 7007, 7008, 7009, 0xFFFF};
constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);
constexpr int kDpi = 203;

ULONG Pixels(int tenths_of_mm) { return static_cast<ULONG>((tenths_of_mm * kDpi + 127) / 254); }

// The caller's record, dmSize + dmDriverExtra bytes (never less than the
// header), rounded up to its alignment as any engine block is, with the
// inaccessible page right behind it. Its bytes are those of source, cut or
// padded with zeros.
std::unique_ptr<host::GuardedBuffer> CallerRecord(const DrvDevMode& source) {
  const size_t claimed = std::max<size_t>(kHeaderBytes, source.dm.dmSize + source.dm.dmDriverExtra);
  const size_t align = alignof(DEVMODEW);
  auto buffer = std::make_unique<host::GuardedBuffer>((claimed + align - 1) / align * align);
  std::memset(buffer->data(), 0, buffer->size());
  std::memcpy(buffer->data(), &source, std::min(sizeof source, claimed));
  return buffer;
}

// Every public setting announced and in range, and the private block asking
// for CR LF and a form feed: what the device shows tells what was taken.
DrvDevMode Source(WORD dmSize, WORD dmDriverExtra) {
  DrvDevMode source{};
  GetDefaultDrvDevMode(u"Caller", &source);
  source.dm.dmSize = dmSize;
  source.dm.dmDriverExtra = dmDriverExtra;
  source.dm.dmFields = DM_ORIENTATION | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES;
  source.dm.dmOrientation = DMORIENT_LANDSCAPE;
  source.dm.dmPaperLength = 1000;
  source.dm.dmPaperWidth = 800;
  source.dm.dmCopies = 5;
  source.byLineTerminator = 1;
  source.byFormFeed = 1;
  return source;
}

bool Holds(WORD dmSize, size_t offset) {
  return dmSize >= kHeaderBytes + sizeof(DWORD) && offset + sizeof(SHORT) <= dmSize;
}

class DevModeMatrixTest : public EngineTest {
 protected:
  // Creates the device, prints "AB" in one document and releases it.
  // Returns the printed bytes; the device's page is left in gdiinfo_.
  std::string PrintWith(const DEVMODEW* devmode) {
    ClearOutput();
    host::Device device(driver_, devmode, u"TextRelay", printer_);
    EXPECT_TRUE(device.ok());
    if (!device.ok()) return "";
    gdiinfo_ = device.gdiinfo();
    device.StartDoc();
    device.StartPage();
    device.Text(u"AB");
    device.SendPage();
    device.EndDoc();
    device.Release();
    EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
    EXPECT_EQ(checker().handles.LivePalettes(), 0u);
    return std::string(bytes().begin(), bytes().end());
  }

  bool Traced(const std::string& message) {
    return std::find(trace().begin(), trace().end(), Line(message)) != trace().end();
  }

  GDIINFO gdiinfo_{};
};

TEST_F(DevModeMatrixTest, Sizes_EveryClaimReadWithinItsRecord) {
  for (WORD dmSize : kSizes) {
    for (WORD dmDriverExtra : kExtras) {
      SCOPED_TRACE("dmSize " + std::to_string(dmSize) + ", dmDriverExtra " +
                   std::to_string(dmDriverExtra));
      const auto record = CallerRecord(Source(dmSize, dmDriverExtra));
      const std::string printed = PrintWith(reinterpret_cast<const DEVMODEW*>(record->data()));
      const bool own = dmSize == sizeof(DEVMODEW) && dmDriverExtra == DRV_DRIVER_EXTRA;
      EXPECT_EQ(printed, own ? "AB\r\n\x0C" : "AB");
      const bool width = Holds(dmSize, offsetof(DEVMODEW, dmPaperWidth));
      const bool length = Holds(dmSize, offsetof(DEVMODEW, dmPaperLength));
      EXPECT_EQ(gdiinfo_.ulHorzRes, Pixels(width ? 800 : 3779));
      EXPECT_EQ(gdiinfo_.ulVertRes, Pixels(length ? 1000 : 2794));
      EXPECT_EQ(Traced("MergeDevModes: New Orientation [2]."),
                Holds(dmSize, offsetof(DEVMODEW, dmOrientation)));
      EXPECT_EQ(Traced("MergeDevModes: New Copies [5]."),
                Holds(dmSize, offsetof(DEVMODEW, dmCopies)));
    }
  }
}

TEST_F(DevModeMatrixTest, Null_DefaultsWithoutMerge) {
  EXPECT_EQ(PrintWith(nullptr), "AB");
  EXPECT_EQ(gdiinfo_.ulHorzRes, 3020u);
  EXPECT_EQ(gdiinfo_.ulVertRes, 2233u);
  EXPECT_THAT(trace(), Not(Contains(::testing::HasSubstr("MergeDevModes"))));
}

TEST_F(DevModeMatrixTest, OutOfRange_ExtremesKeepTheDefaults) {
  for (SHORT value : {SHORT{-32768}, SHORT{-1}, SHORT{0}, SHORT{10000}, SHORT{32767}}) {
    SCOPED_TRACE("every setting " + std::to_string(value));
    DrvDevMode source = Source(sizeof(DEVMODEW), 0);
    source.dm.dmOrientation = source.dm.dmPaperLength = source.dm.dmPaperWidth =
        source.dm.dmCopies = value;
    const auto record = CallerRecord(source);
    EXPECT_EQ(PrintWith(reinterpret_cast<const DEVMODEW*>(record->data())), "AB");
    EXPECT_EQ(gdiinfo_.ulHorzRes, 3020u);
    EXPECT_EQ(gdiinfo_.ulVertRes, 2233u);
    EXPECT_THAT(trace(), Not(Contains(::testing::HasSubstr("MergeDevModes: New"))));
  }
}

}  // namespace
