#include "host/spooler.h"

#include <cstdio>

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
    findings_.Add(text);
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

uint64_t Spooler::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

SpoolSink* Spooler::Admit(HANDLE printer, DWORD count, DWORD* taken) {
  std::lock_guard lock(mutex_);
  ++writes_;
  auto it = printers_.find(printer);
  if (it == printers_.end()) {
    char text[64];
    std::snprintf(text, sizeof text, "EngWritePrinter: %p is not an open printer", printer);
    findings_.Add(text);
    return nullptr;
  }
  if (failed_writes_.Next()) return nullptr;
  *taken = short_writes_.Next() ? count / 2 : count;
  return it->second->sink.get();
}

BOOL Spooler::WriteUnchecked(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  if (written != nullptr) *written = 0;
  if (printer == nullptr) return FALSE;
  SpoolSink& sink = *static_cast<Printer*>(printer)->sink;
  if (count > 0 && !sink.Write(static_cast<const uint8_t*>(bytes), count)) return FALSE;
  if (written != nullptr) *written = count;
  return TRUE;
}

BOOL Spooler::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  if (written != nullptr) *written = 0;
  DWORD taken = 0;
  SpoolSink* sink = Admit(printer, count, &taken);
  if (sink == nullptr) return FALSE;
  if (taken > 0 && !sink->Write(static_cast<const uint8_t*>(bytes), taken)) return FALSE;
  if (written != nullptr) *written = taken;
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
  failed_writes_.Clear();
  short_writes_.Clear();
  writes_ = 0;
}

}  // namespace host
