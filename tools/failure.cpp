#include "tools/failure.h"

#include <cerrno>
#include <cstring>

namespace textrelay {

void FailWithErrno(const std::string& what) { throw Failure(what + ": " + std::strerror(errno)); }

}  // namespace textrelay
