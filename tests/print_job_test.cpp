// A whole print job through the engine's protocol, from loading the driver
// to releasing the device: the bytes the printer gets and every trace line.
#include <map>
#include <regex>
#include <sstream>

#include "devmode/devmode.h"
#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// Every line of the job; {name} stands for a pointer or size known only at
// run time, <CR> for the carriage return inside a traced line.
constexpr const char* kJobTrace = R"(DrvEnablePDEV: Input DEVMODE [{devmode}]
GetDefaultDrvDevMode: Device Name [TextRelay]
MergeDevModes: lpDrvDevModeSrc [{devmode}], lpDrvDevModeDst [{pdev}].
MergeDevModes: DM_ORIENTATION.
MergeDevModes: New Orientation [1].
MergeDevModes: DM_PAPERLENGTH.
MergeDevModes: New PaperLength [2794].
MergeDevModes: DM_PAPERWIDTH.
MergeDevModes: PaperWidth 3779 out of range; using old value.
MergeDevModes: DM_COPIES.
MergeDevModes: New Copies [1].
IsValidDrvDevMode: lpDrvDevMode [{devmode}].
IsValidDrvDevMode: SpecVersion   is [Valid].
IsValidDrvDevMode: DriverVersion is [Valid].
IsValidDrvDevMode: Size          is [Valid].
IsValidDrvDevMode: DriverExtra   is [Valid].
IsValidDrvDevMode: Returning [1].
MergeDevModes: Source is a valid DrvDevMode.
DrvEnablePDEV: Allocated [{cjpdev}] bytes for PDevice [{pdev}].
InitPDevice: lpDrvDevMode [{pdev}], lpPDevice [{pdev}].
InitPDevice: dwPaperWidthPixels [3020], dwPaperHeightPixels [2233].
InitPDevice: dwOrientedWidthPixels [3020], dwOrientedHeightPixels [2233].
InitPDevice: dwBitmapWidthPixels [3040], dwBitmapHeightPixels [2240].
InitPDevice: dwBytesPerBitmapRow [380].
InitPDevice: dwBitmapBytes [851200].
InitPDevice: Returning [1].
DrvEnablePDEV: Initialized PDevice.
InitGDIInfo: lpPDevice [{pdev}].
InitGDIInfo: Returning [1].
DrvEnablePDEV: Initialized GDIINFO.
InitDevInfo: lpPDevice [{pdev}].
InitDevInfo: Returning [1].
DrvEnablePDEV: Initialized DEVINFO.
DrvEnablePDEV: Returning [{pdev}]
DrvCompletePDEV:
DrvEnableSurface: dhpdev [{pdev}]
DrvEnableSurface: Creating new surface.
DrvEnableSurface: Allocated [851200] bytes for bitmap.
DrvEnableSurface: Created surface [{hsurf}].
DrvEnableSurface: Returning [{hsurf}]
DrvStartDoc: lpPDevice [{pdev}].
DrvStartDoc: Returning [1]
DrvStartPage: lpPDevice [{pdev}].
DrvStartPage: Returning [1]
DrvTextOut:
DrvTextOut: lNumCharacters [8].
DrvTextOut: Allocated [8] bytes for the string.
DrvTextOut: Original string has been provided.
DrvTextOut: lpString [Page one<CR>
].
DrvTextOut: Returning [1]
DrvSendPage: lpPDevice [{pdev}].
DrvSendPage: Returning [1]
DrvStartPage: lpPDevice [{pdev}].
DrvStartPage: Returning [1]
DrvTextOut:
DrvTextOut: lNumCharacters [3].
DrvTextOut: Allocated [3] bytes for the string.
DrvTextOut: Original string has been provided.
DrvTextOut: lpString [Two<CR>
].
DrvTextOut: Returning [1]
DrvTextOut:
DrvTextOut: lNumCharacters [5].
DrvTextOut: Allocated [5] bytes for the string.
DrvTextOut: GLYPHPOS's have been provided.
DrvTextOut: lpString [lines<CR>
].
DrvTextOut: Returning [1]
DrvSendPage: lpPDevice [{pdev}].
DrvSendPage: Returning [1]
DrvStartPage: lpPDevice [{pdev}].
DrvStartPage: Returning [1]
DrvTextOut:
DrvTextOut: lNumCharacters [3].
DrvTextOut: Allocated [3] bytes for the string.
DrvTextOut: GLYPHPOS's must be enumerated.
DrvTextOut: lpString [End<CR>
].
DrvTextOut: Returning [1]
DrvSendPage: lpPDevice [{pdev}].
DrvSendPage: Returning [1]
DrvEndDoc: lpPDevice [{pdev}].
DrvEndDoc: Returning [1]
DrvDisableSurface: dhpdev [{pdev}]
DrvDisableSurface: EngFreeMem.
DrvDisableSurface: EngDeleteSurface.
DrvDisablePDEV: dhpdev [{pdev}])";

