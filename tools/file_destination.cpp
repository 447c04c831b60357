#include "tools/file_destination.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "tools/failure.h"
#include "tools/temporary_file.h"

namespace textrelay {

namespace {

// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

std::string ReadLink(const std::string& link) {
  std::vector<char> target(PATH_MAX + 1);
  const ssize_t length = readlink(link.c_str(), target.data(), target.size());
  if (length < 0) FailWithErrno(link);
  return {target.data(), static_cast<size_t>(length)};
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The owner and group stay where the user may set them (root both, a member
// of the file's group that group); otherwise the new file is the user's.
bool KeepOwner(int fd, const struct stat& existing) {
  return fchown(fd, existing.st_uid, existing.st_gid) == 0 ||
         fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
}

// The bytes go to a temporary file beside the target, which takes the
// target's place on Commit and is removed otherwise. The file is synced
// before it takes the place.
class WholeFile : public Destination {
 public:
  WholeFile(const std::string& path, const std::string& target, const struct stat* existing)
      : path_(path), target_(target) {
    fd_ = CreateFileBeside(target, temporary_);
    if (fd_ < 0) FailWithErrno(path + ": cannot create a temporary file beside it");
    if (existing == nullptr) return;
    KeepOwner(fd_, *existing);
    // After the owner: a change of owner clears the set-ID bits.
    if (fchmod(fd_, existing->st_mode & 07777) != 0) {
      FailWithErrno(path + ": cannot give the temporary file beside it the file's mode");
    }
  }
  ~WholeFile() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temporary_.c_str());
  }
  void BeginJob(const std::string&) override {}
  // Starting the write-back of each stretch as it is written lets the disk
  // work while the job runs, and leaves the final sync only the tail to
  // wait for; a request the system declines changes nothing but the timing.
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
    TakePlace();
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) FailWithErrno(path_ + ": write failed");
    committed_ = true;
  }

 protected:
  virtual void TakePlace() {
    if (rename(temporary_.c_str(), target_.c_str()) != 0) FailWithErrno(path_ + ": rename failed");
  }

  std::string path_;
  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  uint64_t written_ = 0;

 private:
  static constexpr uint64_t kWriteBackStretch = 4 << 20;
  uint64_t written_back_ = 0;
  bool committed_ = false;
};

// A file with other names is written in place, so that every name keeps
// showing the same bytes; a rename would leave the others with the old
// ones. Only once the whole output is in the temporary file, and into room
// reserved first, so that a failed job or a full disk leaves it as it was.
class LinkedFile : public WholeFile {
 public:
  LinkedFile(const std::string& path, const std::string& target, const struct stat& existing)
      : WholeFile(path, target, &existing) {
    target_fd_ = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (target_fd_ < 0) FailWithErrno(path);
  }
  ~LinkedFile() override {
    if (target_fd_ >= 0) close(target_fd_);
  }

 private:
  void TakePlace() override {
    const auto size = static_cast<off_t>(written_);
    if (size > 0 && fallocate(target_fd_, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        errno != EOPNOTSUPP) {
      FailWithErrno(path_ + ": write failed");
    }
    CopyTemporary();
    if (ftruncate(target_fd_, size) != 0 || fsync(target_fd_) != 0) {
      FailWithErrno(path_ + ": write failed");
    }
    if (close(std::exchange(target_fd_, -1)) != 0) FailWithErrno(path_ + ": write failed");
    unlink(temporary_.c_str());
  }

  void CopyTemporary() {
    std::vector<uint8_t> chunk(1 << 16);
    for (off_t at = 0; at < static_cast<off_t>(written_);) {
      const ssize_t got = pread(fd_, chunk.data(), chunk.size(), at);
      if (got <= 0) FailWithErrno(temporary_ + ": read failed");
      WriteAll(target_fd_, {chunk.data(), static_cast<size_t>(got)}, path_);
      at += got;
    }
  }

  int target_fd_ = -1;
};

}  // namespace

std::string FinalTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < kMostLinks; ++hops) {
    struct stat status {};
    if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return target;
    const std::string next = ReadLink(target);
    target = next.starts_with('/') ? next : FolderOf(target) + next;
  }
  errno = ELOOP;
  FailWithErrno(path);
}

std::unique_ptr<Destination> OpenRegularFile(const std::string& path, const std::string& target,
                                             const struct stat* existing) {
  if (existing != nullptr && existing->st_nlink > 1) {
    return std::make_unique<LinkedFile>(path, target, *existing);
  }
  return std::make_unique<WholeFile>(path, target, existing);
}

}  // namespace textrelay
