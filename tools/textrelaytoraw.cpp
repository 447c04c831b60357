// textrelaytoraw: the CUPS filter of the textrelay queue. CUPS runs it as
//   textrelaytoraw JOB USER TITLE COPIES OPTIONS [FILE]
// with the queue's PPD in the environment; it prints the UTF-8 text of FILE
// (or standard input) through the driver exactly as `textrelay print` does
// and writes the driver's bytes to standard output for the backend.
// What stops the job is one ERROR: line on standard error, and what does
// not a WARNING: line; CUPS shows them as the job's and printer's messages.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/filter_settings.h"

namespace textrelay {
namespace {

void Report(const char* level, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", level, text.c_str());
}

// The queue takes text/plain only; anything else reaching the filter was
// run by hand with the wrong file, and would print as garbage.
void CheckContentType() {
  const char* type = std::getenv("CONTENT_TYPE");
  if (type == nullptr || std::string_view(type).starts_with("text/plain")) return;
  throw Failure(std::string("cannot print ") + type + ", only text/plain; nothing was sent");
}

// Set up from the PPD's defaults and the job's options, then print.
int Filter(const std::vector<std::string>& arguments) {
  CheckContentType();
  const char* ppd_path = std::getenv("PPD");
  const PpdFacts ppd = ppd_path != nullptr ? ReadPpd(ppd_path) : PpdFacts{};
  std::vector<std::string> warnings;
  PrintOptions options =
      JobPrintOptions(ppd, ParseJobOptions(arguments[5]), ParseCopies(arguments[4]), warnings);
  for (const std::string& warning : warnings) Report("WARNING", warning);
  if (arguments.size() == 7) options.files = {arguments[6]};
  options.input_name = arguments[3];
  return RunPrint(options, [](const std::string& note) { Report("WARNING", note); });
}

}  // namespace
}  // namespace textrelay

int main(int argc, char** argv) {
  // A closed pipe is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return 1;
  }
  try {
    return textrelay::Filter({argv, argv + argc});
  } catch (const std::exception& failure) {
    textrelay::Report("ERROR", failure.what());
    return 1;
  }
}
