#include "tools/destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tools/failure.h"
#include "tools/file_destination.h"

namespace textrelay {

void WriteAll(int fd, std::span<const uint8_t> bytes, const std::string& where) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) FailWithErrno(where + ": write failed");
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
}

namespace {

class StandardOutput : public Destination {
 public:
  void BeginJob(const std::string&) override {}
  void Write(std::span<const uint8_t> bytes) override {
    WriteAll(STDOUT_FILENO, bytes, "standard output");
  }
  void EndJob() override {}
  bool TakesBytesAsTheyCome() const override { return true; }
};

// A device, a pipe or anything else that is not a regular file is written
// directly: it cannot be replaced by a rename.
class DeviceFile : public Destination {
 public:
  explicit DeviceFile(const std::string& path) : path_(path) {
    fd_ = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) FailWithErrno(path);
  }
  ~DeviceFile() override { close(fd_); }
  void BeginJob(const std::string&) override {}
  void Write(std::span<const uint8_t> bytes) override { WriteAll(fd_, bytes, path_); }
  void EndJob() override {}
  bool TakesBytesAsTheyCome() const override { return true; }

 private:
  std::string path_;
  int fd_;
};

}  // namespace

std::unique_ptr<Destination> OpenDestination(const std::string& where,
                                             std::chrono::milliseconds deadline) {
  if (where.starts_with("tcp://")) return OpenTcpDestination(where, deadline);
  if (where.starts_with("cups:")) return OpenCupsDestination(where);
  return OpenFileDestination(where);
}

// Through symbolic links to the file they name, which a regular file's
// temporary file takes the place of.
std::unique_ptr<Destination> OpenFileDestination(const std::string& path) {
  if (path == "-") return std::make_unique<StandardOutput>();
  const std::string target = FinalTarget(path);
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) {
    if (errno != ENOENT) FailWithErrno(path);
    return OpenRegularFile(path, target, nullptr);
  }
  if (S_ISDIR(status.st_mode)) throw Failure(path + ": a directory; name a file to write");
  if (S_ISREG(status.st_mode)) return OpenRegularFile(path, target, &status);
  return std::make_unique<DeviceFile>(path);
}

}  // namespace textrelay
