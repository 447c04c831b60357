// What the job's printer writes into: each document's bytes on their way
// to the destination, one destination job per document.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "host/spooler.h"
#include "tools/destination.h"

namespace textrelay {

class JobSpool : public host::SpoolSink {
 public:
  virtual void BeginDocument(const std::string& title) = 0;
  // Throws Failure when a byte of the document does not reach the destination.
  virtual void EndDocument() = 0;
  // What to report when the driver's write for the line at `where` failed.
  virtual std::string WriteFailure(const std::string& where) const = 0;
};

// For one copy to a destination that takes bytes as they come, the bytes
// are gathered in a buffer of buffer_size, as a spool file's writes are,
// and handed over whenever it fills and at each document's end; otherwise
// each document is spooled whole and delivered `copies` times, or fewer
// once `stop` is set (see DocumentSpool::Deliver).
std::shared_ptr<JobSpool> OpenJobSpool(Destination& destination, int copies,
                                       size_t buffer_size = 1 << 16,
                                       const std::atomic<bool>* stop = nullptr);

}  // namespace textrelay
