// The physical device's geometry and the capability records handed to the
// engine, through the routines that build them.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "devmode/devmode.h"
#include "driver/driver.h"
#include "pdev/pdev.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// The platform's sizes; 64-bit hosts widen the handles.
#if defined(__i386__)
static_assert(DRV_GDIINFO_BYTES == 264 && DRV_DEVINFO_BYTES == 296);
static_assert(sizeof(PDevice) == 8352);
#endif

constexpr uint8_t kCanary = 0xCC;

// Caller memory of a given size that starts out as canary bytes.
struct Canvas {
  explicit Canvas(size_t size) : bytes(size, kCanary) {}
  template <typename T>
  T* as() {
    return reinterpret_cast<T*>(bytes.data());
  }
  bool CanaryFrom(size_t offset) const {
    for (size_t i = offset; i < bytes.size(); ++i) {
      if (bytes[i] != kCanary) return false;
    }
    return true;
  }
  std::vector<uint8_t> bytes;
};

class PDevTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    GetDefaultDrvDevMode(u"Relay", &devmode_);
    ClearOutput();
  }

  // A device built from devmode_ by InitPDevice alone.
  PDevice Device() {
    PDevice pdev;
    std::memset(&pdev, kCanary, sizeof pdev);
    EXPECT_EQ(InitPDevice(&devmode_, &pdev, sizeof pdev), TRUE);
    ClearOutput();
    return pdev;
  }

  DrvDevMode devmode_{};
};

std::vector<std::string> GeometryLines(ULONG width, ULONG height, ULONG bitmap_width,
                                       ULONG bitmap_height, ULONG row, ULONG bytes) {
  auto pair = [](const char* a, ULONG x, const char* b, ULONG y) {
    return Line(std::string("InitPDevice: ") + a + " [" + std::to_string(x) + "], " + b + " [" +
                std::to_string(y) + "].");
  };
  return {pair("dwPaperWidthPixels", width, "dwPaperHeightPixels", height),
          pair("dwOrientedWidthPixels", width, "dwOrientedHeightPixels", height),
          pair("dwBitmapWidthPixels", bitmap_width, "dwBitmapHeightPixels", bitmap_height),
          Line("InitPDevice: dwBytesPerBitmapRow [" + std::to_string(row) + "]."),
          Line("InitPDevice: dwBitmapBytes [" + std::to_string(bytes) + "].")};
}

TEST_F(PDevTest, Geometry_DefaultPageInEitherOrientation) {
  for (SHORT orientation : {DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE}) {
    devmode_.dm.dmOrientation = orientation;
    PDevice pdev;
    std::memset(&pdev, kCanary, sizeof pdev);
    ClearOutput();
    ASSERT_EQ(InitPDevice(&devmode_, &pdev, sizeof pdev), TRUE);

    std::vector<std::string> expected = {Line("InitPDevice: lpDrvDevMode [" + Hex8(&devmode_) +
                                              "], lpPDevice [" + Hex8(&pdev) + "].")};
    for (const std::string& line : GeometryLines(3020, 2233, 3040, 2240, 380, 851200)) {
      expected.push_back(line);
    }
    expected.push_back(Line("InitPDevice: Returning [1]."));
    EXPECT_THAT(trace(), ElementsAreArray(expected)) << "orientation " << orientation;

    EXPECT_EQ(std::memcmp(&pdev.DevMode, &devmode_, sizeof devmode_), 0);
    EXPECT_EQ(pdev.dwPaperWidthPixels, 3020u);
    EXPECT_EQ(pdev.dwPaperHeightPixels, 2233u);
    EXPECT_EQ(pdev.dwOrientedWidthPixels, 3020u);
    EXPECT_EQ(pdev.dwOrientedHeightPixels, 2233u);
    EXPECT_EQ(pdev.dwBitmapWidthPixels, 3040u);
    EXPECT_EQ(pdev.dwBitmapHeightPixels, 2240u);
    EXPECT_EQ(pdev.dwBytesPerBitmapRow, 380u);
    EXPECT_EQ(pdev.dwBitmapBytes, 851200u);
    // Whatever the caller's memory held, the device starts with nothing.
    EXPECT_EQ(pdev.hPrinter, nullptr);
    EXPECT_EQ(pdev.hDev, nullptr);
    EXPECT_EQ(pdev.hPalette, nullptr);
    EXPECT_EQ(pdev.hSurface, nullptr);
    EXPECT_EQ(pdev.lpBitmapBits, nullptr);
    EXPECT_THAT(pdev.wszDeviceName, ::testing::Each(0));
    EXPECT_THAT(pdev.abReserved, ::testing::Each(0));
    EXPECT_EQ(pdev.byLineTerminator, 0);
    EXPECT_EQ(pdev.byFormFeed, 0);
  }
}

