// The printer's test page (PAPPL's test-page callback): a text file that
// prints through the driver like any job, with the printer's defaults.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "tools/app/job_settings.h"

namespace textrelay::app {

// The page's text: the printer's name, device and settings, a column ruler
// and every printable character of the code page, sixteen to a row.
std::string TestPageText(const std::string& printer_name, const std::string& device_uri,
                         const VendorValues& settings);

// Writes the page to a file of the framework's temporary folder, which the
// framework removes after the job; its name goes to `buffer`. Null when it
// cannot be written.
const char* WriteTestPage(pappl_printer_t* printer, char* buffer, size_t size);

}  // namespace textrelay::app
