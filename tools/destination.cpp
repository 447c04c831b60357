#include "tools/destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "tools/failure.h"

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
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
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

// A regular file appears only when the whole output is written: the bytes go
// to a temporary file beside it, renamed over it on success and removed on
// failure.
class RegularFile : public Destination {
 public:
  explicit RegularFile(const std::string& path) : path_(path), temporary_(TemporaryName(path)) {
    fd_ = mkstemp(temporary_.data());
    if (fd_ < 0) FailWithErrno(path + ": cannot create a temporary file beside it");
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
  }
  ~RegularFile() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temporary_.c_str());
  }
  void BeginJob(const std::string&) override {}
  // The file is synced before it is renamed into place. Starting the
  // write-back of each stretch as it is written lets the disk work while
  // the job runs, and leaves the final sync only the tail to wait for; a
  // request the system declines changes nothing but the timing.
  void Write(std::span<const uint8_t> bytes) override {
    WriteAll(fd_, bytes, path_);
    written_ += bytes.size();
    if (written_ - written_back_ < kWriteBackStretch) return;
    sync_file_range(fd_, static_cast<off_t>(written_back_),
                    static_cast<off_t>(written_ - written_back_), SYNC_FILE_RANGE_WRITE);
    written_back_ = written_;
  }
  void EndJob() override {}
  bool TakesBytesAsTheyCome() const override { return true; }
  void Commit() override {
    if (fsync(fd_) != 0) FailWithErrno(path_ + ": write failed");
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) FailWithErrno(path_ + ": write failed");
    if (rename(temporary_.c_str(), path_.c_str()) != 0) FailWithErrno(path_ + ": rename failed");
    committed_ = true;
  }

 private:
  static std::string TemporaryName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
  }
  static constexpr uint64_t kWriteBackStretch = 4 << 20;
  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  uint64_t written_ = 0;
  uint64_t written_back_ = 0;
  bool committed_ = false;
};

bool IsRegularOrMissing(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return errno == ENOENT;
  return S_ISREG(status.st_mode);
}

}  // namespace

std::unique_ptr<Destination> OpenDestination(const std::string& where) {
  if (where.starts_with("tcp://")) return OpenTcpDestination(where);
  if (where.starts_with("cups:")) return OpenCupsDestination(where);
  return OpenFileDestination(where);
}

std::unique_ptr<Destination> OpenFileDestination(const std::string& path) {
  if (path == "-") return std::make_unique<StandardOutput>();
  if (IsRegularOrMissing(path)) return std::make_unique<RegularFile>(path);
  return std::make_unique<DeviceFile>(path);
}

}  // namespace textrelay
