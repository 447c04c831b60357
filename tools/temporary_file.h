// Temporary files: unnamed ones in the folder the environment names, and
// named ones beside an output that takes their place.
#pragma once

#include <cstdio>
#include <string>

namespace textrelay {

// A new empty file for reading and writing in $TMPDIR (else /tmp), already
// unlinked, so that it goes with its last close. CUPS gives each job's
// filters a folder of its own there. Null with errno set when it cannot be
// made, as std::tmpfile.
FILE* TemporaryFile();

// A new empty file for reading and writing in path's folder, named after
// it and hidden, with the mode a new file gets there (0666 less the umask,
// which the kernel applies). Its descriptor, and its name in `name`; -1 with
// errno set when it cannot be made.
int CreateFileBeside(const std::string& path, std::string& name);

}  // namespace textrelay
