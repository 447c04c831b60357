// A physical device's life through the function table: creation from a
// caller's device mode or none, completion, reset and release.
#include <cstring>
#include <string>
#include <vector>

#include "devmode/devmode.h"
#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::StartsWith;

namespace {

constexpr uint8_t kCanary = 0xCC;

class PDevLifecycleTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::memset(&gdiinfo_, kCanary, sizeof gdiinfo_);
    std::memset(&devinfo_, kCanary, sizeof devinfo_);
  }

  DHPDEV Enable(const DEVMODEW* pdm, const char16_t* name = u"Relay") {
    std::u16string copy = name == nullptr ? u"" : name;
    return driver_.EnablePDEV(const_cast<DEVMODEW*>(pdm), sizeof gdiinfo_, &gdiinfo_,
                              sizeof devinfo_, &devinfo_, hdev_,
                              name == nullptr ? nullptr : copy.data(), printer_);
  }
  static PDevice& Dev(DHPDEV dhpdev) { return *reinterpret_cast<PDevice*>(dhpdev); }
  static std::vector<uint8_t> Snapshot(DHPDEV dhpdev) {
    const auto* p = reinterpret_cast<const uint8_t*>(dhpdev);
    return {p, p + sizeof(PDevice)};
  }
  // The driver's own device mode, as a caller that shares its format sends it.
  static DrvDevMode OwnFormat() {
    DrvDevMode dm{};
    GetDefaultDrvDevMode(u"Caller", &dm);
    return dm;
  }

  GDIINFO gdiinfo_;
  DEVINFO devinfo_;
  HDEV hdev_ = reinterpret_cast<HDEV>(0x7700);
};

// Every line of a creation from the allocation on, for the device it made.
std::vector<Matcher<std::string>> CreationTail(DHPDEV dhpdev) {
  const PDevice& d = *reinterpret_cast<const PDevice*>(dhpdev);
  const std::string p = Hex8(dhpdev);
  auto n = [](ULONG v) { return std::to_string(v); };
  return {
      Line("DrvEnablePDEV: Allocated [" + n(sizeof(PDevice)) + "] bytes for PDevice [" + p + "]."),
      // The device mode is built at the head of the device itself.
      Line("InitPDevice: lpDrvDevMode [" + p + "], lpPDevice [" + p + "]."),
      Line("InitPDevice: dwPaperWidthPixels [" + n(d.dwPaperWidthPixels) +
           "], dwPaperHeightPixels [" + n(d.dwPaperHeightPixels) + "]."),
      Line("InitPDevice: dwOrientedWidthPixels [" + n(d.dwOrientedWidthPixels) +
           "], dwOrientedHeightPixels [" + n(d.dwOrientedHeightPixels) + "]."),
      Line("InitPDevice: dwBitmapWidthPixels [" + n(d.dwBitmapWidthPixels) +
           "], dwBitmapHeightPixels [" + n(d.dwBitmapHeightPixels) + "]."),
      Line("InitPDevice: dwBytesPerBitmapRow [" + n(d.dwBytesPerBitmapRow) + "]."),
      Line("InitPDevice: dwBitmapBytes [" + n(d.dwBitmapBytes) + "]."),
      Line("InitPDevice: Returning [1]."),
      Line("DrvEnablePDEV: Initialized PDevice."),
      Line("InitGDIInfo: lpPDevice [" + p + "]."),
      Line("InitGDIInfo: Returning [1]."),
      Line("DrvEnablePDEV: Initialized GDIINFO."),
      Line("InitDevInfo: lpPDevice [" + p + "]."),
      Line("InitDevInfo: Returning [1]."),
      Line("DrvEnablePDEV: Initialized DEVINFO."),
      Line("DrvEnablePDEV: Returning [" + p + "]"),
  };
}

