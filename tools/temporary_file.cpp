#include "tools/temporary_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace textrelay {

namespace {
// Every name a racing process could have taken is tried only this often.
constexpr int kAttempts = 100;

std::string RandomSuffix() {
  uint64_t value = 0;
  if (getrandom(&value, sizeof value, 0) != sizeof value) {
    value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string suffix;
  for (int i = 0; i < 8; ++i, value /= 62) suffix += kDigits[value % 62];
  return suffix;
}
}  // namespace

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

int CreateFileBeside(const std::string& path, std::string& name) {
  const size_t slash = path.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    name = path.substr(0, base) + "." + path.substr(base) + "." + RandomSuffix();
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace textrelay
