// What the framework's command line leaves out, mended before its main loop
// reads the arguments.
#pragma once

#include <string>
#include <vector>

namespace textrelay::app {

// The sub-command (submit, jobs, server, ...) the arguments name; empty
// when there is none (the framework then submits the files).
std::string SubCommandOf(const std::vector<std::string>& arguments);

// PAPPL 1.3.1 reads `-n COPIES` and then drops it, so the job printed one
// copy: the same request as `-o copies=COPIES`, which it sends.
std::vector<std::string> WithCopiesAsOption(std::vector<std::string> arguments);

// A server started without `server-options` gets the web page's Security
// page (a password for administration from other machines) and its log
// pages, which PAPPL leaves out unless asked.
std::vector<std::string> WithServerDefaults(std::vector<std::string> arguments);

}  // namespace textrelay::app
