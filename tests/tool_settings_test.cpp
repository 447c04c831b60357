// The caller's device mode the command builds, and its forecast of the
// driver's merge, held against the driver's own routines.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "devmode/devmode.h"
#include "host/engine.h"
#include "tools/failure.h"
#include "tools/ppd_settings.h"
#include "tools/setting_table.h"
#include "tools/settings.h"
#include "tools/strings_file.h"

namespace {

using textrelay::BuildCallerDevMode;
using textrelay::CallerDevMode;
using textrelay::PredictDevice;
using textrelay::Settings;

class ToolSettings : public ::testing::Test {
 protected:
  void SetUp() override { host::Engine::Get().trace.Discard(); }
  void TearDown() override { host::Engine::Get().Reset(); }
};

TEST_F(ToolSettings, Build_AnnouncesOnlyTheGivenPublicSettings) {
  Settings settings;
  settings.paper_width = 800;
  settings.copies = 3;
  settings.line_terminator = 1;
  const CallerDevMode caller = BuildCallerDevMode(settings, u"lp");
  EXPECT_EQ(caller.record.dm.dmFields, DWORD{DM_PAPERWIDTH | DM_COPIES});
  EXPECT_EQ(caller.record.dm.dmPaperWidth, 800);
  EXPECT_EQ(caller.record.dm.dmCopies, 3);
  EXPECT_EQ(caller.record.byLineTerminator, 1);
  EXPECT_EQ(caller.record.byFormFeed, 0);
  EXPECT_TRUE(IsValidDrvDevMode(caller.dm())) << "the driver would not take its private block";
}

TEST_F(ToolSettings, Build_PrivateBlockIsTheDriversDefaultsBesideTheTwoSettings) {
  Settings settings;
  settings.form_feed = true;
  settings.orientation = DMORIENT_LANDSCAPE;
  CallerDevMode caller = BuildCallerDevMode(settings, u"lp");
  DrvDevMode defaults{};
  GetDefaultDrvDevMode(u"lp", &defaults);
  caller.record.byFormFeed = defaults.byFormFeed;
  EXPECT_EQ(std::memcmp(&caller.record.abCarried220, &defaults.abCarried220,
                        sizeof(DrvDevMode) - sizeof(DEVMODEW)),
            0);
}

// The forecast must make the same decision as the driver's merge for every
// value at and around each limit.
TEST_F(ToolSettings, Predict_AgreesWithTheDriversMerge) {
  const SHORT values[] = {-1, 0, 1, 2, 3, 1000, 1001, 2032, 2033, 3779, 9999, 10000};
  for (const SHORT value : values) {
    Settings settings;
    settings.orientation = value;
    settings.paper_length = value;
    settings.paper_width = value;
    settings.copies = value;
    const CallerDevMode caller = BuildCallerDevMode(settings, u"textrelay");
    DrvDevMode merged{};
    GetDefaultDrvDevMode(u"textrelay", &merged);
    MergeDevModes(&merged, caller.dm());
    const textrelay::DeviceSettings device = PredictDevice(&caller);
    EXPECT_EQ(device.orientation, merged.dm.dmOrientation) << value;
    EXPECT_EQ(device.paper_length, merged.dm.dmPaperLength) << value;
    EXPECT_EQ(device.paper_width, merged.dm.dmPaperWidth) << value;
    EXPECT_EQ(device.copies, merged.dm.dmCopies) << value;
    size_t refused = 0;
    refused += merged.dm.dmOrientation != value;
    refused += merged.dm.dmPaperLength != value;
    refused += merged.dm.dmPaperWidth != value;
    refused += merged.dm.dmCopies != value;
    // 3779 is refused yet equals the kept default width.
    EXPECT_EQ(device.refusals.size(), refused + (value == 3779)) << value;
  }
}

TEST_F(ToolSettings, Predict_RefusalNamesSettingValueRangeAndKeptValue) {
  Settings settings;
  settings.paper_width = 3000;
  const CallerDevMode caller = BuildCallerDevMode(settings, u"textrelay");
  const textrelay::DeviceSettings device = PredictDevice(&caller);
  ASSERT_EQ(device.refusals.size(), 1u);
  EXPECT_EQ(Describe(device.refusals[0]),
            "paper width 3000 is refused: the driver takes 1 to 2032 and keeps 3779");
}

TEST_F(ToolSettings, Predict_PlainDevModeKeepsTheDriversTerminatorAndFormFeed) {
  CallerDevMode caller = BuildCallerDevMode(Settings{.line_terminator = 1, .form_feed = true}, u"x");
  caller.record.dm.dmDriverExtra = 0;
  const textrelay::DeviceSettings device = PredictDevice(&caller);
  EXPECT_FALSE(device.private_block_taken);
  EXPECT_EQ(device.line_terminator, 0);
  EXPECT_EQ(device.form_feed, 0);
}

TEST_F(ToolSettings, Header_VerdictAgreesWithTheDriversCheck) {
  struct Case {
    WORD DEVMODEW::*field;
    WORD value;
    const char* why;
  };
  const Case cases[] = {
      {&DEVMODEW::dmSpecVersion, 0x0400, "dmSpecVersion is 0x0400, the driver's is 0x0401"},
      {&DEVMODEW::dmDriverVersion, 0x0101, "dmDriverVersion is 0x0101, the driver's is 0x0100"},
      {&DEVMODEW::dmSize, 156, "dmSize is 156, the driver's is 220"},
      {&DEVMODEW::dmDriverExtra, 0, "dmDriverExtra is 0, the driver's is 7008"},
      {&DEVMODEW::dmDriverExtra, 7008, ""},
  };
  for (const Case& c : cases) {
    DrvDevMode record{};
    GetDefaultDrvDevMode(u"x", &record);
    record.dm.*c.field = c.value;
    EXPECT_EQ(textrelay::WhyNotOwn(record.dm), c.why);
    EXPECT_EQ(textrelay::IsDriversOwn(record.dm), IsValidDrvDevMode(&record.dm) != FALSE) << c.why;
  }
}

}  // namespace

