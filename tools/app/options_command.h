// `textrelay-app options` lists what the framework knows of; the driver's
// settings follow, in its format.
#pragma once

namespace textrelay::app {

// The driver's settings of the printer the framework's `options` showed
// (-d NAME, -u URI or the default printer), each default marked. Returns
// the exit status; a failure is one line on standard error.
int ShowDriverOptions(int argc, char** argv);

}  // namespace textrelay::app