TEST_F(PDevLifecycleTest, Enable_WithoutDevModeFromTheDefaults) {
  const DHPDEV dhpdev = Enable(nullptr);
  ASSERT_NE(dhpdev, nullptr);
  std::vector<Matcher<std::string>> expected = {Line("DrvEnablePDEV: Input DEVMODE [00000000]"),
                                                Line("GetDefaultDrvDevMode: Device Name [Relay]")};
  for (const auto& m : CreationTail(dhpdev)) expected.push_back(m);
  EXPECT_THAT(trace(), ElementsAreArray(expected));

  const PDevice& d = Dev(dhpdev);
  EXPECT_EQ(d.dwBitmapWidthPixels, 3040u);
  EXPECT_EQ(d.dwBitmapHeightPixels, 2240u);
  EXPECT_EQ(d.hPrinter, printer_);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(d.wszDeviceName)), u"Relay");
  EXPECT_EQ(d.hDev, nullptr);
  EXPECT_EQ(d.hSurface, nullptr);
  EXPECT_EQ(d.lpBitmapBits, nullptr);
  const std::optional<host::Block> block = checker().pool.Find(dhpdev);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->size, sizeof(PDevice));
  // A user-mode DLL takes its blocks from the process heap, which has no
  // pool tags; the host counts them under "Heap".
  EXPECT_EQ(host::TagText(block->tag), TestingUserModeDll() ? "Heap" : "RTXD");

  // The engine's records describe this device and hold its palette.
  EXPECT_EQ(gdiinfo_.ulHorzRes, 3020u);
  EXPECT_EQ(gdiinfo_.ulVertRes, 2233u);
  ASSERT_NE(d.hPalette, nullptr);
  EXPECT_EQ(devinfo_.hpalDefault, d.hPalette);
  EXPECT_TRUE(checker().handles.FindPalette(d.hPalette));

  ClearOutput();
  driver_.CompletePDEV(dhpdev, hdev_);
  EXPECT_EQ(d.hDev, hdev_);
  driver_.DisablePDEV(dhpdev);
  EXPECT_THAT(trace(), ElementsAre(Line("DrvCompletePDEV:"),
                                   Line("DrvDisablePDEV: dhpdev [" + Hex8(dhpdev) + "]")));
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
  EXPECT_EQ(checker().handles.LivePalettes(), 0u);
}

TEST_F(PDevLifecycleTest, Enable_CallersDevModeMergedFirst) {
  DEVMODEW dm{};
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = DM_ORIENTATION | DM_PAPERWIDTH;
  dm.dmOrientation = DMORIENT_LANDSCAPE;
  dm.dmPaperWidth = 2000;
  const DHPDEV dhpdev = Enable(&dm);
  ASSERT_NE(dhpdev, nullptr);

  const std::vector<std::string>& lines = trace();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], Line("DrvEnablePDEV: Input DEVMODE [" + Hex8(&dm) + "]"));
  EXPECT_EQ(lines[1], Line("GetDefaultDrvDevMode: Device Name [Relay]"));
  EXPECT_THAT(lines[2], StartsWith(Line("MergeDevModes: lpDrvDevModeSrc [" + Hex8(&dm) + "]")));
  const std::vector<Matcher<std::string>> tail = CreationTail(dhpdev);
  ASSERT_GT(lines.size(), 3 + tail.size());
  const std::vector<std::string> merge(lines.begin() + 2, lines.end() - tail.size());
  EXPECT_EQ(merge.back(), Line("MergeDevModes: lpDrvDevModeSrc is an invalid DrvDevMode!"));
  EXPECT_THAT(std::vector<std::string>(lines.end() - tail.size(), lines.end()),
              ElementsAreArray(tail));
  // The merge writes into the device itself, never into storage that
  // another creation could share.
  EXPECT_THAT(merge.front(), HasSubstr("lpDrvDevModeDst [" + Hex8(dhpdev) + "]"));

  EXPECT_EQ(Dev(dhpdev).DevMode.dm.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(Dev(dhpdev).dwOrientedWidthPixels, 1598u);  // (2000 * 203 + 127) / 254
  EXPECT_EQ(Dev(dhpdev).dwOrientedHeightPixels, 2233u);
  driver_.DisablePDEV(dhpdev);
}

