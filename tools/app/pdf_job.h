// A job's PDF printed as its text: the lines the layout step reads from its
// pages go through the same print path as a text file's.
#pragma once

#include <pappl/pappl.h>

namespace textrelay::app {

// Registers the PDF filter with a system that is not yet running; `data`
// is the Application.
void AddPdfFilter(pappl_system_t* system, void* data);

}  // namespace textrelay::app
