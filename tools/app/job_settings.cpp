#include "tools/app/job_settings.h"

#include <algorithm>
#include <cstdio>

#include "tools/failure.h"
#include "tools/settings.h"

namespace textrelay::app {

namespace {

constexpr const char* kLineTerminator = "textrelay-line-terminator";
constexpr const char* kFormFeed = "textrelay-form-feed";
constexpr const char* kCodePage = "textrelay-code-page";
constexpr const char* kEmptyLines = "textrelay-empty-lines";
constexpr const char* kInvalidUtf8 = "textrelay-invalid-utf8";

// The order of the terminators is the driver's own numbering.
const VendorSetting kSettings[] = {
    {kLineTerminator, {"none", "crlf", "cr", "lf"}, "none"},
    {kFormFeed, {}, "false"},
    {kCodePage,
     {"windows-1252", "windows-1250", "windows-1251", "windows-1253", "windows-1254",
      "windows-1257", "cp437", "cp850", "cp852", "cp858", "cp866", "cp932", "iso-8859-1",
      "iso-8859-15"},
     "windows-1252"},
    {kEmptyLines, {"feed", "skip"}, "feed"},
    {kInvalidUtf8, {"stop", "replace"}, "stop"},
};

// The driver's limits, in tenths of a millimetre; the media the driver
// offers (driver.cpp) stay within them.
constexpr int kMinWidth = 1, kMaxWidth = 2032, kMinLength = 3, kMaxLength = 9999;

std::string ChoiceList(const VendorSetting& setting) {
  std::string list;
  for (const char* choice : setting.choices) list += (list.empty() ? "" : ", ") + std::string(choice);
  return list;
}

// The setting's choice index (a boolean: 0 false, 1 true), or Failure.
size_t Chosen(const VendorSetting& setting, const VendorValues& values) {
  const auto found = values.find(setting.name);
  const std::string value = found != values.end() ? found->second : setting.default_value;
  if (setting.choices.empty()) {
    if (value == "true" || value == "false") return value == "true";
    throw Failure(std::string(setting.name) + " '" + value + "' is not true or false; nothing was sent");
  }
  const auto choice = std::find(setting.choices.begin(), setting.choices.end(), value);
  if (choice == setting.choices.end()) {
    throw Failure(std::string(setting.name) + " '" + value + "' is not one of " +
                  ChoiceList(setting) + "; nothing was sent");
  }
  return static_cast<size_t>(choice - setting.choices.begin());
}

const VendorSetting& Setting(const char* name) {
  return *std::find_if(std::begin(kSettings), std::end(kSettings),
                       [name](const VendorSetting& setting) { return setting.name == name; });
}

std::string Millimetres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g mm", value);
  return text;
}

// Hundredths to the driver's tenths, refused outside its limits.
SHORT PageSize(const char* what, int hundredths, int low, int high) {
  const int tenths = (hundredths + 5) / 10;
  if (tenths < low || tenths > high) {
    throw Failure(std::string("media ") + what + " " + Millimetres(hundredths / 100.0) +
                  " is outside the driver's " + Millimetres(low / 10.0) + " to " +
                  Millimetres(high / 10.0) + "; nothing was sent");
  }
  return static_cast<SHORT>(tenths);
}

// Reversed orientations print as their plain kind: the driver knows two.
std::optional<SHORT> Orientation(int requested) {
  switch (requested) {
    case 3:  // portrait
    case 6:  // reverse-portrait
      return DMORIENT_PORTRAIT;
    case 4:  // landscape
    case 5:  // reverse-landscape
      return DMORIENT_LANDSCAPE;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::span<const VendorSetting> VendorSettings() { return kSettings; }

PrintOptions JobPrintOptions(const JobRequest& request) {
  PrintOptions options;
  const VendorValues& vendor = request.vendor;
  options.settings.line_terminator = static_cast<BYTE>(Chosen(Setting(kLineTerminator), vendor));
  options.settings.form_feed = Chosen(Setting(kFormFeed), vendor) == 1;
  options.code_page = Setting(kCodePage).choices[Chosen(Setting(kCodePage), vendor)];
  options.empty_lines = Chosen(Setting(kEmptyLines), vendor) == 0 ? EmptyLines::kFeed : EmptyLines::kSkip;
  options.replace_invalid = Chosen(Setting(kInvalidUtf8), vendor) == 1;
  if (request.copies < 1 || request.copies > 999) {
    throw Failure("copies " + std::to_string(request.copies) + " is outside 1 to 999; nothing was sent");
  }
  options.settings.copies = static_cast<SHORT>(request.copies);
  options.settings.orientation = Orientation(request.orientation);
  if (request.media_width > 0 && request.media_length > 0) {
    options.settings.paper_width = PageSize("width", request.media_width, kMinWidth, kMaxWidth);
    options.settings.paper_length = PageSize("length", request.media_length, kMinLength, kMaxLength);
  }
  return options;
}

}  // namespace textrelay::app