TEST_F(PDevTest, Geometry_RoundingOfPixelsAndBitmap) {
  struct Case {
    SHORT dpi, width, length;
    ULONG px_width, px_height, bitmap_width, bitmap_height, row;
  };
  for (const Case& c : {
           // 1 * 203 + 127 = 330, 330 / 254 = 1; 5 * 203 + 127 = 1142, / 254 = 4.
           Case{203, 1, 5, 1, 4, 32, 32, 4},
           // At 254 dots per inch a tenth of a millimetre is a pixel.
           Case{254, 32, 33, 32, 33, 32, 64, 4},
           Case{254, 33, 64, 33, 64, 64, 64, 8},
           // An exact half rounds up: 127 tenths at 1 dot per inch is half a pixel.
           Case{1, 127, 381, 1, 2, 32, 32, 4},
           // The widest the merge lets through, and the default length.
           Case{203, 2032, 9999, 1624, 7991, 1632, 8000, 204},
       }) {
    devmode_.dm.dmPrintQuality = c.dpi;
    devmode_.dm.dmPaperWidth = c.width;
    devmode_.dm.dmPaperLength = c.length;
    const PDevice pdev = Device();
    EXPECT_EQ(pdev.dwOrientedWidthPixels, c.px_width) << c.width << " at " << c.dpi;
    EXPECT_EQ(pdev.dwOrientedHeightPixels, c.px_height) << c.length << " at " << c.dpi;
    EXPECT_EQ(pdev.dwBitmapWidthPixels, c.bitmap_width) << c.width << " at " << c.dpi;
    EXPECT_EQ(pdev.dwBitmapHeightPixels, c.bitmap_height) << c.length << " at " << c.dpi;
    EXPECT_EQ(pdev.dwBytesPerBitmapRow, c.row) << c.width << " at " << c.dpi;
    EXPECT_EQ(pdev.dwBitmapBytes, c.row * c.bitmap_height) << c.width << " at " << c.dpi;
  }
}

TEST_F(PDevTest, Geometry_OutputSettingsCopiedUnchecked) {
  devmode_.byLineTerminator = 7;
  devmode_.byFormFeed = 7;
  const PDevice pdev = Device();
  EXPECT_EQ(pdev.byLineTerminator, 7);
  EXPECT_EQ(pdev.byFormFeed, 7);
}

TEST_F(PDevTest, Geometry_RefusesWhatCannotMakeASurface) {
  struct Case {
    SHORT dpi, width, length;
    std::string failure;
  };
  for (const Case& c : {
           Case{0, 3779, 2794, "InitPDevice: dmPrintQuality [0] is not positive!"},
           Case{-203, 3779, 2794, "InitPDevice: dmPrintQuality [-203] is not positive!"},
           Case{203, 0, 2794, "InitPDevice: dmPaperWidth [0] gives no pixel!"},
           Case{203, -3779, 2794, "InitPDevice: dmPaperWidth [-3779] gives no pixel!"},
           Case{203, 3779, 0, "InitPDevice: dmPaperLength [0] gives no pixel!"},
           Case{203, 3779, -32768, "InitPDevice: dmPaperLength [-32768] gives no pixel!"},
           // Less than half a pixel rounds to none.
           Case{1, 126, 2794, "InitPDevice: dmPaperWidth [126] gives no pixel!"},
           // 8256 rows of 528384 bytes.
           Case{32767, 32767, 64,
                "InitPDevice: dwBitmapBytes of [8256] rows of [528384] bytes does not fit in "
                "32 bits!"},
       }) {
    devmode_.dm.dmPrintQuality = c.dpi;
    devmode_.dm.dmPaperWidth = c.width;
    devmode_.dm.dmPaperLength = c.length;
    Canvas caller(sizeof(PDevice));
    ClearOutput();
    EXPECT_EQ(InitPDevice(&devmode_, caller.as<PDevice>(), sizeof(PDevice)), FALSE) << c.failure;
    EXPECT_TRUE(caller.CanaryFrom(0)) << "a refused device was copied out: " << c.failure;
    ASSERT_GE(trace().size(), 3u);
    EXPECT_THAT(std::vector<std::string>(trace().end() - 2, trace().end()),
                ElementsAre(Line(c.failure), Line("InitPDevice: Returning [0].")));
  }
  // One row fewer fits: 8128 rows of 528384 bytes is 4294705152.
  devmode_.dm.dmPaperLength = 63;
  EXPECT_EQ(Device().dwBitmapBytes, 4294705152u);
}

