#include "host/checker/pool.h"

#include <cstdio>
#include <cstring>

#include "host/engine.h"

namespace host {

namespace {
constexpr size_t kQuarantineBlocks = 64;

bool PrintableTag(ULONG tag) {
  for (int i = 0; i < 4; ++i) {
    const unsigned byte = (tag >> (8 * i)) & 0xFF;
    if (byte < 0x20 || byte > 0x7E) return false;
  }
  return true;
}
}  // namespace

std::string TagText(ULONG tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const unsigned byte = (tag >> (8 * i)) & 0xFF;
    if (byte >= 0x20 && byte <= 0x7E) {
      text += static_cast<char>(byte);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      text += hex;
    }
  }
  return text;
}

PVOID Pool::Alloc(ULONG flags, ULONG size, ULONG tag) {
  std::lock_guard lock(mutex_);
  ++allocations_;
  if (size == 0) {
    engine_.ThreadFindings().Add("EngAllocMem: zero-byte allocation (tag " + TagText(tag) + ")");
    return nullptr;
  }
  if (!PrintableTag(tag)) {
    engine_.ThreadFindings().Add("EngAllocMem: tag " + TagText(tag) + " is not printable");
  }
  if (faults_.Next()) return nullptr;
  Entry entry;
  entry.block = {size, tag, flags};
  uint8_t* data;
  const bool zero = (flags & FL_ZERO_MEMORY) != 0;
  if (guard_pages_) {
    entry.guarded = std::make_unique<GuardedBuffer>(size);
    data = entry.guarded->data();
    std::memset(data, zero ? 0 : 0xA5, size);
  } else {
    // calloc hands a large block over as pages never touched, already zero:
    // a surface's bitmap costs nothing until it is drawn on.
    entry.heap.reset(static_cast<uint8_t*>(zero ? std::calloc(size, 1) : std::malloc(size)));
    data = entry.heap.get();
    if (data == nullptr) return nullptr;
    // Without FL_ZERO_MEMORY the engine hands out whatever the pool held.
    if (!zero) std::memset(data, 0xA5, size);
  }
  Remember(data, std::move(entry));
  return data;
}

void Pool::Free(PVOID block) {
  std::lock_guard lock(mutex_);
  auto it = live_.find(block);
  if (it == live_.end()) {
    char text[64];
    std::snprintf(text, sizeof text, "EngFreeMem: %p is not a live block", block);
    engine_.ThreadFindings().Add(text);
    return;
  }
  if (it->second.guarded) {
    it->second.guarded->MakeInaccessible();
    quarantine_.push_back(std::move(it->second.guarded));
    if (quarantine_.size() > kQuarantineBlocks) quarantine_.pop_front();
  }
  spare_ = live_.extract(it);
  spare_.mapped() = Entry{};
}

void Pool::Remember(const void* data, Entry entry) {
  if (spare_.empty()) {
    live_.emplace(data, std::move(entry));
    return;
  }
  spare_.key() = data;
  spare_.mapped() = std::move(entry);
  live_.insert(std::move(spare_));
}

size_t Pool::LiveBlocks() const {
  std::lock_guard lock(mutex_);
  return live_.size();
}

uint64_t Pool::Allocations() const {
  std::lock_guard lock(mutex_);
  return allocations_;
}

size_t Pool::LiveBlocks(ULONG tag) const {
  std::lock_guard lock(mutex_);
  size_t count = 0;
  for (const auto& [data, entry] : live_) count += entry.block.tag == tag;
  return count;
}

std::optional<Block> Pool::Find(const void* block) const {
  std::lock_guard lock(mutex_);
  auto it = live_.find(block);
  if (it == live_.end()) return std::nullopt;
  return it->second.block;
}

void Pool::Reset() {
  std::lock_guard lock(mutex_);
  live_.clear();
  spare_ = {};
  quarantine_.clear();
  faults_.Clear();
  allocations_ = 0;
}

}  // namespace host
