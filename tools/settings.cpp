#include "tools/settings.h"

#include <cstdio>
#include <string>

#include "devmode/devmode.h"

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

DeviceSettings PredictDevice(const CallerDevMode* caller) {
  const DrvDevMode defaults = DefaultDevMode(u"textrelay");
  DeviceSettings device{defaults.dm.dmOrientation, defaults.dm.dmPaperLength,
                        defaults.dm.dmPaperWidth,  defaults.dm.dmCopies,
                        defaults.byLineTerminator, defaults.byFormFeed, false, {}};
  if (caller == nullptr) return device;

  struct Merged {
    DWORD bit;
    const char* setting;
    SHORT DEVMODEW::*field;
    int low;
    int high;
    int DeviceSettings::*result;
  };
  const Merged merged[] = {
      {DM_ORIENTATION, "orientation", &DEVMODEW::dmOrientation, DMORIENT_PORTRAIT,
       DMORIENT_LANDSCAPE, &DeviceSettings::orientation},
      {DM_PAPERLENGTH, "paper length", &DEVMODEW::dmPaperLength, defaults.sMinPaperLength,
       defaults.sMaxPaperLength, &DeviceSettings::paper_length},
      {DM_PAPERWIDTH, "paper width", &DEVMODEW::dmPaperWidth, defaults.sMinPaperWidth,
       defaults.sMaxPaperWidth, &DeviceSettings::paper_width},
      {DM_COPIES, "copies", &DEVMODEW::dmCopies, defaults.sMinCopies, defaults.sMaxCopies,
       &DeviceSettings::copies},
  };
  const DEVMODEW& source = *caller->dm();
  for (const Merged& m : merged) {
    if ((source.dmFields & m.bit) == 0) continue;
    const int value = source.*m.field;
    if (value >= m.low && value <= m.high) {
      device.*m.result = value;
      continue;
    }
    device.refusals.push_back({m.setting, value, m.low, m.high, device.*m.result});
  }
  device.private_block_taken = IsDriversOwn(source);
  if (device.private_block_taken) {
    device.line_terminator = caller->record.byLineTerminator;
    device.form_feed = caller->record.byFormFeed;
  }
  return device;
}

const char* TerminatorName(BYTE mode) {
  static const char* const kNames[] = {"none", "crlf", "cr", "lf"};
  return mode < 4 ? kNames[mode] : "none";
}

}  // namespace textrelay
