// The driver's settings as a PAPPL printer carries them: its vendor
// attributes, and how a job's attributes and the printer's defaults become
// the options of the command's print path.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/setting_table.h"

namespace textrelay::app {

// A vendor attribute: a row of the settings table the application offers,
// with its default. The attribute's IPP names are NAME, NAME-default and
// NAME-supported; a boolean's choices are false and true.
struct VendorSetting {
  const char* name;  // the row's
  const SettingRow* row;
  size_t default_choice;
};

// Line terminator and form feed default to the driver's own.
std::vector<VendorSetting> VendorSettings();

// Attribute name to value, as ippAttributeString writes it.
using VendorValues = std::map<std::string, std::string>;

// What a job asks in the framework's terms: sizes in hundredths of a
// millimetre, orientation as the IPP enum (0: none given).
struct JobRequest {
  int copies = 1;
  int orientation = 0;
  int media_width = 0;
  int media_length = 0;
  VendorValues vendor;  // the job's values over the printer's defaults
};

// The print path's options for a job. Throws Failure naming the attribute
// for a value that is not one of its choices or outside the driver's
// limits: the job stops before anything is sent.
PrintOptions JobPrintOptions(const JobRequest& request);

// The driver's paper limits in PWG's terms (hundredths of a millimetre):
// the sizes "custom_min_..." and "custom_max_...".
struct PaperLimits {
  std::string min_name;
  std::string max_name;
};
PaperLimits DriverPaperLimits();

}  // namespace textrelay::app