std::vector<std::string> ExpectedTrace(const std::map<std::string, std::string>& values) {
  std::string text = kJobTrace;
  for (const auto& [name, value] : values) {
    text = std::regex_replace(text, std::regex("\\{" + name + "\\}"), value);
  }
  text = std::regex_replace(text, std::regex("<CR>"), "\r");
  std::vector<std::string> lines;
  std::istringstream stream(text);
  bool first_of_message = true;
  for (std::string line; std::getline(stream, line);) {
    // A message that carries a line feed goes on in a line of its own.
    lines.push_back(first_of_message ? Line(line) : line);
    first_of_message = line.empty() || line.back() != '\r';
  }
  return lines;
}

class PrintJobTest : public EngineTest {};

TEST_F(PrintJobTest, ThreePages_CrLfAndClosingFormFeedExactly) {
  DrvDevMode devmode{};
  GetDefaultDrvDevMode(u"TextRelay", &devmode);
  devmode.byLineTerminator = 1;  // CR LF
  devmode.byFormFeed = 1;
  ClearOutput();
  std::string pdev, hsurf;
  {
    host::Device device(driver_, &devmode.dm, u"TextRelay", printer_);
    ASSERT_TRUE(device.ok());
    pdev = Hex8(device.dhpdev());
    hsurf = Hex8(device.hsurf());
    host::TextObject glyphs, enumerated;
    glyphs.SetGlyphs({'l' - 29, 'i' - 29, 'n' - 29, 'e' - 29, 's' - 29});
    glyphs.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
    enumerated.SetEnumeration({'E', 'n', 'd'}, {2, 1});
    EXPECT_EQ(device.StartDoc(u"job", 7), TRUE);
    EXPECT_EQ(device.StartPage(), TRUE);
    EXPECT_EQ(device.Text(u"Page one"), TRUE);
    EXPECT_EQ(device.SendPage(), TRUE);
    EXPECT_EQ(device.StartPage(), TRUE);
    EXPECT_EQ(device.Text(u"Two"), TRUE);
    EXPECT_EQ(device.Text(glyphs), TRUE);
    EXPECT_EQ(device.SendPage(), TRUE);
    EXPECT_EQ(device.StartPage(), TRUE);
    EXPECT_EQ(device.Text(enumerated), TRUE);
    EXPECT_EQ(device.SendPage(), TRUE);
    EXPECT_EQ(device.EndDoc(), TRUE);
  }
  const std::string expected = "Page one\r\nTwo\r\nlines\r\nEnd\r\n\x0C";
  EXPECT_EQ(std::string(bytes().begin(), bytes().end()), expected);
  EXPECT_THAT(writes(), ElementsAre(10u, 5u, 7u, 5u, 1u));
  EXPECT_THAT(trace(), ElementsAreArray(ExpectedTrace({
                           {"devmode", Hex8(&devmode)},
                           {"pdev", pdev},
                           {"hsurf", hsurf},
                           {"cjpdev", std::to_string(sizeof(PDevice))},
                       })));
}

}  // namespace
