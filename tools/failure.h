// A job stops with one line naming what failed and where; main prints it
// and exits non-zero.
#pragma once

#include <stdexcept>
#include <string>

namespace textrelay {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "what: the system's reason" for the current errno.
[[noreturn]] void FailWithErrno(const std::string& what);

}  // namespace textrelay
