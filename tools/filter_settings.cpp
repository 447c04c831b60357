#include "tools/filter_settings.h"

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "devmode/drv_devmode.h"
#include "tools/failure.h"
#include "tools/read_file.h"
#include "tools/setting_table.h"

namespace textrelay {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// "*Keyword Option/Text: Value" split at its parts; Value without quotes.
struct PpdLine {
  std::string_view keyword;
  std::string_view option;
  std::string_view value;
};

std::optional<PpdLine> SplitPpdLine(std::string_view line) {
  if (!line.starts_with('*') || line.starts_with("*%")) return std::nullopt;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view head = line.substr(1, colon - 1);
  std::string_view value = Trim(line.substr(colon + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  const size_t space = head.find(' ');
  if (space == std::string_view::npos) return PpdLine{head, {}, value};
  std::string_view option = Trim(head.substr(space + 1));
  option = option.substr(0, option.find('/'));
  return PpdLine{head.substr(0, space), option, value};
}

// The whole of text as a number, or none.
std::optional<double> ParseNumber(std::string_view text) {
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || text.empty() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A choice as the PPD spells it and what it means.
template <typename T>
struct Choice {
  const char* name;
  T value;
};

// The choices' names are what `name` gives for each of them.
template <typename Choices, typename Name>
[[noreturn]] void RefuseChoice(std::string_view option, const std::string& value,
                               const Choices& choices, Name name) {
  std::string names;
  const size_t count = std::size(choices);
  for (size_t i = 0; i < count; ++i) {
    names += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::string(name(choices[i]));
  }
  throw Failure(std::string(option) + "=" + value + " is not a choice of " + std::string(option) +
                " (" + names + "); nothing was sent");
}

template <typename T, size_t N>
T Choose(const char* option, const std::string& value, const Choice<T> (&choices)[N]) {
  for (const Choice<T>& choice : choices) {
    if (Lower(choice.name) == Lower(value)) return choice.value;
  }
  RefuseChoice(option, value, choices, [](const Choice<T>& choice) { return choice.name; });
}

// CUPS's spellings of a boolean option.
constexpr Choice<bool> kBooleans[] = {{"True", true}, {"False", false}, {"yes", true},
                                      {"no", false},  {"on", true},     {"off", false}};

// The index of the row's choice the PPD's keyword names, or Failure.
size_t ChooseSetting(SettingId id, const std::string& value) {
  const SettingRow& row = Setting(id);
  const size_t index = FindPpdChoice(row, value);
  if (index < row.choices.size()) return index;
  RefuseChoice(row.ppd, value, row.choices, [](const SettingChoice& choice) { return choice.ppd; });
}

// CUPS's orientation-requested: the driver knows portrait and landscape;
// the reversed ones print as their unreversed side, with a warning.
struct Orientation {
  SHORT side;
  const char* reversed;  // the value's name when it is a reversed side
};
constexpr Choice<Orientation> kOrientations[] = {{"3", {DMORIENT_PORTRAIT, nullptr}},
                                                 {"4", {DMORIENT_LANDSCAPE, nullptr}},
                                                 {"5", {DMORIENT_LANDSCAPE, "reverse landscape"}},
                                                 {"6", {DMORIENT_PORTRAIT, "reverse portrait"}}};

// Points to tenths of a millimetre.
std::optional<SHORT> Tenths(double points) {
  const double tenths = std::round(points * 254.0 / 72.0);
  if (!(tenths >= 1 && tenths <= std::numeric_limits<SHORT>::max())) return std::nullopt;
  return static_cast<SHORT>(tenths);
}

constexpr Choice<double> kUnits[] = {
    {"pt", 1.0}, {"in", 72.0}, {"mm", 72.0 / 25.4}, {"cm", 72.0 / 2.54}};

// "Custom.WxL" with an optional unit (pt, in, mm, cm; points without one).
std::optional<PpdFacts::PaperSize> CustomSize(std::string_view text) {
  constexpr std::string_view kCustom = "custom.";
  if (!Lower(text).starts_with(kCustom)) return std::nullopt;
  text.remove_prefix(kCustom.size());
  double scale = 1.0;
  for (const Choice<double>& unit : kUnits) {
    if (!Lower(text).ends_with(unit.name)) continue;
    scale = unit.value;
    text.remove_suffix(2);
    break;
  }
  const size_t by = text.find('x');
  if (by == std::string_view::npos) return std::nullopt;
  const std::optional<double> width = ParseNumber(text.substr(0, by));
  const std::optional<double> length = ParseNumber(text.substr(by + 1));
  if (!width || !length) return std::nullopt;
  return PpdFacts::PaperSize{*width * scale, *length * scale};
}

const std::string* Find(const JobOptions& options, const char* name) {
  const auto found = options.find(name);
  return found == options.end() ? nullptr : &found->second;
}

// The job's media or page size: PageSize before media, both before the
// PPD's default.
struct Asked {
  const char* option;
  const std::string* value;
};

Asked PageSizeAsked(const PpdFacts& ppd, const JobOptions& job) {
  if (const std::string* size = Find(job, "pagesize")) return {"PageSize", size};
  if (const std::string* media = Find(job, "media")) return {"media", media};
  return {"PageSize", Find(ppd.defaults, "pagesize")};
}

// False, changing nothing, when the name is no size of the PPD nor a
// custom size of at least 0.1 mm.
bool ApplySize(const PpdFacts& ppd, const std::string& name, Settings& settings) {
  std::optional<PpdFacts::PaperSize> size = CustomSize(name);
  if (const auto named = ppd.sizes.find(Lower(name)); !size && named != ppd.sizes.end()) {
    size = named->second;
  }
  const std::optional<SHORT> width = size ? Tenths(size->width) : std::nullopt;
  const std::optional<SHORT> length = size ? Tenths(size->length) : std::nullopt;
  if (!width || !length) return false;
  settings.paper_width = width;
  settings.paper_length = length;
  return true;
}

// A size the queue cannot use is what a desktop whose paper is A4 or Letter
// sends with every job: it is printed on the queue's default size instead,
// as CUPS's own text filter does, rather than stopped.
void ApplyPageSize(const PpdFacts& ppd, const JobOptions& job, Settings& settings,
                   std::vector<std::string>& warnings) {
  const auto [option, value] = PageSizeAsked(ppd, job);
  if (value == nullptr || ApplySize(ppd, *value, settings)) return;
  const std::string* fallback = Find(ppd.defaults, "pagesize");
  const bool on_default = fallback != nullptr && fallback != value && ApplySize(ppd, *fallback, settings);
  warnings.push_back(std::string(option) + "=" + *value +
                     " is neither a size of the PPD nor Custom.WIDTHxLENGTH[pt|in|mm|cm] of at "
                     "least 0.1 mm: printed on " +
                     (on_default ? "the queue's default size " + *fallback : "the driver's own size"));
}

void ApplyOrientation(const JobOptions& job, Settings& settings,
                      std::vector<std::string>& warnings) {
  if (const std::string* landscape = Find(job, "landscape")) {
    if (Choose("landscape", landscape->empty() ? "true" : *landscape, kBooleans)) {
      settings.orientation = DMORIENT_LANDSCAPE;
    }
  }
  const std::string* requested = Find(job, "orientation-requested");
  if (requested == nullptr) return;
  const Orientation orientation = Choose("orientation-requested", *requested, kOrientations);
  settings.orientation = orientation.side;
  if (orientation.reversed == nullptr) return;
  warnings.push_back(std::string("orientation-requested=") + *requested + " (" +
                     orientation.reversed + ") is printed as " +
                     (orientation.side == DMORIENT_LANDSCAPE ? "landscape" : "portrait"));
}

// CUPS's names for printer data and for what it does not recognise.
bool IsPrinterData(std::string_view content_type) {
  return content_type.starts_with("application/vnd.cups-raw") ||
         content_type.starts_with("application/octet-stream");
}

}  // namespace

PpdFacts ParsePpd(std::string_view text) {
  PpdFacts facts;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::optional<PpdLine> line = SplitPpdLine(Trim(text.substr(0, end)));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line) continue;
    if (line->keyword.starts_with("Default") && line->option.empty()) {
      facts.defaults[Lower(line->keyword.substr(7))] = std::string(line->value);
      continue;
    }
    if (line->keyword != "PaperDimension") continue;
    const size_t space = line->value.find(' ');
    const std::optional<double> width = ParseNumber(line->value.substr(0, space));
    const std::optional<double> length = space == std::string_view::npos
                                             ? std::nullopt
                                             : ParseNumber(Trim(line->value.substr(space)));
    if (width && length) facts.sizes[Lower(line->option)] = {*width, *length};
  }
  return facts;
}

PpdFacts ReadPpd(const std::string& path) { return ParsePpd(ReadFile(path)); }

JobOptions ParseJobOptions(const std::string& text) {
  cups_option_t* parsed = nullptr;
  const int count = cupsParseOptions(text.c_str(), 0, &parsed);
  JobOptions options;
  for (int i = 0; i < count; ++i) options[Lower(parsed[i].name)] = parsed[i].value;
  cupsFreeOptions(count, parsed);
  return options;
}

SHORT ParseCopies(const std::string& text) {
  int copies = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), copies);
  if (error != std::errc() || end != text.data() + text.size() || copies < 1 ||
      copies > std::numeric_limits<SHORT>::max()) {
    throw Failure("copies " + text + " is not a count of copies; nothing was sent");
  }
  return static_cast<SHORT>(copies);
}

