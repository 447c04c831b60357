// What PAPPL 1.3.1 does with a printer whose device will not open, mended
// once a second from the server's main loop.
#pragma once

#include <pappl/pappl.h>

namespace textrelay::app {

// Starts the watch on the server once, however many printers ask:
// - a printer whose device is off or refuses connections shows `offline`
//   in printer-state-reasons and stays idle (PAPPL stops it, which reads as
//   paused); its job waits and prints when the device answers;
// - pending jobs brought back by a restart start (PAPPL waits for a new
//   job to look at its queue);
// - once a shutdown is asked and no job is printing (those left wait for
//   their devices or a paused printer), the state is saved with them and
//   the server ends at once instead of after PAPPL's 60 seconds.
void WatchDevices(pappl_system_t* system);

// Called when a job reaches its device: the printer is back.
void DeviceAnswered(pappl_printer_t* printer);

}  // namespace textrelay::app
