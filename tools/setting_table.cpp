#include "tools/setting_table.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace textrelay {

namespace {

// The driver's own numbering.
constexpr SettingChoice kTerminators[] = {
    {"None", "none", nullptr}, {"CRLF", "crlf", nullptr}, {"CR", "cr", nullptr}, {"LF", "lf", nullptr}};
constexpr SettingChoice kBoolean[] = {{"False", "false", nullptr}, {"True", "true", nullptr}};
constexpr SettingChoice kEmptyLines[] = {{"Feed", "feed", nullptr}, {"Skip", "skip", nullptr}};
constexpr SettingChoice kInvalid[] = {{"Stop", "stop", nullptr}, {"Replace", "replace", nullptr}};
constexpr SettingChoice kRawData[] = {{"Send", "send", nullptr}, {"Refuse", "refuse", nullptr}};
// The host's ANSI code pages and the DOS ones receipt printers keep.
constexpr SettingChoice kCodePages[] = {
    {"CP1252", "windows-1252", "CP1252"},  {"CP1250", "windows-1250", "CP1250"},
    {"CP1251", "windows-1251", "CP1251"},  {"CP1253", "windows-1253", "CP1253"},
    {"CP1254", "windows-1254", "CP1254"},  {"CP1255", "windows-1255", "CP1255"},
    {"CP1256", "windows-1256", "CP1256"},  {"CP1257", "windows-1257", "CP1257"},
    {"CP1258", "windows-1258", "CP1258"},  {"CP437", "cp437", "CP437"},
    {"CP850", "cp850", "CP850"},           {"CP852", "cp852", "CP852"},
    {"CP858", "cp858", "CP858"},           {"CP866", "cp866", "CP866"},
    {"CP932", "cp932", "CP932"},           {"ISO8859-1", "iso-8859-1", "ISO-8859-1"},
    {"ISO8859-15", "iso-8859-15", "ISO-8859-15"},
};

// In SettingId's order.
constexpr SettingRow kTable[] = {
    {"textrelay-line-terminator", "LineTerminator", false, kTerminators, 1, kQueue | kApp},
    {"textrelay-form-feed", "FormFeed", true, kBoolean, 0, kQueue | kApp},
    {"textrelay-empty-lines", "EmptyLines", false, kEmptyLines, 0, kQueue | kApp},
    {"textrelay-code-page", "CodePage", false, kCodePages, 0, kQueue | kApp},
    {"textrelay-invalid-utf8", "InvalidUTF8", false, kInvalid, 0, kQueue | kApp},
    {"textrelay-raw-data", "RawData", false, kRawData, 0, kQueue},
};

bool SameWithoutCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

template <typename Same>
size_t FindChoice(const SettingRow& row, Same same) {
  const auto found = std::ranges::find_if(row.choices, same);
  return static_cast<size_t>(found - row.choices.begin());
}

}  // namespace

std::span<const SettingRow> SettingTable() { return kTable; }

const SettingRow& Setting(SettingId id) { return kTable[static_cast<size_t>(id)]; }

size_t FindIppChoice(const SettingRow& row, std::string_view value) {
  return FindChoice(row, [value](const SettingChoice& c) { return value == c.ipp; });
}

size_t FindPpdChoice(const SettingRow& row, std::string_view value) {
  return FindChoice(row, [value](const SettingChoice& c) { return SameWithoutCase(value, c.ppd); });
}

std::string ChoiceKey(const SettingRow& row, const SettingChoice& choice) {
  return std::string(row.name) + "." + choice.ipp;
}

}  // namespace textrelay
