// How the CUPS filter reads a job: the PPD's defaults, the job's options
// over them, and the command's options they become. The PPD is the one the
// build made, so the filter and the PPD cannot drift apart.
#include "tools/filter_settings.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/failure.h"
#include "tools/setting_table.h"

namespace {

using textrelay::EmptyLines;
using textrelay::Failure;
using textrelay::JobPrintOptions;
using textrelay::ParseCopies;
using textrelay::ParseJobOptions;
using textrelay::PpdFacts;
using textrelay::PrintOptions;

const PpdFacts& BuiltPpd() {
  static const PpdFacts ppd = textrelay::ReadPpd(TEXTRELAY_PPD);
  return ppd;
}

PrintOptions ForJob(const std::string& job, std::vector<std::string>* warnings = nullptr) {
  std::vector<std::string> ignored;
  return JobPrintOptions(BuiltPpd(), ParseJobOptions(job), 1, warnings ? *warnings : ignored);
}

// The choices the built PPD offers for an option, by their keywords.
std::vector<std::string> PpdChoices(const std::string& option) {
  std::ifstream ppd(TEXTRELAY_PPD);
  std::string line;
  std::vector<std::string> choices;
  while (std::getline(ppd, line)) {
    if (!line.starts_with("*" + option + " ")) continue;
    choices.push_back(line.substr(option.size() + 2, line.find_first_of("/:") - option.size() - 2));
  }
  return choices;
}

// Every choice the PPD offers must be one the filter takes, or a queue could
// be set up so that every job fails; and every choice of a queue's setting
// is offered.
TEST(CupsFilterSettings, Ppd_EveryChoiceItOffersIsTaken) {
  std::vector<std::pair<std::string, size_t>> options = {{"PageSize", 11}};
  for (const textrelay::SettingRow& row : textrelay::SettingTable()) {
    if ((row.faces & textrelay::kQueue) != 0) options.emplace_back(row.ppd, row.choices.size());
  }
  ASSERT_EQ(options.size(), 7u);
  for (const auto& [option, count] : options) {
    const std::vector<std::string> choices = PpdChoices(option);
    for (const std::string& choice : choices) {
      const std::string job = option + "=" + choice;
      EXPECT_NO_THROW(ForJob(job)) << job;
      EXPECT_NO_THROW(textrelay::SendsBinaryUnchanged(BuiltPpd(), ParseJobOptions(job), "text/plain"))
          << job;
    }
    EXPECT_EQ(choices.size(), count) << option;
  }
}

// The custom sizes the PPD allows, at both ends, are sizes the driver takes.
TEST(CupsFilterSettings, Ppd_CustomSizeLimitsAreTheDrivers) {
  std::ifstream ppd(TEXTRELAY_PPD);
  std::string line;
  std::map<std::string, std::pair<std::string, std::string>> limits;
  while (std::getline(ppd, line)) {
    std::istringstream fields(line);
    std::string keyword, name, order, unit, low, high;
    fields >> keyword >> name >> order >> unit >> low >> high;
    if (keyword == "*ParamCustomPageSize" && unit == "points") limits[name] = {low, high};
  }
  ASSERT_TRUE(limits.contains("Width:") && limits.contains("Height:"));
  const auto& [width, length] = std::pair(limits["Width:"], limits["Height:"]);
  for (const std::string& size : {width.first + "x" + length.first, width.second + "x" + length.second}) {
    const PrintOptions options = ForJob("PageSize=Custom." + size);
    const textrelay::CallerDevMode caller = textrelay::BuildCallerDevMode(options.settings, u"textrelay");
    EXPECT_TRUE(textrelay::PredictDevice(&caller).refusals.empty()) << size;
  }
}

// A queue offers the printer application's code pages, in its order, and
// prints each with a converter of its own that iconv knows.
TEST(CupsFilterSettings, Ppd_CodePagesAreTheApplicationsEachItsOwn) {
  const textrelay::SettingRow& row = textrelay::Setting(textrelay::SettingId::kCodePage);
  const std::vector<std::string> offered = PpdChoices("CodePage");
  ASSERT_EQ(offered.size(), row.choices.size());
  ASSERT_GE(offered.size(), 17u);
  std::set<std::string> converters;
  for (size_t i = 0; i < offered.size(); ++i) {
    EXPECT_EQ(offered[i], row.choices[i].ppd);
    const std::string code_page = ForJob("CodePage=" + offered[i]).code_page;
    const iconv_t converter = iconv_open(code_page.c_str(), "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << code_page;
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    EXPECT_TRUE(converters.insert(code_page).second) << code_page << " twice";
  }
}

TEST(CupsFilterSettings, Ppd_DefaultsMakeAReceiptQueue) {
  const PrintOptions options = ForJob("");
  EXPECT_EQ(options.settings.line_terminator, std::optional<BYTE>(1));
  EXPECT_FALSE(options.settings.form_feed);
  EXPECT_EQ(options.settings.paper_width, std::optional<SHORT>(800));
  EXPECT_EQ(options.settings.paper_length, std::optional<SHORT>(2970));
  EXPECT_EQ(options.settings.orientation, std::nullopt);
  EXPECT_EQ(options.settings.copies, std::optional<SHORT>(1));
  EXPECT_EQ(options.code_page, "CP1252");
  EXPECT_FALSE(options.replace_invalid);
  EXPECT_EQ(options.empty_lines, EmptyLines::kFeed);
}

TEST(CupsFilterSettings, Ppd_OnlyDefaultsAndPaperDimensionsAreRead) {
  const PpdFacts facts = textrelay::ParsePpd(
      "*PPD-Adobe: \"4.3\"\r\n*% *DefaultFormFeed: True\r\n*DefaultLineTerminator: LF\r\n"
      "*PaperDimension Tiny/Tiny Label: \"72 36.5\"\r\n*ImageableArea Tiny/Tiny Label: \"1 1 71 "
      "35\"\r\n"
      "*PaperDimension Broken: \"72\"\n*DefaultPageSize: Tiny");
  EXPECT_EQ(facts.defaults,
            (textrelay::JobOptions{{"lineterminator", "LF"}, {"pagesize", "Tiny"}}));
  ASSERT_EQ(facts.sizes.size(), 1u);
  EXPECT_EQ(facts.sizes.at("tiny").width, 72);
  EXPECT_EQ(facts.sizes.at("tiny").length, 36.5);
}

TEST(CupsFilterSettings, PageSize_PointsBecomeTenthsOfAMillimetre) {
  struct Case {
    const char* size;
    SHORT width;
    SHORT length;
  };
  const Case cases[] = {
      {"Roll58mm", 580, 2970},
      {"Roll76mm", 760, 2970},
      {"Roll80mm", 800, 2970},
      {"Label2x1in", 508, 254},
      {"Label57x32mm", 570, 320},
      {"Label58x40mm", 580, 400},
      {"Label4x2in", 1016, 508},
      {"Label4x6in", 1016, 1524},
      {"Label100x150mm", 1000, 1500},
      {"Fanfold8x11in", 2032, 2794},
      {"Fanfold8x12in", 2032, 3048},
      {"label4X6IN", 1016, 1524},
      {"Custom.164.41x841.89", 580, 2970},
      {"Custom.58x297mm", 580, 2970},
      {"Custom.4x6in", 1016, 1524},
      {"Custom.5.8x29.7cm", 580, 2970},
      {"Custom.72x72pt", 254, 254},
      {"custom.0.1x0.3MM", 1, 3},
      {"Custom.300x100mm", 3000, 1000},
  };
  for (const Case& c : cases) {
    for (const char* option : {"PageSize=", "media="}) {
      const PrintOptions options = ForJob(option + std::string(c.size));
      EXPECT_EQ(options.settings.paper_width, std::optional<SHORT>(c.width)) << option << c.size;
      EXPECT_EQ(options.settings.paper_length, std::optional<SHORT>(c.length)) << option << c.size;
    }
  }
}

TEST(CupsFilterSettings, Precedence_TheJobOverThePpdAndPageSizeOverMedia) {
  struct Case {
    const char* job;
    BYTE terminator;
    bool form_feed;
    SHORT width;
    std::optional<SHORT> orientation;
  };
  const Case cases[] = {
      {"", 1, false, 800, std::nullopt},
      {"lineterminator=lf FormFeed media=Roll58mm", 3, true, 580, std::nullopt},
      {"LINETERMINATOR=None noFormFeed", 0, false, 800, std::nullopt},
      {"media=Roll58mm PageSize=Label4x6in", 1, false, 1016, std::nullopt},
      {"PageSize=Label4x6in media=Roll58mm", 1, false, 1016, std::nullopt},
      {"landscape", 1, false, 800, DMORIENT_LANDSCAPE},
      {"nolandscape", 1, false, 800, std::nullopt},
      {"landscape orientation-requested=3", 1, false, 800, DMORIENT_PORTRAIT},
      {"orientation-requested=4", 1, false, 800, DMORIENT_LANDSCAPE},
      {"job-uuid=urn:x title='a b' number-up=1 FormFeed=on", 1, true, 800, std::nullopt},
  };
  for (const Case& c : cases) {
    std::vector<std::string> warnings;
    const PrintOptions options = ForJob(c.job, &warnings);
    EXPECT_EQ(options.settings.line_terminator, std::optional<BYTE>(c.terminator)) << c.job;
    EXPECT_EQ(options.settings.form_feed, c.form_feed) << c.job;
    EXPECT_EQ(options.settings.paper_width, std::optional<SHORT>(c.width)) << c.job;
    EXPECT_EQ(options.settings.orientation, c.orientation) << c.job;
    EXPECT_TRUE(warnings.empty()) << c.job;
  }
  std::vector<std::string> warnings;
  const PrintOptions no_ppd = JobPrintOptions({}, ParseJobOptions("number-up=1"), 2, warnings);
  EXPECT_FALSE(no_ppd.settings.line_terminator || no_ppd.settings.paper_width)
      << "the driver's own";
}

TEST(CupsFilterSettings, Orientation_ReversedSidesPrintUnreversedWithAWarning) {
  std::vector<std::string> warnings;
  EXPECT_EQ(ForJob("orientation-requested=6", &warnings).settings.orientation,
            std::optional<SHORT>(DMORIENT_PORTRAIT));
  EXPECT_EQ(ForJob("orientation-requested=5", &warnings).settings.orientation,
            std::optional<SHORT>(DMORIENT_LANDSCAPE));
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "orientation-requested=6 (reverse portrait) is printed as portrait",
                          "orientation-requested=5 (reverse landscape) is printed as landscape"}));
}

