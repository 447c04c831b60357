// The driver's settings as a PAPPL printer carries them: its vendor
// attributes, and how a job's attributes and the printer's defaults become
// the options of the command's print path.
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "tools/commands.h"

namespace textrelay::app {

// A vendor attribute: a keyword with its choices, or a boolean when it has
// none. The attribute's IPP names are NAME, NAME-default and NAME-supported.
struct VendorSetting {
  const char* name;
  std::vector<const char*> choices;
  const char* default_value;
};

std::span<const VendorSetting> VendorSettings();

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

}  // namespace textrelay::app