TEST_F(PDevLifecycleTest, Enable_AllocationFailureLeavesNothing) {
  const GDIINFO gdiinfo_before = gdiinfo_;
  const DEVINFO devinfo_before = devinfo_;
  checker().pool.faults().FailNth(1);
  EXPECT_EQ(Enable(nullptr), nullptr);
  // The device mode is built in the device's block, so none is built.
  EXPECT_THAT(trace(), ElementsAre(Line("DrvEnablePDEV: Input DEVMODE [00000000]"),
                                   Line("DrvEnablePDEV: DrvAllocPtr failed!"),
                                   Line("DrvEnablePDEV: Returning [00000000]")));
  EXPECT_EQ(checker().handles.PalettesCreated(), 0u);
  EXPECT_EQ(std::memcmp(&gdiinfo_, &gdiinfo_before, sizeof gdiinfo_), 0);
  EXPECT_EQ(std::memcmp(&devinfo_, &devinfo_before, sizeof devinfo_), 0);
}

TEST_F(PDevLifecycleTest, Enable_DeviceNameCutToFitAndNullTakenAsEmpty) {
  const std::u16string longest(DRV_DEVICE_NAME_UNITS - 1, u'n');
  struct Case {
    std::u16string given;
    bool null;
    std::u16string kept;
  };
  for (const Case& c :
       {Case{u"Relay", false, u"Relay"}, Case{longest, false, longest},
        Case{longest + u"x", false, longest},
        Case{std::u16string(1000, u'm'), false, std::u16string(389, u'm')}, Case{u"", true, u""}}) {
    const DHPDEV dhpdev = Enable(nullptr, c.null ? nullptr : c.given.c_str());
    ASSERT_NE(dhpdev, nullptr) << c.given.size();
    const WCHAR* name = Dev(dhpdev).wszDeviceName;
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name), c.kept.size() + 1),
              c.kept + u'\0')
        << c.given.size();
    driver_.DisablePDEV(dhpdev);
  }
}

TEST_F(PDevLifecycleTest, Enable_EachCreationStartsFromACleanDevMode) {
  DrvDevMode caller = OwnFormat();
  std::memset(caller.abCarried220, 0x5A, sizeof caller.abCarried220);
  std::memset(caller.abCarried1414, 0x5A, sizeof caller.abCarried1414);
  caller.byLineTerminator = 1;
  caller.byFormFeed = 1;
  const DHPDEV first = Enable(&caller.dm);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Dev(first).DevMode.abCarried220[0], 0x5A);
  EXPECT_EQ(Dev(first).byLineTerminator, 1);
  EXPECT_EQ(Dev(first).byFormFeed, 1);
  driver_.DisablePDEV(first);

  // What a device built without a caller's private block carries: the
  // defaults over zeros, nothing of the earlier caller's.
  DrvDevMode clean{};
  GetDefaultDrvDevMode(u"Relay", &clean);
  DEVMODEW plain{};
  plain.dmSize = sizeof(DEVMODEW);
  for (const DEVMODEW* pdm : std::initializer_list<const DEVMODEW*>{nullptr, &plain}) {
    const DHPDEV later = Enable(pdm);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(std::memcmp(&Dev(later).DevMode, &clean, sizeof clean), 0);
    EXPECT_EQ(Dev(later).byLineTerminator, 0);
    driver_.DisablePDEV(later);
  }
}

