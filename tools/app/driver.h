// The printer application's one driver, "textrelay raw text": text/plain
// printed through the command's print path, with the driver's settings as
// vendor attributes.
#pragma once

#include <pappl/pappl.h>

#include <condition_variable>
#include <mutex>
#include <set>

namespace textrelay::app {

constexpr const char* kDriverName = "textrelay-raw-text";
constexpr const char* kDriverDescription = "textrelay raw text";

// What every printer of the application shares. Each job owns its state in
// the engine, so printers print at once, each job on the thread PAPPL gives
// it; only the claim of a job (print_job.cpp) is taken one at a time.
struct Application {
  std::mutex claims;
  std::condition_variable printed;
  std::set<pappl_job_t*> printing;  // claimed and not yet printed
};

// The framework's driver callback; `data` is the Application.
bool SetUpDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                 const char* device_id, pappl_pr_driver_data_t* driver_data,
                 ipp_t** driver_attrs, void* data);

}  // namespace textrelay::app
