// The printer application's one driver, "textrelay raw text": text/plain
// printed through the command's print path, with the driver's settings as
// vendor attributes.
#pragma once

#include <pappl/pappl.h>

#include <mutex>

#include "tools/app/job_settings.h"

namespace textrelay::app {

constexpr const char* kDriverName = "textrelay-raw-text";
constexpr const char* kDriverDescription = "textrelay raw text";

// What every printer of the application shares. The host engine behind the
// print path is one per process, so one job at a time goes through it,
// whichever printer it is for; that also keeps each job's bytes together
// on a device that several jobs reach.
struct Application {
  std::mutex print_path;
  // The media names the framework keeps pointers to.
  const PaperLimits paper_limits = DriverPaperLimits();
};

// The framework's driver callback; `data` is the Application.
bool SetUpDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                 const char* device_id, pappl_pr_driver_data_t* driver_data,
                 ipp_t** driver_attrs, void* data);

}  // namespace textrelay::app