TEST_F(PDevTest, Copy_PDeviceClampedToCallersSize) {
  PDevice full;
  std::memset(&full, 0, sizeof full);
  ASSERT_EQ(InitPDevice(&devmode_, &full, sizeof full), TRUE);

  Canvas partial(sizeof(PDevice));
  ASSERT_EQ(InitPDevice(&devmode_, partial.as<PDevice>(), 100), TRUE);
  EXPECT_EQ(std::memcmp(partial.bytes.data(), &full, 100), 0);
  EXPECT_TRUE(partial.CanaryFrom(100));

  for (ULONG oversize : {static_cast<ULONG>(sizeof(PDevice) + 1), 0xFFFFFFFFu}) {
    Canvas larger(sizeof(PDevice) + 64);
    ASSERT_EQ(InitPDevice(&devmode_, larger.as<PDevice>(), oversize), TRUE);
    EXPECT_EQ(std::memcmp(larger.bytes.data(), &full, sizeof full), 0);
    EXPECT_TRUE(larger.CanaryFrom(sizeof(PDevice))) << oversize;
  }

  Canvas none(16);
  ASSERT_EQ(InitPDevice(&devmode_, none.as<PDevice>(), 0), TRUE);
  EXPECT_TRUE(none.CanaryFrom(0));
}

// GDIINFO and DEVINFO byte for byte. Offsets and values are written out
// here from the records' published layout, not taken from pdev/.
struct Field {
  size_t ib;
  size_t cj;
  uint64_t value;  // little-endian, zero beyond its eighth byte
};

// A page as the engine is told it, with what follows from it worked out
// by hand: millimetres truncated, dots per millimetre rounded.
struct Page {
  uint32_t width, height, dpi, width_mm, height_mm, dots_per_mm;
};

constexpr Page kDefaultPage = {3020, 2233, 203, 377, 279, 8};

// ciDevice, in LDECI4: x, y and Y of each primary and the alignment white,
// then the gammas and the dyes.
constexpr int32_t kColorInfo[] = {
    6380,  3350,  0,      // Red
    2345,  6075,  0,      // Green
    1410,  932,   0,      // Blue
    2000,  2450,  0,      // Cyan
    5210,  2100,  0,      // Magenta
    4750,  5100,  0,      // Yellow
    3127,  3290,  0,      // AlignmentWhite
    12500, 12500, 12500,  // RedGamma, GreenGamma, BlueGamma
    585,   120,           // MagentaInCyanDye, YellowInCyanDye
    0,     0,             // CyanInMagentaDye, YellowInMagentaDye
    0,     10000,         // CyanInYellowDye, MagentaInYellowDye
};

