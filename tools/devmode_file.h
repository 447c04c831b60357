// Device mode files: the driver's 7228-byte record or a plain DEVMODEW,
// byte for byte as the platform holds them.
#pragma once

#include <string>

#include "tools/failure.h"
#include "tools/settings.h"

namespace textrelay {

// A file that is no device mode at all: missing, short, or at odds with the
// sizes its own header announces.
struct Unreadable : Failure {
  using Failure::Failure;
};

CallerDevMode ReadDevModeFile(const std::string& path);
void WriteDevModeFile(const DrvDevMode& record, const std::string& path);

// Every named field with its value, the header's verdict, and the settings a
// device would end up with.
std::string ShowDevMode(const CallerDevMode& caller);

}  // namespace textrelay
