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
  HANDLE printer = reinterpret_cast<HANDLE>(next_handle_);
  next_handle_ += 4;
  printers_.emplace(printer, std::move(sink));
  return printer;
}

void Spooler::Close(HANDLE printer) {
  defaults_.erase({printer, 2});
  defaults_.erase({printer, 9});
  if (printers_.erase(printer) == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "ClosePrinter: %p is not an open printer", printer);
    findings_.Add(text);
  }
}

BOOL Spooler::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  ++writes_;
  if (written != nullptr) *written = 0;
  auto it = printers_.find(printer);
  if (it == printers_.end()) {
    char text[64];
    std::snprintf(text, sizeof text, "EngWritePrinter: %p is not an open printer", printer);
    findings_.Add(text);
    return FALSE;
  }
  if (failed_writes_.Next()) return FALSE;
  DWORD taken = short_writes_.Next() ? count / 2 : count;
  if (taken > 0 && !it->second->Write(static_cast<const uint8_t*>(bytes), taken)) return FALSE;
  if (written != nullptr) *written = taken;
  return TRUE;
}

void Spooler::SetDefaultRecord(HANDLE printer, DWORD level, std::vector<uint8_t> record) {
  defaults_[{printer, level}] = std::move(record);
}

const std::vector<uint8_t>* Spooler::DefaultRecord(HANDLE printer, DWORD level) const {
  auto found = defaults_.find({printer, level});
  return found == defaults_.end() || found->second.empty() ? nullptr : &found->second;
}

void Spooler::Reset() {
  printers_.clear();
  defaults_.clear();
  failed_writes_.Clear();
  short_writes_.Clear();
  writes_ = 0;
}

}  // namespace host
