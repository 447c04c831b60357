// The settings users see on several faces, one row each: the PPD option of
// a CUPS queue, the printer application's vendor attribute and the
// command's option. Labels are not here: each language's strings file
// (tools/strings/) gives them, keyed on the row's name and on
// `name.choice`, and the PPD is generated from this table and the English
// file.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace textrelay {

struct SettingChoice {
  const char* ppd;    // the PPD's choice keyword
  const char* ipp;    // the IPP keyword; also the command's value
  const char* iconv;  // a code page's name for iconv, else null
};

// Which faces offer a setting.
enum SettingFace : unsigned { kQueue = 1, kApp = 2 };

struct SettingRow {
  const char* name;  // the IPP attribute and the strings files' key
  const char* ppd;   // the PPD option keyword
  // An IPP boolean and a PPD Boolean; its choices are false, then true.
  bool boolean;
  std::span<const SettingChoice> choices;
  // A choice's index is its meaning: the driver's number for a line
  // terminator, 1 for true, and for two choices the second one's behaviour.
  size_t queue_default;  // a CUPS queue's default, a receipt printer's
  unsigned faces;
};

enum class SettingId { kLineTerminator, kFormFeed, kEmptyLines, kCodePage, kInvalidUtf8, kRawData };

std::span<const SettingRow> SettingTable();
const SettingRow& Setting(SettingId id);

// The index of the choice whose IPP keyword (or PPD keyword, compared
// without case) is the value; the row's choice count when there is none.
size_t FindIppChoice(const SettingRow& row, std::string_view value);
size_t FindPpdChoice(const SettingRow& row, std::string_view value);

// The strings files' key for a choice: "name.keyword".
std::string ChoiceKey(const SettingRow& row, const SettingChoice& choice);

}  // namespace textrelay
