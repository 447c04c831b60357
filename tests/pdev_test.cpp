// The physical device's geometry and the capability records handed to the
// engine, through the routines that build them.
#include <algorithm>
#include <cstring>
#include <string>
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

// The computed fields, at the default resolution and at another one.
TEST_F(PDevTest, GdiInfo_PageAndResolution) {
  struct Case {
    SHORT dpi;
    ULONG width, height, width_mm, height_mm;
    LONG dots_per_mm;
  };
  // 2030 / 254 = 7.99 rounds to 8; 3000 / 254 = 11.81 rounds to 12.
  for (const Case& c : {Case{203, 3020, 2233, 377, 279, 8}, Case{300, 4463, 3300, 377, 279, 12}}) {
    devmode_.dm.dmPrintQuality = c.dpi;
    PDevice pdev = Device();
    Canvas caller(sizeof(GDIINFO) + 64);
    ASSERT_EQ(InitGDIInfo(&pdev, caller.as<GDIINFO>(), static_cast<ULONG>(caller.bytes.size())),
              TRUE);
    EXPECT_THAT(trace(), ElementsAre(Line("InitGDIInfo: lpPDevice [" + Hex8(&pdev) + "]."),
                                     Line("InitGDIInfo: Returning [1].")));
    const GDIINFO& gi = *caller.as<GDIINFO>();
    EXPECT_THAT(std::vector<ULONG>({gi.ulHorzSize, gi.ulVertSize, gi.ulHorzRes, gi.ulVertRes,
                                    static_cast<ULONG>(gi.szlPhysSize.cx),
                                    static_cast<ULONG>(gi.szlPhysSize.cy)}),
                ElementsAre(c.width_mm, c.height_mm, c.width, c.height, c.width, c.height));
    EXPECT_THAT(std::vector<ULONG>({gi.ulLogPixelsX, gi.ulLogPixelsY, gi.ulDevicePelsDPI}),
                ::testing::Each(static_cast<ULONG>(c.dpi)));
    EXPECT_EQ(gi.denStyleStep, c.dots_per_mm);
    // A monochrome raster printer of one bit per pixel.
    EXPECT_THAT(std::vector<ULONG>({gi.ulTechnology, gi.cBitsPixel, gi.cPlanes, gi.ulNumColors}),
                ElementsAre(static_cast<ULONG>(DT_RASPRINTER), 1u, 1u, 2u));
    EXPECT_EQ(gi.ciDevice.MagentaInYellowDye, 10000);
    EXPECT_TRUE(caller.CanaryFrom(DRV_GDIINFO_BYTES));
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

// The face fills its 32 units with zeros after the name.
void ExpectFont(const LOGFONTW& lf, LONG height, LONG weight, BYTE pitch, std::u16string face) {
  EXPECT_EQ(lf.lfHeight, height) << "face " << face.size();
  EXPECT_EQ(lf.lfWeight, weight) << "face " << face.size();
  EXPECT_EQ(lf.lfPitchAndFamily, pitch) << "face " << face.size();
  face.resize(LF_FACESIZE, u'\0');
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(lf.lfFaceName), LF_FACESIZE), face);
}

TEST_F(PDevTest, DevInfo_FontsCapsAndPalette) {
  PDevice pdev = Device();
  Canvas caller(sizeof(DEVINFO) + 16);
  ASSERT_EQ(InitDevInfo(&pdev, caller.as<DEVINFO>(), static_cast<ULONG>(caller.bytes.size())),
            TRUE);
  EXPECT_THAT(trace(), ElementsAre(Line("InitDevInfo: lpPDevice [" + Hex8(&pdev) + "]."),
                                   Line("InitDevInfo: Returning [1].")));
  const DEVINFO& di = *caller.as<DEVINFO>();
  EXPECT_EQ(di.flGraphicsCaps, static_cast<FLONG>(GCAPS_COLOR_DITHER | GCAPS_MONO_DITHER));
  ExpectFont(di.lfDefaultFont, 16, FW_BOLD, VARIABLE_PITCH, u"System");
  ExpectFont(di.lfAnsiVarFont, 12, FW_NORMAL, VARIABLE_PITCH, u"MS Sans Serif");
  ExpectFont(di.lfAnsiFixFont, 12, FW_NORMAL, FIXED_PITCH, u"Courier");
  EXPECT_EQ(di.cFonts, 0u);
  EXPECT_EQ(di.iDitherFormat, static_cast<ULONG>(BMF_1BPP));
  EXPECT_TRUE(caller.CanaryFrom(DRV_DEVINFO_BYTES));

  ASSERT_NE(pdev.hPalette, nullptr);
  EXPECT_EQ(di.hpalDefault, pdev.hPalette);
  const host::Palette* palette = engine().handles.FindPalette(pdev.hPalette);
  ASSERT_NE(palette, nullptr);
  EXPECT_EQ(palette->mode, static_cast<ULONG>(PAL_INDEXED));
  EXPECT_THAT(palette->colors, ElementsAre(0x00000000u, 0x00FFFFFFu));
  EXPECT_EQ(palette->red + palette->green + palette->blue, 0u);
  EngDeletePalette(pdev.hPalette);
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
    EXPECT_EQ(engine().handles.LivePalettes(), 1u);
    EngDeletePalette(pdev.hPalette);
  }
}

TEST_F(PDevTest, DevInfo_FailedPaletteStoredAsZero) {
  PDevice pdev = Device();
  pdev.hPalette = reinterpret_cast<HPALETTE>(0x1);
  DEVINFO di;
  std::memset(&di, kCanary, sizeof di);
  engine().handles.failed_creates().FailNth(1);
  EXPECT_EQ(InitDevInfo(&pdev, &di, sizeof di), TRUE);
  EXPECT_EQ(pdev.hPalette, nullptr);
  EXPECT_EQ(di.hpalDefault, nullptr);
  EXPECT_EQ(di.flGraphicsCaps, 0x420u);
}

}  // namespace
