#include "tools/ppd_settings.h"

#include <cmath>
#include <cstdio>

#include "tools/failure.h"
#include "tools/setting_table.h"
#include "tools/settings.h"

namespace textrelay {

namespace {

// A PPD's translation strings are ISOLatin1 here, at most 64 bytes, and end
// at a colon or a quote.
const std::string& PpdLabel(const Strings& english, const std::string& key) {
  const std::string& label = Label(english, key);
  for (const char c : label) {
    if (static_cast<unsigned char>(c) >= 0x80 || c == ':' || c == '"' || c == '\n') {
      throw Failure("the label of " + key + " is not plain text a PPD can carry: " + label);
    }
  }
  if (label.size() > 64) throw Failure("the label of " + key + " is longer than 64 bytes");
  return label;
}

std::string OptionBlock(const SettingRow& row, const Strings& english) {
  const std::string keyword = std::string("*") + row.ppd;
  std::string block = "*OpenUI " + keyword + "/" + PpdLabel(english, row.name) + ": " +
                      (row.boolean ? "Boolean" : "PickOne") + "\n";
  block += "*OrderDependency: 20 AnySetup " + keyword + "\n";
  block += "*Default" + std::string(row.ppd) + ": " + row.choices[row.queue_default].ppd + "\n";
  for (const SettingChoice& choice : row.choices) {
    block += keyword + " " + choice.ppd + "/" + PpdLabel(english, ChoiceKey(row, choice)) + ": \"\"\n";
  }
  return block + "*CloseUI: " + keyword + "\n";
}

std::string Points(double points) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", points);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

// Tenths of a millimetre to points: a lower limit rounded up to a
// hundredth and an upper one down to a whole point, so that either
// converted back stays within the driver's limits.
std::string LowerLimit(int tenths) { return Points(std::ceil(tenths * 7200.0 / 254.0) / 100.0); }
std::string UpperLimit(int tenths) { return Points(std::floor(tenths * 72.0 / 254.0)); }

std::string Millimetres(int tenths) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
  return text;
}

void Replace(std::string& text, std::string_view marker, const std::string& value) {
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size())) {
    text.replace(at, marker.size(), value);
  }
}

}  // namespace

std::string MakePpd(std::string_view ppd_template, const Strings& english,
                    std::string_view version) {
  std::string settings;
  for (const SettingRow& row : SettingTable()) {
    if ((row.faces & kQueue) != 0) settings += (settings.empty() ? "" : "\n") + OptionBlock(row, english);
  }
  const DrvDevMode limits = DefaultDevMode(u"textrelay");
  std::string ppd(ppd_template);
  Replace(ppd, "@SETTINGS@\n", settings);
  Replace(ppd, "@PROJECT_VERSION@", std::string(version));
  Replace(ppd, "@PAPER_LIMITS@",
          "widths of " + Millimetres(limits.sMinPaperWidth) + " to " +
              Millimetres(limits.sMaxPaperWidth) + " mm and lengths of " +
              Millimetres(limits.sMinPaperLength) + " to " + Millimetres(limits.sMaxPaperLength) + " mm");
  Replace(ppd, "@MIN_WIDTH@", LowerLimit(limits.sMinPaperWidth));
  Replace(ppd, "@MAX_WIDTH@", UpperLimit(limits.sMaxPaperWidth));
  Replace(ppd, "@MIN_LENGTH@", LowerLimit(limits.sMinPaperLength));
  Replace(ppd, "@MAX_LENGTH@", UpperLimit(limits.sMaxPaperLength));
  return ppd;
}

}  // namespace textrelay