TEST_F(PDevLifecycleTest, Release_TwoDevicesEachWithItsOwnPalette) {
  const DHPDEV first = Enable(nullptr, u"First");
  const DHPDEV second = Enable(nullptr, u"Second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const HPALETTE first_palette = Dev(first).hPalette;
  const HPALETTE second_palette = Dev(second).hPalette;
  EXPECT_NE(first_palette, second_palette);
  EXPECT_EQ(devinfo_.hpalDefault, second_palette);
  EXPECT_EQ(checker().handles.LivePalettes(), 2u);
  const std::vector<uint8_t> second_before = Snapshot(second);

  driver_.DisablePDEV(first);
  EXPECT_FALSE(checker().handles.FindPalette(first_palette));
  EXPECT_TRUE(checker().handles.FindPalette(second_palette));
  EXPECT_EQ(checker().pool.LiveBlocks(), 1u);
  EXPECT_EQ(Snapshot(second), second_before);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Dev(second).wszDeviceName)),
            u"Second");

  driver_.DisablePDEV(second);
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
  EXPECT_EQ(checker().handles.LivePalettes(), 0u);
}

TEST_F(PDevLifecycleTest, Release_DeviceWhosePaletteFailed) {
  checker().handles.failed_creates().FailNth(1);
  const DHPDEV dhpdev = Enable(nullptr);
  ASSERT_NE(dhpdev, nullptr);
  EXPECT_EQ(Dev(dhpdev).hPalette, nullptr);
  EXPECT_EQ(devinfo_.hpalDefault, nullptr);
  // A zero handle is not the engine's to delete: no finding may follow.
  driver_.DisablePDEV(dhpdev);
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}

TEST_F(PDevLifecycleTest, Reset_AnyPairChangesNothing) {
  const DHPDEV first = Enable(nullptr, u"First");
  const DHPDEV second = Enable(nullptr, u"Second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  driver_.CompletePDEV(first, hdev_);
  const std::vector<uint8_t> first_before = Snapshot(first);
  const std::vector<uint8_t> second_before = Snapshot(second);
  for (auto [old_dev, new_dev] :
       {std::pair{first, second}, std::pair{second, first}, std::pair{first, first}}) {
    ClearOutput();
    EXPECT_EQ(driver_.ResetPDEV(old_dev, new_dev), TRUE);
    EXPECT_THAT(trace(), ElementsAre(Line("DrvResetPDEV: dhpdevOld [" + Hex8(old_dev) +
                                          "], dhpdevNew [" + Hex8(new_dev) + "]"),
                                     Line("DrvResetPDEV: Returning [1]")));
    EXPECT_EQ(Snapshot(first), first_before);
    EXPECT_EQ(Snapshot(second), second_before);
  }
  driver_.DisablePDEV(first);
  driver_.DisablePDEV(second);
}

// The merge judges a caller's paper sizes by the defaults' limits, rebuilt
// for every creation, and never takes its resolution: no caller's device
// mode reaches the geometry refusals, however wide its own limits.
TEST_F(PDevLifecycleTest, Enable_CallersCannotMakeAnUnusablePage) {
  DrvDevMode caller = OwnFormat();
  caller.sMinPaperLength = caller.sMinPaperWidth = -32768;
  caller.sMaxPaperLength = caller.sMaxPaperWidth = 32767;
  caller.dm.dmFields = DM_PAPERLENGTH | DM_PAPERWIDTH | DM_PRINTQUALITY;
  caller.dm.dmPrintQuality = 0;
  for (auto [length, width] : {std::pair<SHORT, SHORT>{0, 0}, {-1, -32768}, {32767, 32767}}) {
    caller.dm.dmPaperLength = length;
    caller.dm.dmPaperWidth = width;
    const DHPDEV dhpdev = Enable(&caller.dm);
    ASSERT_NE(dhpdev, nullptr) << length << " x " << width;
    EXPECT_EQ(Dev(dhpdev).DevMode.sMaxPaperWidth, 32767) << "the private block was taken";
    EXPECT_EQ(Dev(dhpdev).DevMode.dm.dmPrintQuality, 203);
    EXPECT_EQ(Dev(dhpdev).dwBitmapBytes, 851200u) << length << " x " << width;
    driver_.DisablePDEV(dhpdev);
  }
}

}  // namespace
