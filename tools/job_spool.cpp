#include "tools/job_spool.h"

#include <exception>
#include <optional>
#include <span>
#include <vector>

#include "tools/document_spool.h"
#include "tools/failure.h"

namespace textrelay {

namespace {

const char kDriverFailed[] = "the driver's text output failed";

class BufferedDocuments : public JobSpool {
 public:
  BufferedDocuments(Destination& destination, size_t capacity)
      : destination_(destination), capacity_(capacity) {
    buffer_.reserve(capacity);
  }

  // A failure here goes back to the driver as FALSE, never as an exception
  // through its frames; the reason waits for WriteFailure.
  bool Write(const uint8_t* bytes, size_t count) override {
    if (failure_) return false;
    try {
      if (buffer_.size() + count > capacity_) Flush();
      if (count >= capacity_) {
        destination_.Write({bytes, count});
      } else {
        buffer_.insert(buffer_.end(), bytes, bytes + count);
      }
      return true;
    } catch (const std::exception& failure) {
      failure_ = failure.what();
      return false;
    }
  }

  void BeginDocument(const std::string& title) override { destination_.BeginJob(title); }

  void EndDocument() override {
    if (failure_) throw Failure(*failure_);
    Flush();
    destination_.EndJob();
  }

  std::string WriteFailure(const std::string& where) const override {
    return failure_ ? *failure_ : where + ": " + kDriverFailed;
  }

 private:
  void Flush() {
    if (buffer_.empty()) return;
    destination_.Write(buffer_);
    buffer_.clear();
  }

  Destination& destination_;
  size_t capacity_;
  std::vector<uint8_t> buffer_;
  std::optional<std::string> failure_;
};

class WholeDocuments : public JobSpool {
 public:
  WholeDocuments(Destination& destination, int copies, const std::atomic<bool>* stop)
      : destination_(destination), copies_(copies), stop_(stop) {}

  bool Write(const uint8_t* bytes, size_t count) override { return spool_.Write(bytes, count); }
  void BeginDocument(const std::string& title) override { title_ = title; }
  void EndDocument() override { spool_.Deliver(destination_, title_, copies_, stop_); }

  std::string WriteFailure(const std::string& where) const override {
    return where + ": " + (spool_.error().empty() ? kDriverFailed : spool_.error());
  }

 private:
  Destination& destination_;
  int copies_;
  const std::atomic<bool>* stop_;
  std::string title_;
  DocumentSpool spool_;
};

}  // namespace

std::shared_ptr<JobSpool> OpenJobSpool(Destination& destination, int copies, size_t buffer_size,
                                       const std::atomic<bool>* stop) {
  if (copies == 1 && destination.TakesBytesAsTheyCome()) {
    return std::make_shared<BufferedDocuments>(destination, buffer_size);
  }
  return std::make_shared<WholeDocuments>(destination, copies, stop);
}

}  // namespace textrelay
