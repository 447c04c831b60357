#include "tools/document_spool.h"

#include <cerrno>
#include <cstring>

#include "tools/failure.h"
#include "tools/temporary_file.h"

namespace textrelay {

DocumentSpool::~DocumentSpool() { Clear(); }

bool DocumentSpool::Write(const uint8_t* bytes, size_t count) {
  if (file_ == nullptr && memory_.size() + count > memory_limit_ && !Spill()) return false;
  if (file_ == nullptr) {
    memory_.insert(memory_.end(), bytes, bytes + count);
  } else if (std::fwrite(bytes, 1, count, file_) != count) {
    error_ = std::string("spool file: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool DocumentSpool::Spill() {
  file_ = TemporaryFile();
  if (file_ == nullptr || std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
    error_ = std::string("spool file: ") + std::strerror(errno);
    return false;
  }
  memory_.clear();
  return true;
}

void DocumentSpool::Deliver(Destination& destination, const std::string& title, int copies,
                            const std::atomic<bool>* stop) {
  const auto stopped = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
  if (!stopped()) {
    destination.BeginJob(title);
    for (int copy = 0; copy < copies && !stopped(); ++copy) Replay(destination);
    destination.EndJob();
  }
  Clear();
}

void DocumentSpool::Replay(Destination& destination) {
  if (file_ == nullptr) {
    destination.Write(memory_);
    return;
  }
  if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
    FailWithErrno("spool file");
  }
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file_)) > 0) destination.Write({chunk, got});
  if (std::ferror(file_)) FailWithErrno("spool file: read failed");
}

void DocumentSpool::Clear() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  memory_.clear();
  error_.clear();
}

}  // namespace textrelay
