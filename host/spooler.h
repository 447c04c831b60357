// The print spooler behind EngWritePrinter: each printer handle leads to a
// sink that receives the bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/engine.h"

namespace host {

class SpoolSink {
 public:
  virtual ~SpoolSink() = default;
  // False when the bytes could not be delivered.
  virtual bool Write(const uint8_t* bytes, size_t count) = 0;
};

// Keeps every byte and the size of every write, for tests.
class MemorySink : public SpoolSink {
 public:
  bool Write(const uint8_t* bytes, size_t count) override;
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<size_t>& writes() const { return writes_; }
  void Clear();

 private:
  std::vector<uint8_t> bytes_;
  std::vector<size_t> writes_;
};

// Writes to an open stdio stream that the caller owns.
class StreamSink : public SpoolSink {
 public:
  explicit StreamSink(FILE* stream) : stream_(stream) {}
  bool Write(const uint8_t* bytes, size_t count) override;

 private:
  FILE* stream_;
};

// Any thread may open, close and write; a printer's sink is written outside
// the lock, so each printer's writes must come from one thread at a time,
// as one job's do, and a printer is closed only when its job has ended.
// A printer handle is the address of the printer's record, so that a write
// goes from the handle to the sink without a lookup; the checker looks the
// handle up first (host/checker/spooler_checks.h).
class Spooler {
 public:
  HANDLE Open(std::shared_ptr<SpoolSink> sink);
  // Closing a printer that is not open is a finding.
  void Close(HANDLE printer);
  size_t OpenPrinters() const;

  // The handle must be open.
  static BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written);

  // The queue's default records as GetPrinterW hands them out: the
  // printer's (level 2) and the user's (level 9). An empty one is none.
  void SetDefaultRecord(HANDLE printer, DWORD level, std::vector<uint8_t> record);
  // False when the printer is not open; else *record is a copy of the
  // record (empty for none), which a Close on another thread leaves be.
  bool DefaultRecord(HANDLE printer, DWORD level, std::vector<uint8_t>* record) const;
  bool IsOpen(HANDLE printer) const;

  void Reset();

 private:
  mutable std::mutex mutex_;
  struct Printer {
    std::shared_ptr<SpoolSink> sink;
  };
  std::map<HANDLE, std::unique_ptr<Printer>> printers_;
  std::map<std::pair<HANDLE, DWORD>, std::vector<uint8_t>> defaults_;
};

}  // namespace host
