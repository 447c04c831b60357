#include "tools/temporary_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace textrelay {

FILE* TemporaryFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                     "/textrelay-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return nullptr;
  unlink(path.c_str());
  FILE* file = fdopen(fd, "w+b");
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

}  // namespace textrelay
