#include "host/spooler.h"

#include <cstdio>

#include "host/engine.h"

namespace host {

bool MemorySink::Write(const uint8_t* bytes, size_t count) {
  bytes_.insert(bytes_.end(), bytes, bytes + count);
  writes_.push_back(count);
  return true;
}

void MemorySink::Clear() {
  bytes_.clear();
  writes_.clear();
}

bool StreamSink::Write(const uint8_t* bytes, size_t count) {
  return std::fwrite(bytes, 1, count, stream_) == count;
}

HANDLE Spooler::Open(std::shared_ptr<SpoolSink> sink) {
  auto record = std::make_unique<Printer>(Printer{std::move(sink)});
  HANDLE printer = record.get();
  std::lock_guard lock(mutex_);
  printers_.emplace(printer, std::move(record));
  return printer;
}

void Spooler::Close(HANDLE printer) {
  std::lock_guard lock(mutex_);
  defaults_.erase({printer, 2});
  defaults_.erase({printer, 9});
  if (printers_.erase(printer) == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "ClosePrinter: %p is not an open printer", printer);
    Engine::Get().ThreadFindings().Add(text);
  }
}

bool Spooler::IsOpen(HANDLE printer) const {
  std::lock_guard lock(mutex_);
  return printers_.count(printer) != 0;
}

size_t Spooler::OpenPrinters() const {
  std::lock_guard lock(mutex_);
  return printers_.size();
}

BOOL Spooler::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  if (written != nullptr) *written = 0;
  if (printer == nullptr) return FALSE;
  SpoolSink& sink = *static_cast<Printer*>(printer)->sink;
  if (count > 0 && !sink.Write(static_cast<const uint8_t*>(bytes), count)) return FALSE;
  if (written != nullptr) *written = count;
  return TRUE;
}

void Spooler::SetDefaultRecord(HANDLE printer, DWORD level, std::vector<uint8_t> record) {
  std::lock_guard lock(mutex_);
  defaults_[{printer, level}] = std::move(record);
}

bool Spooler::DefaultRecord(HANDLE printer, DWORD level, std::vector<uint8_t>* record) const {
  std::lock_guard lock(mutex_);
  record->clear();
  if (printers_.count(printer) == 0) return false;
  auto found = defaults_.find({printer, level});
  if (found != defaults_.end()) *record = found->second;
  return true;
}

void Spooler::Reset() {
  std::lock_guard lock(mutex_);
  printers_.clear();
  defaults_.clear();
}

}  // namespace host