PrintOptions JobPrintOptions(const PpdFacts& ppd, const JobOptions& job, SHORT copies,
                             std::vector<std::string>& warnings) {
  // The job's value, else the PPD's default; none when neither has one.
  auto value = [&](const char* name) -> const std::string* {
    const std::string* given = Find(job, name);
    return given != nullptr ? given : Find(ppd.defaults, name);
  };
  PrintOptions options;
  Settings& settings = options.settings;
  if (const std::string* v = value("lineterminator")) {
    settings.line_terminator = static_cast<BYTE>(ChooseSetting(SettingId::kLineTerminator, *v));
  }
  if (const std::string* v = value("formfeed"))
    settings.form_feed = Choose("FormFeed", *v, kBooleans);
  if (const std::string* v = value("codepage")) {
    options.code_page = Setting(SettingId::kCodePage).choices[ChooseSetting(SettingId::kCodePage, *v)].iconv;
  }
  if (const std::string* v = value("invalidutf8")) {
    options.replace_invalid = ChooseSetting(SettingId::kInvalidUtf8, *v) == 1;
  }
  if (const std::string* v = value("emptylines")) {
    options.empty_lines = ChooseSetting(SettingId::kEmptyLines, *v) == 0 ? EmptyLines::kFeed : EmptyLines::kSkip;
  }
  ApplyPageSize(ppd, job, settings, warnings);
  ApplyOrientation(job, settings, warnings);
  settings.copies = copies;
  return options;
}

}  // namespace textrelay

