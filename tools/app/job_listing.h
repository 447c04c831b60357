// `textrelay-app jobs`: the framework's listing of a printer's jobs, with
// the reason beside each job that did not print.
#pragma once

#include <string>
#include <vector>

namespace textrelay::app {

// Lists the jobs of the printer `-d NAME` names (else the default printer)
// from the running server, one a line: id, state, user, name and, for an
// aborted or canceled job, its message. Returns the exit status.
int ListJobs(const std::vector<std::string>& arguments);

}  // namespace textrelay::app