std::vector<Field> GdiInfoFields(const Page& p) {
  std::vector<Field> fields = {
      {0, 4, 0x4000},          // ulVersion
      {4, 4, 2},               // ulTechnology: a raster printer
      {8, 4, p.width_mm},      // ulHorzSize
      {12, 4, p.height_mm},    // ulVertSize
      {16, 4, p.width},        // ulHorzRes
      {20, 4, p.height},       // ulVertRes
      {24, 4, 1},              // cBitsPixel
      {28, 4, 1},              // cPlanes
      {32, 4, 2},              // ulNumColors
      {36, 4, 0},              // flRaster
      {40, 4, p.dpi},          // ulLogPixelsX
      {44, 4, p.dpi},          // ulLogPixelsY
      {48, 4, 1},              // flTextCaps: TC_OP_CHARACTER
      {52, 12, 0},             // ulDACRed, ulDACGreen, ulDACBlue
      {64, 4, 500},            // ulAspectX
      {68, 4, 500},            // ulAspectY
      {72, 4, 707},            // ulAspectXY
      {76, 4, 1},              // xStyleStep
      {80, 4, 1},              // yStyleStep
      {84, 4, p.dots_per_mm},  // denStyleStep
      {88, 8, 0},              // ptlPhysOffset
      {96, 4, p.width},        // szlPhysSize.cx
      {100, 4, p.height},      // szlPhysSize.cy
      {104, 4, 0},             // ulNumPalReg
      {228, 4, p.dpi},         // ulDevicePelsDPI
      {232, 4, 0},             // ulPrimaryOrder: PRIMARY_ORDER_ABC
      {236, 4, 3},             // ulHTPatternSize: HT_PATSIZE_4x4_M
      {240, 4, 0},             // ulHTOutputFormat: HT_FORMAT_1BPP
      {244, 4, 2},             // flHTFlags: HT_FLAG_HAS_BLACK_DYE
      {248, 16, 0},            // ulVRefresh, ulBltAlignment, ulPanningHorzRes, ulPanningVertRes
  };
  for (size_t i = 0; i < std::size(kColorInfo); ++i) {
    fields.push_back({108 + 4 * i, 4, static_cast<uint32_t>(kColorInfo[i])});
  }
  return fields;
}

// A LOGFONTW's fields in their order.
struct Font {
  int32_t height, width, escapement, orientation, weight;
  uint8_t italic, underline, strike_out, char_set, out_precision, clip_precision, quality,
      pitch_and_family;
  std::u16string_view face;
};

// The default, variable and fixed fonts; the face fills its 32 units with
// zeros after the name.
constexpr Font kFonts[] = {
    {16, 7, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 2, u"System"},
    {12, 9, 0, 0, 400, 0, 0, 0, 0, 0, 2, 2, 2, u"MS Sans Serif"},
    {12, 9, 0, 0, 400, 0, 0, 0, 0, 0, 2, 2, 1, u"Courier"},
};

void AddFont(std::vector<Field>& fields, size_t ib, const Font& f) {
  const auto value = [](int32_t v) { return static_cast<uint64_t>(static_cast<uint32_t>(v)); };
  for (const Field& field : {Field{0, 4, value(f.height)}, Field{4, 4, value(f.width)},
                             Field{8, 4, value(f.escapement)}, Field{12, 4, value(f.orientation)},
                             Field{16, 4, value(f.weight)}, Field{20, 1, f.italic},
                             Field{21, 1, f.underline}, Field{22, 1, f.strike_out},
                             Field{23, 1, f.char_set}, Field{24, 1, f.out_precision},
                             Field{25, 1, f.clip_precision}, Field{26, 1, f.quality},
                             Field{27, 1, f.pitch_and_family}}) {
    fields.push_back({ib + field.ib, field.cj, field.value});
  }
  for (size_t i = 0; i < LF_FACESIZE; ++i) {
    fields.push_back({ib + 28 + 2 * i, 2, i < f.face.size() ? f.face[i] : 0u});
  }
}

std::vector<Field> DevInfoFields(HPALETTE hpal) {
  std::vector<Field> fields = {{0, 4, 0x420}};  // flGraphicsCaps: colour and mono dither
  for (size_t i = 0; i < 3; ++i) AddFont(fields, 4 + 92 * i, kFonts[i]);
  fields.push_back({280, 4, 0});  // cFonts
  fields.push_back({284, 4, 1});  // iDitherFormat: BMF_1BPP
  fields.push_back({288, 2, 1});  // cxDither
  fields.push_back({290, 2, 1});  // cyDither
  // 64-bit hosts widen the handle and align it; the padding stays zero.
  const size_t ib_palette = offsetof(DEVINFO, hpalDefault);
  if (ib_palette > 292) fields.push_back({292, ib_palette - 292, 0});
  fields.push_back({ib_palette, sizeof(HPALETTE), reinterpret_cast<uintptr_t>(hpal)});
  return fields;
}

