// The jobs the framework keeps in its state file across a restart.
#pragma once

#include <string>

namespace textrelay::app {

// Where the framework's main loop keeps the state of the program named
// `program` for this user, by the same rules.
std::string StateFilePath(const std::string& program);

// PAPPL 1.3.1 saves a job that was waiting for its device as processing and
// brings it back so, where no thread ever prints it and nothing after it
// starts. Before the state is loaded, such jobs become pending again, to
// print from the start. Returns how many; a missing file is none.
int RequeueInterruptedJobs(const std::string& state_file);

}  // namespace textrelay::app