namespace {

using textrelay::Strings;

// Each language labels every setting and every choice of the settings
// table, and nothing else: a label missing shows its key on the web page.
TEST(SettingLabels, EveryLanguageLabelsExactlyTheTable) {
  std::set<std::string> keys;
  for (const textrelay::SettingRow& row : textrelay::SettingTable()) {
    keys.insert(row.name);
    for (const textrelay::SettingChoice& choice : row.choices) keys.insert(ChoiceKey(row, choice));
  }
  for (const char* language : {"en", "fr", "de", "es"}) {
    const Strings strings =
        textrelay::ReadStringsFile(std::string(TEXTRELAY_STRINGS_DIR "/") + language + ".strings");
    std::set<std::string> labelled;
    for (const auto& [key, label] : strings) {
      labelled.insert(key);
      EXPECT_FALSE(label.empty()) << language << " " << key;
    }
    EXPECT_EQ(labelled, keys) << language;
  }
}

TEST(SettingLabels, StringsFilesAreReadAsTheFrameworkReadsThem) {
  EXPECT_EQ(textrelay::ParseStrings(" \"k\" = \"v \\\"q\\\"\\n\";\n\"k2\"=\"\";"),
            (Strings{{"k", "v \"q\"\n"}, {"k2", ""}}));
  const std::pair<const char*, const char*> bad[] = {
      {"\"k\" = \"v\"", "strings line 1: expected ';'"},
      {"\"k\" \"v\";", "strings line 1: expected '='"},
      {"\n\"k\" = \"v;\n", "strings line 2: a string is not closed on its line"},
      {"\"k\" = \"a\";\n\"k\" = \"b\";", "strings line 2: \"k\" is given twice"},
      {"\n/* a comment */ \"k\" = \"v\";", "strings line 2: expected '\"'"},
      {"k = \"v\";", "strings line 1: expected '\"'"},
  };
  for (const auto& [text, message] : bad) {
    try {
      textrelay::ParseStrings(text);
      ADD_FAILURE() << "taken: " << text;
    } catch (const textrelay::Failure& failure) {
      EXPECT_STREQ(failure.what(), message);
    }
  }
}

// The PPD carries Latin-1 labels of at most 64 bytes without a colon or a
// quote; a label it cannot carry stops the build.
TEST(SettingLabels, PpdRefusesLabelsItCannotCarry) {
  Strings english;
  for (const textrelay::SettingRow& row : textrelay::SettingTable()) {
    english[row.name] = "Label";
    for (const textrelay::SettingChoice& choice : row.choices) english[ChoiceKey(row, choice)] = "Choice";
  }
  EXPECT_NE(textrelay::MakePpd("@SETTINGS@\n", english, "1").find("*CodePage ISO8859-15/Choice: \"\""),
            std::string::npos);
  // None: no label at all.
  const std::optional<std::string> labels[] = {"a: b", "say \"x\"", "Größe", std::string(65, 'x'),
                                               std::nullopt};
  for (const std::optional<std::string>& label : labels) {
    Strings bad = english;
    if (label) bad["textrelay-code-page.cp852"] = *label;
    if (!label) bad.erase("textrelay-code-page.cp852");
    EXPECT_THROW(textrelay::MakePpd("@SETTINGS@\n", bad, "1"), textrelay::Failure) << label.value_or("none");
  }
}

}  // namespace
