// A whole file's bytes.
#pragma once

#include <string>

namespace textrelay {

// Throws Failure naming the file when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace textrelay