// The record the fields make; every byte of the first cj must be written
// by exactly one field.
std::vector<uint8_t> Assemble(const std::vector<Field>& fields, size_t cj) {
  std::vector<uint8_t> bytes(cj, 0);
  std::vector<int> writes(cj, 0);
  for (const Field& f : fields) {
    for (size_t i = 0; i < f.cj; ++i) {
      bytes.at(f.ib + i) = i < 8 ? static_cast<uint8_t>(f.value >> (8 * i)) : 0;
      ++writes.at(f.ib + i);
    }
  }
  EXPECT_THAT(writes, ::testing::Each(1)) << "the table misses or overlaps a byte";
  return bytes;
}

std::vector<uint8_t> Prefix(const Canvas& canvas, size_t cj) {
  return {canvas.bytes.begin(), canvas.bytes.begin() + cj};
}

// What DrvEnablePDEV answers the engine, for the default device, a
// landscape one and another paper size; the palette is the one the
// engine made for the device, black then white.
TEST_F(PDevTest, Records_WholeGdiInfoAndDevInfoThroughTheFunctionTable) {
  DEVMODEW landscape{};
  landscape.dmSize = sizeof(DEVMODEW);
  landscape.dmFields = DM_ORIENTATION;
  landscape.dmOrientation = DMORIENT_LANDSCAPE;
  DEVMODEW paper = landscape;
  paper.dmFields = DM_PAPERWIDTH | DM_PAPERLENGTH;
  paper.dmPaperWidth = 2000;
  paper.dmPaperLength = 2970;
  struct Case {
    const char* name;
    DEVMODEW* pdm;
    Page page;
  };
  // 2000 and 2970 tenths at 203 dpi: 1598 x 2374 pixels, 199 x 297 mm.
  for (const Case& c : {Case{"default", nullptr, kDefaultPage},
                        Case{"landscape", &landscape, kDefaultPage},
                        Case{"2000 x 2970", &paper, {1598, 2374, 203, 199, 297, 8}}}) {
    SCOPED_TRACE(c.name);
    Canvas gdiinfo(300), devinfo(sizeof(DEVINFO) + 16);
    const DHPDEV dhpdev = driver_.EnablePDEV(
        c.pdm, 300, gdiinfo.as<GDIINFO>(), static_cast<ULONG>(devinfo.bytes.size()),
        devinfo.as<DEVINFO>(), nullptr, const_cast<LPWSTR>(u"Relay"), printer_);
    ASSERT_NE(dhpdev, nullptr);
    EXPECT_EQ(Prefix(gdiinfo, 264), Assemble(GdiInfoFields(c.page), 264));
    EXPECT_TRUE(gdiinfo.CanaryFrom(264));

    const HPALETTE hpal = checker().handles.LastPalette();
    const std::optional<host::Palette> palette = checker().handles.FindPalette(hpal);
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->mode, static_cast<ULONG>(PAL_INDEXED));
    EXPECT_THAT(palette->colors, ElementsAre(0x00000000u, 0x00FFFFFFu));
    EXPECT_EQ(palette->red + palette->green + palette->blue, 0u);
    EXPECT_EQ(Prefix(devinfo, DRV_DEVINFO_BYTES), Assemble(DevInfoFields(hpal), DRV_DEVINFO_BYTES));
    EXPECT_TRUE(devinfo.CanaryFrom(DRV_DEVINFO_BYTES));
    driver_.DisablePDEV(dhpdev);
  }
}

// The resolution never comes from a caller, so other resolutions are built
// directly. 38 dpi: 380 + 127 is just short of two dots per millimetre.
TEST_F(PDevTest, Records_WholeGdiInfoAtOtherResolutions) {
  for (const Page& page : {Page{4463, 3300, 300, 377, 279, 12}, Page{565, 418, 38, 377, 279, 1}}) {
    devmode_.dm.dmPrintQuality = static_cast<SHORT>(page.dpi);
    PDevice pdev = Device();
    Canvas caller(300);
    ASSERT_EQ(InitGDIInfo(&pdev, caller.as<GDIINFO>(), 300), TRUE);
    EXPECT_THAT(trace(), ElementsAre(Line("InitGDIInfo: lpPDevice [" + Hex8(&pdev) + "]."),
                                     Line("InitGDIInfo: Returning [1].")));
    EXPECT_EQ(Prefix(caller, 264), Assemble(GdiInfoFields(page), 264)) << page.dpi << " dpi";
    EXPECT_TRUE(caller.CanaryFrom(264));
    ClearOutput();
  }
}