TEST(CupsFilterSettings, BadValues_AreFailuresNamingTheOptionAndItsChoices) {
  const std::pair<const char*, const char*> cases[] = {
      {"LineTerminator=CRCR",
       "LineTerminator=CRCR is not a choice of LineTerminator (None, CRLF, CR or LF); nothing was "
       "sent"},
      {"FormFeed=maybe",
       "FormFeed=maybe is not a choice of FormFeed (True, False, yes, no, on or off)"},
      {"CodePage=UTF-8", "CodePage=UTF-8 is not a choice of CodePage (CP1252, CP1250, "},
      {"InvalidUTF8=Ignore", "InvalidUTF8=Ignore is not a choice of InvalidUTF8 (Stop or Replace)"},
      {"EmptyLines=None", "EmptyLines=None is not a choice of EmptyLines (Feed or Skip)"},
      {"orientation-requested=7",
       "orientation-requested=7 is not a choice of orientation-requested (3, 4, 5 or 6)"},
      {"landscape=perhaps", "landscape=perhaps is not a choice of landscape"},
  };
  for (const auto& [job, message] : cases) {
    try {
      ForJob(job);
      ADD_FAILURE() << job << " was taken";
    } catch (const Failure& failure) {
      EXPECT_TRUE(std::string(failure.what()).starts_with(message)) << failure.what();
    }
  }
}

