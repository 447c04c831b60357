// textrelay-app: the driver as an IPP printer application. The framework's
// main loop gives the sub-commands (server, add, modify, delete, devices,
// drivers, printers, submit, cancel, options, status, shutdown), the web
// interface and the saved state; `jobs` is ours, to show why a job stopped.
#include <pappl/pappl.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "tools/app/command_arguments.h"
#include "tools/app/driver.h"
#include "tools/app/job_listing.h"
#include "tools/app/options_command.h"
#include "tools/app/saved_jobs.h"
#include "tools/app/system.h"

namespace {

// Every web page ends with the footer: the framework needs one. Its style
// hides the Printing Defaults rows the framework always shows and that
// change nothing for text: print quality, optimize for, scaling and the
// one resolution (the row after scaling with nothing to choose).
constexpr const char* kFooter =
    "textrelay " TEXTRELAY_VERSION ": text to receipt, label and dot-matrix printers"
    "<style>tr:has(input[name=\"print-quality\"]), tr:has(select[name=\"print-content-optimize\"]),"
    " tr:has(select[name=\"print-scaling\"]),"
    " tr:has(select[name=\"print-scaling\"]) + tr:not(:has(input, select)) { display: none; }</style>";

}  // namespace

int main(int argc, char** argv) {
  // A device that goes away is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments = textrelay::app::WithServerDefaults(
      textrelay::app::WithCopiesAsOption(std::vector<std::string>(argv, argv + argc)));
  const std::string sub_command = textrelay::app::SubCommandOf(arguments);
  // A printer named by its URI (-u) may be another server's: PAPPL's own
  // listing reaches it.
  const bool by_uri = std::find(arguments.begin(), arguments.end(), "-u") != arguments.end();
  if (sub_command == "jobs" && !by_uri) return textrelay::app::ListJobs(arguments);
  if (sub_command == "server") {
    textrelay::app::RequeueInterruptedJobs(textrelay::app::StateFilePath(textrelay::app::kApplicationName));
  }
  std::vector<char*> mended;
  for (std::string& argument : arguments) mended.push_back(argument.data());
  mended.push_back(nullptr);

  textrelay::app::Application application;
  pappl_pr_driver_t drivers[] = {{textrelay::app::kDriverName,
                                  textrelay::app::kDriverDescription, nullptr, nullptr}};
  const int status = papplMainloop(static_cast<int>(arguments.size()), mended.data(), TEXTRELAY_VERSION,
                                   kFooter, 1, drivers,
                                   /*autoadd_cb=*/nullptr, textrelay::app::SetUpDriver,
                                   /*subcmd_name=*/nullptr, /*subcmd_cb=*/nullptr,
                                   textrelay::app::CreateSystem, /*usage_cb=*/nullptr, &application);
  // The framework's `options` lists only its own; the driver's follow.
  if (status != 0 || sub_command != "options") return status;
  return textrelay::app::ShowDriverOptions(static_cast<int>(arguments.size()), mended.data());
}
