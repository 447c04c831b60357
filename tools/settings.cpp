#include "tools/settings.h"

#include <array>
#include <cstdio>
#include <string>

#include "devmode/devmode.h"
#include "tools/setting_table.h"

namespace textrelay {

bool Settings::any() const {
  return line_terminator || form_feed || orientation || paper_length || paper_width || copies;
}

DrvDevMode DefaultDevMode(std::u16string_view device_name) {
  const std::u16string name(device_name);
  DrvDevMode record{};
  GetDefaultDrvDevMode(name.c_str(), &record);
  return record;
}

CallerDevMode BuildCallerDevMode(const Settings& settings, std::u16string_view device_name) {
  CallerDevMode caller{DefaultDevMode(device_name)};
  DEVMODEW& dm = caller.record.dm;
  dm.dmFields = 0;
  auto announce = [&dm](const std::optional<SHORT>& given, DWORD bit, SHORT& field) {
    if (!given) return;
    field = *given;
    dm.dmFields |= bit;
  };
  announce(settings.orientation, DM_ORIENTATION, dm.dmOrientation);
  announce(settings.paper_length, DM_PAPERLENGTH, dm.dmPaperLength);
  announce(settings.paper_width, DM_PAPERWIDTH, dm.dmPaperWidth);
  announce(settings.copies, DM_COPIES, dm.dmCopies);
  caller.record.byLineTerminator = settings.line_terminator.value_or(0);
  caller.record.byFormFeed = settings.form_feed ? 1 : 0;
  return caller;
}

namespace {
struct HeaderField {
  const char* name;
  WORD DEVMODEW::*field;
  WORD required;
};
constexpr HeaderField kHeader[] = {
    {"dmSpecVersion", &DEVMODEW::dmSpecVersion, DM_SPECVERSION},
    {"dmDriverVersion", &DEVMODEW::dmDriverVersion, DRV_DRIVER_VERSION},
    {"dmSize", &DEVMODEW::dmSize, sizeof(DEVMODEW)},
    {"dmDriverExtra", &DEVMODEW::dmDriverExtra, DRV_DRIVER_EXTRA},
};

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}
}  // namespace

std::string WhyNotOwn(const DEVMODEW& dm) {
  for (const HeaderField& header : kHeader) {
    const WORD value = dm.*header.field;
    if (value == header.required) continue;
    const bool version = header.field == &DEVMODEW::dmSpecVersion ||
                         header.field == &DEVMODEW::dmDriverVersion;
    auto show = [version](unsigned v) { return version ? Hex4(v) : std::to_string(v); };
    return std::string(header.name) + " is " + show(value) + ", the driver's is " +
           show(header.required);
  }
  return {};
}

bool IsDriversOwn(const DEVMODEW& dm) { return WhyNotOwn(dm).empty(); }

std::string Describe(const Refusal& refusal) {
  return refusal.setting + " " + std::to_string(refusal.value) + " is refused: the driver takes " +
         std::to_string(refusal.low) + " to " + std::to_string(refusal.high) + " and keeps " +
         std::to_string(refusal.kept);
}

namespace {

// A public setting the merge judges, with the limits the defaults hold.
struct Judged {
  DWORD bit;
  const char* setting;
  SHORT DEVMODEW::*field;
  int low;
  int high;
  int DeviceSettings::*result;
};

std::array<Judged, 4> JudgedSettings(const DrvDevMode& defaults) {
  return {{
      {DM_ORIENTATION, "orientation", &DEVMODEW::dmOrientation, DMORIENT_PORTRAIT,
       DMORIENT_LANDSCAPE, &DeviceSettings::orientation},
      {DM_PAPERLENGTH, "paper length", &DEVMODEW::dmPaperLength, defaults.sMinPaperLength,
       defaults.sMaxPaperLength, &DeviceSettings::paper_length},
      {DM_PAPERWIDTH, "paper width", &DEVMODEW::dmPaperWidth, defaults.sMinPaperWidth,
       defaults.sMaxPaperWidth, &DeviceSettings::paper_width},
      {DM_COPIES, "copies", &DEVMODEW::dmCopies, defaults.sMinCopies, defaults.sMaxCopies,
       &DeviceSettings::copies},
  }};
}

// Whether the merge reads the field: what dmSize leaves out is not there.
bool Announces(const DEVMODEW& source, const Judged& judged) {
  auto within = [&source](const void* field, size_t cj) {
    const auto* base = reinterpret_cast<const BYTE*>(&source);
    return static_cast<size_t>(static_cast<const BYTE*>(field) - base) + cj <= source.dmSize;
  };
  return within(&source.dmFields, sizeof source.dmFields) && (source.dmFields & judged.bit) != 0 &&
         within(&(source.*judged.field), sizeof(SHORT));
}

// Refused is what the merge does not take: merged into a record that holds
// something else in each field, a value taken shows.
void AddRefusals(const DEVMODEW& source, const DrvDevMode& defaults, DeviceSettings& device) {
  DrvDevMode probe = defaults;
  const std::array<Judged, 4> judged = JudgedSettings(defaults);
  for (const Judged& j : judged) probe.dm.*j.field = static_cast<SHORT>(~(source.*j.field));
  MergeDevModes(&probe, &source);
  for (const Judged& j : judged) {
    const int value = source.*j.field;
    if (!Announces(source, j) || probe.dm.*j.field == value) continue;
    device.refusals.push_back({j.setting, value, j.low, j.high, device.*j.result});
  }
}

}  // namespace

DeviceSettings PredictDevice(const CallerDevMode* caller) {
  const DrvDevMode defaults = DefaultDevMode(u"textrelay");
  DrvDevMode merged = defaults;
  if (caller != nullptr) MergeDevModes(&merged, caller->dm());
  DeviceSettings device{merged.dm.dmOrientation, merged.dm.dmPaperLength, merged.dm.dmPaperWidth,
                        merged.dm.dmCopies,      merged.byLineTerminator, merged.byFormFeed,
                        false,                   {}};
  if (caller == nullptr) return device;
  device.private_block_taken = IsDriversOwn(*caller->dm());
  AddRefusals(*caller->dm(), defaults, device);
  return device;
}

const char* TerminatorName(BYTE mode) {
  const SettingRow& row = Setting(SettingId::kLineTerminator);
  return row.choices[mode < row.choices.size() ? mode : 0].ipp;
}

}  // namespace textrelay