TEST_F(PDevTest, GdiInfo_ClampedToCallersSize) {
  PDevice pdev = Device();
  Canvas full(sizeof(GDIINFO));
  ASSERT_EQ(InitGDIInfo(&pdev, full.as<GDIINFO>(), sizeof(GDIINFO)), TRUE);
  for (ULONG size : {300u, DRV_GDIINFO_BYTES - 1, 100u, 0u}) {
    Canvas caller(std::max<size_t>(size, sizeof(GDIINFO)) + 8);
    ASSERT_EQ(InitGDIInfo(&pdev, caller.as<GDIINFO>(), size), TRUE) << size;
    const size_t written = std::min<size_t>(size, DRV_GDIINFO_BYTES);
    EXPECT_EQ(std::memcmp(caller.bytes.data(), full.bytes.data(), written), 0) << size;
    EXPECT_TRUE(caller.CanaryFrom(written)) << size;
  }
}

TEST_F(PDevTest, GdiInfo_RefusesADeviceWithoutResolution) {
  PDevice pdev = Device();
  pdev.DevMode.dm.dmPrintQuality = 0;
  Canvas caller(sizeof(GDIINFO));
  EXPECT_EQ(InitGDIInfo(&pdev, caller.as<GDIINFO>(), sizeof(GDIINFO)), FALSE);
  EXPECT_TRUE(caller.CanaryFrom(0));
  EXPECT_THAT(trace(), ElementsAre(Line("InitGDIInfo: lpPDevice [" + Hex8(&pdev) + "]."),
                                   Line("InitGDIInfo: dmPrintQuality [0] is not positive!"),
                                   Line("InitGDIInfo: Returning [0].")));
}

TEST_F(PDevTest, DevInfo_ClampedToCallersSizeYetPaletteKept) {
  PDevice pdev = Device();
  Canvas full(sizeof(DEVINFO));
  ASSERT_EQ(InitDevInfo(&pdev, full.as<DEVINFO>(), sizeof(DEVINFO)), TRUE);
  EngDeletePalette(pdev.hPalette);
  const ULONG without_palette = offsetof(DEVINFO, hpalDefault);
  for (ULONG size : {300u, without_palette, 100u, 0u}) {
    pdev.hPalette = nullptr;
    Canvas caller(std::max<size_t>(size, sizeof(DEVINFO)) + 8);
    ASSERT_EQ(InitDevInfo(&pdev, caller.as<DEVINFO>(), size), TRUE) << size;
    const size_t written = std::min<size_t>(size, DRV_DEVINFO_BYTES);
    // Every call makes its own palette, so hpalDefault differs.
    EXPECT_EQ(std::memcmp(caller.bytes.data(), full.bytes.data(),
                          std::min<size_t>(written, without_palette)),
              0)
        << size;
    EXPECT_TRUE(caller.CanaryFrom(written)) << size;
    if (written == DRV_DEVINFO_BYTES) {
      EXPECT_EQ(caller.as<DEVINFO>()->hpalDefault, pdev.hPalette);
    }
    ASSERT_NE(pdev.hPalette, nullptr) << size;
    EXPECT_EQ(checker().handles.LivePalettes(), 1u);
    EngDeletePalette(pdev.hPalette);
  }
}

TEST_F(PDevTest, DevInfo_FailedPaletteStoredAsZero) {
  PDevice pdev = Device();
  pdev.hPalette = reinterpret_cast<HPALETTE>(0x1);
  DEVINFO di;
  std::memset(&di, kCanary, sizeof di);
  checker().handles.failed_creates().FailNth(1);
  EXPECT_EQ(InitDevInfo(&pdev, &di, sizeof di), TRUE);
  EXPECT_EQ(pdev.hPalette, nullptr);
  EXPECT_EQ(di.hpalDefault, nullptr);
  EXPECT_EQ(di.flGraphicsCaps, 0x420u);
}

}  // namespace
