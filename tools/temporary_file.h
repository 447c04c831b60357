// Unnamed temporary files in the folder the environment names.
#pragma once

#include <cstdio>

namespace textrelay {

// A new empty file for reading and writing in $TMPDIR (else /tmp), already
// unlinked, so that it goes with its last close. CUPS gives each job's
// filters a folder of its own there. Null with errno set when it cannot be
// made, as std::tmpfile.
FILE* TemporaryFile();

}  // namespace textrelay
