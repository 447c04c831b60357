// Where the printer's bytes go. Each document is one job; every call
// throws Failure naming the destination when a byte does not get there.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace textrelay {

class Destination {
 public:
  virtual ~Destination() = default;

  virtual void BeginJob(const std::string& title) = 0;
  virtual void Write(std::span<const uint8_t> bytes) = 0;
  virtual void EndJob() = 0;
  // Every job is complete: the output may now appear whole.
  virtual void Commit() {}
  // A file, standard output or a device can be given a document's bytes
  // while the driver still writes it; a printer port or a queue is given
  // each document whole.
  virtual bool TakesBytesAsTheyCome() const { return false; }
};

// How long a network printer has for a job unless the user says.
constexpr std::chrono::milliseconds kNetworkDeadline{300'000};

// "-", a file path, a character device, tcp://HOST[:PORT] or
// cups:QUEUE[@SERVER]. Nothing is opened or connected before the first job
// except a file or device, which is checked at once. A printer port has
// `deadline` for each job, from connecting to its last acknowledgement.
std::unique_ptr<Destination> OpenDestination(const std::string& where,
                                             std::chrono::milliseconds deadline = kNetworkDeadline);
// "-", a file path or a character device only.
std::unique_ptr<Destination> OpenFileDestination(const std::string& path);

// Writes a hex dump of the bytes (offset, hex bytes, ASCII) to the inner
// destination instead of the bytes themselves.
std::unique_ptr<Destination> HexDumpTo(std::unique_ptr<Destination> inner);

std::unique_ptr<Destination> OpenTcpDestination(const std::string& uri,
                                                std::chrono::milliseconds deadline);
std::unique_ptr<Destination> OpenCupsDestination(const std::string& uri);

// Writes all of the bytes to a descriptor, or throws naming where.
void WriteAll(int fd, std::span<const uint8_t> bytes, const std::string& where);

}  // namespace textrelay