namespace textrelay {

bool SendsBinaryUnchanged(const PpdFacts& ppd, const JobOptions& job,
                          std::string_view content_type) {
  // Refused by the queue or by the job: a job cannot send what the
  // administrator turned off.
  for (const JobOptions* options : {&ppd.defaults, &job}) {
    const std::string* value = Find(*options, "rawdata");
    if (value != nullptr && ChooseSetting(SettingId::kRawData, *value) != 0) return false;
  }
  return IsPrinterData(content_type);
}

std::string DescribeJob(const PrintOptions& options, std::string_view content_type) {
  const std::optional<CallerDevMode> caller =
      options.settings.any() ? std::optional(BuildCallerDevMode(options.settings, u"textrelay"))
                             : std::nullopt;
  const DeviceSettings device = PredictDevice(caller ? &*caller : nullptr);
  std::ostringstream text;
  text << content_type << (options.send_binary_unchanged ? ": UTF-8 as text, anything else unchanged"
                                                         : ": as text")
       << "; line terminator " << TerminatorName(device.line_terminator) << ", form feed "
       << (device.form_feed ? "on" : "off") << ", paper " << device.paper_width << " x "
       << device.paper_length << " (0.1 mm), "
       << (device.orientation == DMORIENT_LANDSCAPE ? "landscape" : "portrait") << ", copies "
       << device.copies << ", code page " << options.code_page << ", invalid UTF-8 "
       << (options.replace_invalid ? "replaced" : "stops the job") << ", empty lines "
       << (options.empty_lines == EmptyLines::kFeed ? "feed" : "skip");
  return text.str();
}

}  // namespace textrelay
