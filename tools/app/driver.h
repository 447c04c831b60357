// The printer application's one driver, "textrelay raw text": text/plain
// printed through the command's print path, with the driver's settings as
// vendor attributes.
#pragma once

#include <pappl/pappl.h>

#include <map>
#include <mutex>

#include "tools/app/job_settings.h"

namespace textrelay::app {

constexpr const char* kDriverName = "textrelay-raw-text";
constexpr const char* kDriverDescription = "textrelay raw text";

// What every printer of the application shares. Each job owns its state in
// the engine, so printers print at once, each job on the thread PAPPL gives
// it. PAPPL 1.3 can start a printer's job while another of the same
// printer prints, or the same job twice, so each printer's jobs take a lock
// of that printer's own: a device that stops reading stalls its printer
// only, and each job's bytes reach the device together.
class Application {
 public:
  std::mutex& PrintPath(pappl_printer_t* printer) {
    const std::lock_guard lock(paths_lock_);
    return print_paths_[printer];
  }

  // The media names the framework keeps pointers to.
  const PaperLimits paper_limits = DriverPaperLimits();

 private:
  std::mutex paths_lock_;
  std::map<pappl_printer_t*, std::mutex> print_paths_;
};

// The framework's driver callback; `data` is the Application.
bool SetUpDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                 const char* device_id, pappl_pr_driver_data_t* driver_data,
                 ipp_t** driver_attrs, void* data);

}  // namespace textrelay::app