// A desktop sends its own paper size with every job: the job prints on the
// queue's default size (the PPD's, which lpadmin changes) with a warning.
TEST(CupsFilterSettings, PageSize_ThatTheQueueCannotUseIsItsDefaultWithAWarning) {
  const std::string kNeither =
      " is neither a size of the PPD nor Custom.WIDTHxLENGTH[pt|in|mm|cm] of at least 0.1 mm: "
      "printed on ";
  const char* const sizes[] = {"PageSize=A4",          "media=Letter",
                               "media=Custom.0x100",   "media=Custom.100",
                               "PageSize=Custom.axb",  "PageSize=Custom.10ax20",
                               "PageSize=Custom.10x20yd", "PageSize=Custom.-10x20",
                               "PageSize=Custom.1000x10in"};
  PpdFacts label_queue = BuiltPpd();
  label_queue.defaults["pagesize"] = "Label4x6in";
  for (const char* size : sizes) {
    std::vector<std::string> warnings;
    const PrintOptions options = ForJob(size, &warnings);
    EXPECT_EQ(options.settings.paper_width, std::optional<SHORT>(800)) << size;
    EXPECT_EQ(options.settings.paper_length, std::optional<SHORT>(2970)) << size;
    EXPECT_EQ(warnings, std::vector<std::string>{size + kNeither + "the queue's default size Roll80mm"});

    warnings.clear();
    const PrintOptions on_label = JobPrintOptions(label_queue, ParseJobOptions(size), 1, warnings);
    EXPECT_EQ(on_label.settings.paper_width, std::optional<SHORT>(1016)) << size;
    EXPECT_EQ(on_label.settings.paper_length, std::optional<SHORT>(1524)) << size;

    warnings.clear();
    const PrintOptions no_ppd = JobPrintOptions({}, ParseJobOptions(size), 1, warnings);
    EXPECT_FALSE(no_ppd.settings.paper_width || no_ppd.settings.paper_length) << size;
    EXPECT_EQ(warnings, std::vector<std::string>{size + kNeither + "the driver's own size"});
  }
  PpdFacts bad_default = BuiltPpd();
  bad_default.defaults["pagesize"] = "A4";
  std::vector<std::string> warnings;
  const PrintOptions options = JobPrintOptions(bad_default, {}, 1, warnings);
  EXPECT_FALSE(options.settings.paper_width) << "the driver's own";
  EXPECT_EQ(warnings, std::vector<std::string>{"PageSize=A4" + kNeither + "the driver's own size"});
}

