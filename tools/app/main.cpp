// textrelay-app: the driver as an IPP printer application. The framework's
// main loop gives the sub-commands (server, add, modify, delete, devices,
// drivers, printers, jobs, submit, cancel, options, status, shutdown), the
// web interface and the saved state.
#include <pappl/pappl.h>

#include <csignal>

#include "tools/app/driver.h"
#include "tools/app/system.h"

int main(int argc, char** argv) {
  // A device that goes away is reported by its write, not by a signal.
  std::signal(SIGPIPE, SIG_IGN);
  textrelay::app::Application application;
  pappl_pr_driver_t drivers[] = {{textrelay::app::kDriverName,
                                  textrelay::app::kDriverDescription, nullptr, nullptr}};
  // Every web page ends with the footer: the framework needs one.
  return papplMainloop(argc, argv, TEXTRELAY_VERSION,
                       "textrelay " TEXTRELAY_VERSION ": text to receipt, label and dot-matrix printers",
                       1, drivers,
                       /*autoadd_cb=*/nullptr, textrelay::app::SetUpDriver,
                       /*subcmd_name=*/nullptr, /*subcmd_cb=*/nullptr,
                       textrelay::app::CreateSystem, /*usage_cb=*/nullptr, &application);
}
