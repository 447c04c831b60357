// textrelay-app: the driver as an IPP printer application. The framework's
// main loop gives the sub-commands (server, add, modify, delete, devices,
// drivers, printers, jobs, submit, cancel, options, status, shutdown), the
// web interface and the saved state.
#include <pappl/pappl.h>

#include <csignal>
#include <cstring>

#include "tools/app/driver.h"
#include "tools/app/options_command.h"

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

bool IsSubcommand(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') return std::strcmp(argv[i], name) == 0;
    // The framework's options that take a value.
    if (std::strchr("dhjmnotuv", argv[i][1]) != nullptr && argv[i][2] == '\0') ++i;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // A device that goes away is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  textrelay::app::Application application;
  pappl_pr_driver_t drivers[] = {{textrelay::app::kDriverName,
                                  textrelay::app::kDriverDescription, nullptr, nullptr}};
  const int status = papplMainloop(argc, argv, TEXTRELAY_VERSION, kFooter, 1, drivers,
                                   /*autoadd_cb=*/nullptr, textrelay::app::SetUpDriver,
                                   /*subcmd_name=*/nullptr, /*subcmd_cb=*/nullptr,
                                   /*system_cb=*/nullptr, /*usage_cb=*/nullptr, &application);
  if (status != 0 || !IsSubcommand(argc, argv, "options")) return status;
  return textrelay::app::ShowDriverOptions(argc, argv);
}