// Text types are judged as text; printer data and what CUPS does not
// recognise may go unchanged unless the queue or the job refuses it.
TEST(CupsFilterSettings, RawData_PrinterDataThatIsNotTextGoesUnchangedUnlessRefused) {
  struct Case {
    const char* type;
    const char* queue;  // the queue's RawData, or none
    const char* job;
    bool unchanged;
  };
  const Case cases[] = {
      {"text/plain", nullptr, "", false},
      {"application/x-shell", nullptr, "RawData=Send", false},
      {"application/vnd.cups-raw", nullptr, "", true},
      {"application/octet-stream", nullptr, "", true},
      {"application/vnd.cups-raw", "Send", "rawdata=send", true},
      {"application/vnd.cups-raw", nullptr, "RawData=Refuse", false},
      {"application/octet-stream", "Refuse", "", false},
      {"application/vnd.cups-raw", "Refuse", "RawData=Send", false},
  };
  for (const Case& c : cases) {
    PpdFacts queue = BuiltPpd();
    if (c.queue != nullptr) queue.defaults["rawdata"] = c.queue;
    EXPECT_EQ(textrelay::SendsBinaryUnchanged(queue, ParseJobOptions(c.job), c.type), c.unchanged)
        << c.type << " " << (c.queue ? c.queue : "-") << " " << c.job;
  }
  EXPECT_THROW(textrelay::SendsBinaryUnchanged(BuiltPpd(), ParseJobOptions("RawData=Maybe"),
                                               "text/plain"),
               Failure);
}

TEST(CupsFilterSettings, Copies_AreCountsThatFitTheDeviceMode) {
  EXPECT_EQ(ParseCopies("1"), 1);
  EXPECT_EQ(ParseCopies("1001"), 1001) << "the driver's limit is its own to report";
  EXPECT_EQ(ParseCopies("32767"), 32767);
  for (const char* bad : {"0", "-1", "32768", "2x", "", " 2"}) {
    EXPECT_THROW(ParseCopies(bad), Failure) << bad;
  }
}

}  // namespace
