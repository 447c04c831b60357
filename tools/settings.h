// The settings a caller gives and the device mode that carries them to the
// driver, and what the driver's merge will make of a caller's device mode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devmode/drv_devmode.h"

namespace textrelay {

// The public fields are 16-bit signed in the record, so every value here
// fits one; the driver's own limits are narrower and decided by its merge.
struct Settings {
  std::optional<BYTE> line_terminator{};
  bool form_feed = false;
  std::optional<SHORT> orientation{};
  std::optional<SHORT> paper_length{};
  std::optional<SHORT> paper_width{};
  std::optional<SHORT> copies{};

  bool any() const;
};

// A caller's device mode: the driver's own record, or a plain DEVMODEW in
// its first `size` bytes with the rest zero.
struct CallerDevMode {
  DrvDevMode record{};
  size_t size = sizeof(DrvDevMode);

  const DEVMODEW* dm() const { return &record.dm; }
};

// The driver's defaults for the device name, as the driver builds them.
DrvDevMode DefaultDevMode(std::u16string_view device_name);

// The driver's defaults with the settings applied; dmFields announces only
// the public settings that were given.
CallerDevMode BuildCallerDevMode(const Settings& settings, std::u16string_view device_name);

bool IsDriversOwn(const DEVMODEW& dm);
// Why a header is not the driver's own; empty when it is.
std::string WhyNotOwn(const DEVMODEW& dm);

struct Refusal {
  std::string setting;
  int value = 0;
  int low = 0;
  int high = 0;
  int kept = 0;
};

std::string Describe(const Refusal& refusal);

// The settings a device ends up with.
struct DeviceSettings {
  int orientation = 0;
  int paper_length = 0;
  int paper_width = 0;
  int copies = 0;
  BYTE line_terminator = 0;
  BYTE form_feed = 0;
  bool private_block_taken = false;
  std::vector<Refusal> refusals;
};

// The merge's decisions for a caller's device mode (or none) against the
// driver's defaults, which hold the limits in force at device creation.
DeviceSettings PredictDevice(const CallerDevMode* caller);

const char* TerminatorName(BYTE mode);

}  // namespace textrelay
