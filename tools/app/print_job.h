// A job's document through the print path to the printer's device.
#pragma once

#include <pappl/pappl.h>

#include "tools/app/job_settings.h"

namespace textrelay::app {

// The printer's own values of the driver's settings, by attribute name;
// a setting it has none for is left out.
VendorValues PrinterDefaults(pappl_printer_t* printer);

// The driver's print-file callback. A job that stops (a refused setting,
// invalid UTF-8, a line the code page would cut, a failed write) ends
// aborted with the reason as its state message.
bool PrintTextJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// The same for the job's document as text in another file (a PDF's lines).
bool PrintTextFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   const char* path);

}  // namespace textrelay::app
