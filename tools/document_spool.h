// The spooler's copy of one document: everything the driver writes between
// the start and the end of a document, kept in memory up to a limit and in
// a temporary file beyond it, then delivered as many times as there are
// copies, as a spooler does for a raw job.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/spooler.h"
#include "tools/destination.h"

namespace textrelay {

class DocumentSpool : public host::SpoolSink {
 public:
  explicit DocumentSpool(size_t memory_limit = 1 << 20) : memory_limit_(memory_limit) {}
  ~DocumentSpool() override;

  bool Write(const uint8_t* bytes, size_t count) override;

  // Why the last write failed; empty when none did.
  const std::string& error() const { return error_; }
  bool spilled() const { return file_ != nullptr; }

  // Sends the document's bytes `copies` times as one job, then forgets them.
  // Once `stop` is set, no further copy starts: a document not yet begun is
  // not sent at all, and no job is opened for it.
  void Deliver(Destination& destination, const std::string& title, int copies,
               const std::atomic<bool>* stop = nullptr);

 private:
  bool Spill();
  void Replay(Destination& destination);
  void Clear();

  size_t memory_limit_;
  std::vector<uint8_t> memory_;
  FILE* file_ = nullptr;
  std::string error_;
};

}  // namespace textrelay
