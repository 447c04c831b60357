// The command line: `textrelay print` and `textrelay devmode new|show|check`.
#pragma once

namespace textrelay {

// Parses the arguments, runs the command and returns the exit status.
// Failures are printed as one line on standard error.
int RunCommandLine(int argc, char** argv);

}  // namespace textrelay
