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
  std::lock_guard lock(mutex_);
  HANDLE printer = reinterpret_cast<HANDLE>(next_handle_);
  next_handle_ += 4;
  printers_.emplace(printer, std::move(sink));
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
  return it->second.get();
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

const std::vector<uint8_t>* Spooler::DefaultRecord(HANDLE printer, DWORD level) const {
  std::lock_guard lock(mutex_);
  auto found = defaults_.find({printer, level});
  return found == defaults_.end() || found->second.empty() ? nullptr : &found->second;
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
