#include "tools/app/job_settings.h"

#include <cstdio>

#include "tools/failure.h"
#include "tools/settings.h"

namespace textrelay::app {

namespace {

// The driver's defaults do not change: read once, so that the driver's
// trace of them is not kept again for every job of a long-running server.
const DrvDevMode& DriverDefaults() {
  static const DrvDevMode defaults = DefaultDevMode(u"textrelay");
  return defaults;
}

// The framework offers copies 1 to 999.
constexpr int kMaxCopies = 999;

std::string ChoiceList(const SettingRow& row) {
  std::string list;
  for (const SettingChoice& choice : row.choices) list += (list.empty() ? "" : ", ") + std::string(choice.ipp);
  return list;
}

// The driver's own for what its device mode holds, else the first choice.
size_t DefaultChoice(const SettingRow& row, const DrvDevMode& driver) {
  if (&row == &Setting(SettingId::kLineTerminator)) return driver.byLineTerminator;
  if (&row == &Setting(SettingId::kFormFeed)) return driver.byFormFeed;
  return 0;
}

// The setting's choice index (a boolean: 0 false, 1 true), or Failure.
size_t Chosen(SettingId id, const VendorValues& values) {
  const SettingRow& row = Setting(id);
  const auto found = values.find(row.name);
  if (found == values.end()) return DefaultChoice(row, DriverDefaults());
  const std::string& value = found->second;
  const size_t index = FindIppChoice(row, value);
  if (index < row.choices.size()) return index;
  throw Failure(std::string(row.name) + " '" + value + "' is not " +
                (row.boolean ? "true or false" : "one of " + ChoiceList(row)) + "; nothing was sent");
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

std::string PwgSize(const char* name, int width_tenths, int length_tenths) {
  char text[64];
  std::snprintf(text, sizeof text, "custom_%s_%gx%gmm", name, width_tenths / 10.0, length_tenths / 10.0);
  return text;
}

}  // namespace

std::vector<VendorSetting> VendorSettings() {
  const DrvDevMode& driver = DriverDefaults();
  std::vector<VendorSetting> settings;
  for (const SettingRow& row : SettingTable()) {
    if ((row.faces & kApp) != 0) settings.push_back({row.name, &row, DefaultChoice(row, driver)});
  }
  return settings;
}

PrintOptions JobPrintOptions(const JobRequest& request) {
  PrintOptions options;
  const VendorValues& vendor = request.vendor;
  options.settings.line_terminator = static_cast<BYTE>(Chosen(SettingId::kLineTerminator, vendor));
  options.settings.form_feed = Chosen(SettingId::kFormFeed, vendor) == 1;
  options.code_page = Setting(SettingId::kCodePage).choices[Chosen(SettingId::kCodePage, vendor)].iconv;
  options.empty_lines = Chosen(SettingId::kEmptyLines, vendor) == 0 ? EmptyLines::kFeed : EmptyLines::kSkip;
  options.replace_invalid = Chosen(SettingId::kInvalidUtf8, vendor) == 1;
  if (request.copies < 1 || request.copies > kMaxCopies) {
    throw Failure("copies " + std::to_string(request.copies) + " is outside 1 to " +
                  std::to_string(kMaxCopies) + "; nothing was sent");
  }
  options.settings.copies = static_cast<SHORT>(request.copies);
  options.settings.orientation = Orientation(request.orientation);
  if (request.media_width > 0 && request.media_length > 0) {
    const DrvDevMode& driver = DriverDefaults();
    options.settings.paper_width =
        PageSize("width", request.media_width, driver.sMinPaperWidth, driver.sMaxPaperWidth);
    options.settings.paper_length =
        PageSize("length", request.media_length, driver.sMinPaperLength, driver.sMaxPaperLength);
  }
  return options;
}

PaperLimits DriverPaperLimits() {
  const DrvDevMode& driver = DriverDefaults();
  return {PwgSize("min", driver.sMinPaperWidth, driver.sMinPaperLength),
          PwgSize("max", driver.sMaxPaperWidth, driver.sMaxPaperLength)};
}

}  // namespace textrelay::app
