// Regular files as outputs: written whole or not at all, through symbolic
// links, keeping what the user set on a file that was there.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "tools/destination.h"

namespace textrelay {

// The file path finally names: symbolic links followed, also to a target
// that does not exist yet. Throws Failure naming path for a loop.
std::string FinalTarget(const std::string& path);

// The output for target, a regular file or none yet (existing: null), which
// the user named path. Nothing shows at target until Commit.
std::unique_ptr<Destination> OpenRegularFile(const std::string& path, const std::string& target,
                                             const struct stat* existing);

}  // namespace textrelay
