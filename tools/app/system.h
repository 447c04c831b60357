// The printer application's system, made from the server's -o options as
// the framework's own default makes it, with the application's document
// filters added before it runs: the framework takes filters only then.
#pragma once

#include <pappl/pappl.h>

namespace textrelay::app {

// The application's name: its spool folder's, its state file's, its
// socket's, and the first word of its messages.
constexpr const char* kApplicationName = "textrelay-app";

// The main loop's system callback; `data` is the Application.
pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data);

}  // namespace textrelay::app
