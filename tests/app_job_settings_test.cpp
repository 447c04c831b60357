// What textrelay-app makes of a job's attributes and its printer's
// defaults: the print path's options, or the reason the job stops.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tools/app/job_settings.h"
#include "tools/failure.h"

namespace {

using textrelay::EmptyLines;
using textrelay::PrintOptions;
using textrelay::app::JobPrintOptions;
using textrelay::app::JobRequest;

struct Expected {
  int terminator;
  bool form_feed;
  const char* code_page;
  EmptyLines empty_lines;
  bool replace_invalid;
  int copies;
  std::optional<int> orientation;  // DMORIENT_*
  std::optional<int> width, length;  // tenths of a millimetre
};

TEST(AppJobSettings, Options_FollowTheJobOverTheDefaults) {
  const struct {
    JobRequest request;
    Expected expected;
  } cases[] = {
      {{1, 0, 0, 0, {}}, {0, false, "CP1252", EmptyLines::kFeed, false, 1, {}, {}, {}}},
      {{2, 3, 8000, 20000,
        {{"textrelay-line-terminator", "crlf"}, {"textrelay-form-feed", "true"},
         {"textrelay-code-page", "cp437"}, {"textrelay-empty-lines", "skip"},
         {"textrelay-invalid-utf8", "replace"}}},
       {1, true, "CP437", EmptyLines::kSkip, true, 2, 1, 800, 2000}},
      // Reversed sides print as their plain kind; "none" leaves the driver's.
      {{1, 5, 5800, 20000, {{"textrelay-line-terminator", "lf"}}},
       {3, false, "CP1252", EmptyLines::kFeed, false, 1, 2, 580, 2000}},
      {{999, 6, 10, 30, {{"textrelay-line-terminator", "cr"}}},
       {2, false, "CP1252", EmptyLines::kFeed, false, 999, 1, 1, 3}},
      {{1, 7, 20320, 99990, {}}, {0, false, "CP1252", EmptyLines::kFeed, false, 1, {}, 2032, 9999}},
  };
  for (const auto& [request, expected] : cases) {
    const PrintOptions options = JobPrintOptions(request);
    const textrelay::Settings& settings = options.settings;
    EXPECT_EQ(settings.line_terminator, expected.terminator);
    EXPECT_EQ(settings.form_feed, expected.form_feed);
    EXPECT_EQ(options.code_page, expected.code_page);
    EXPECT_EQ(options.empty_lines, expected.empty_lines);
    EXPECT_EQ(options.replace_invalid, expected.replace_invalid);
    EXPECT_EQ(settings.copies, expected.copies);
    EXPECT_EQ(settings.orientation, expected.orientation) << request.orientation;
    EXPECT_EQ(settings.paper_width, expected.width) << request.media_width;
    EXPECT_EQ(settings.paper_length, expected.length) << request.media_length;
  }
}

TEST(AppJobSettings, Refusals_NameTheAttributeAndItsChoices) {
  const struct {
    JobRequest request;
    const char* message;
  } cases[] = {
      {{1, 0, 0, 0, {{"textrelay-line-terminator", "CRLF"}}},
       "textrelay-line-terminator 'CRLF' is not one of none, crlf, cr, lf; nothing was sent"},
      {{1, 0, 0, 0, {{"textrelay-form-feed", "on"}}},
       "textrelay-form-feed 'on' is not true or false; nothing was sent"},
      {{1, 0, 0, 0, {{"textrelay-code-page", "utf-8"}}}, "textrelay-code-page 'utf-8' is not one of"},
      {{1, 0, 0, 0, {{"textrelay-empty-lines", ""}}}, "textrelay-empty-lines '' is not one of feed, skip"},
      {{0, 0, 0, 0, {}}, "copies 0 is outside 1 to 999; nothing was sent"},
      {{1000, 0, 0, 0, {}}, "copies 1000 is outside 1 to 999"},
      {{1, 0, 20330, 20000, {}}, "media width 203.3 mm is outside the driver's 0.1 mm to 203.2 mm"},
      {{1, 0, 8000, 24, {}}, "media length 0.24 mm is outside the driver's 0.3 mm to 999.9 mm"},
  };
  for (const auto& [request, message] : cases) {
    try {
      JobPrintOptions(request);
      ADD_FAILURE() << "taken: " << message;
    } catch (const textrelay::Failure& failure) {
      EXPECT_EQ(std::string(failure.what()).find(message), 0u) << failure.what();
    }
  }
}

}  // namespace
