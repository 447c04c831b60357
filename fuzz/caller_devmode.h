// A device mode and a name as a caller hands them over: placed against an
// inaccessible page, so the driver may touch every byte the caller owns and
// not one more.
//
// The engine hands over a device mode as long as its header claims,
// dmSize + dmDriverExtra bytes, and never one shorter than that 72-byte
// header; an interface function's output buffer is as long as the caller
// says. The input's bytes come first, cut to the length or padded with
// zeros. The buffer is rounded up to the record's alignment, as every
// engine block is, and the bytes of that rounding are poisoned.
#pragma once

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "fuzz/fuzz_input.h"
#include "host/checker/guarded_buffer.h"

namespace fuzz {

constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);

inline uint16_t Le16At(const std::vector<uint8_t>& bytes, size_t offset) {
  return offset + 2 <= bytes.size() ? static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8)
                                    : 0;
}

// The caller's record: size bytes against the guard page, aligned.
class CallerDevMode {
 public:
  explicit CallerDevMode(const std::vector<uint8_t>& input) : CallerDevMode(input, ClaimedSize(input)) {}
  // A record in a buffer of exactly size bytes, whatever its header claims.
  CallerDevMode(const std::vector<uint8_t>& input, size_t size)
      : size_(size),
        buffer_((size_ + kAlign - 1) / kAlign * kAlign) {
    std::memset(buffer_.data(), 0, buffer_.size());
    std::copy_n(input.begin(), std::min(input.size(), size_), buffer_.data());
    ASAN_POISON_MEMORY_REGION(buffer_.data() + size_, buffer_.size() - size_);
  }
  ~CallerDevMode() { ASAN_UNPOISON_MEMORY_REGION(buffer_.data(), buffer_.size()); }
  CallerDevMode(const CallerDevMode&) = delete;
  CallerDevMode& operator=(const CallerDevMode&) = delete;

  const uint8_t* data() const { return buffer_.data(); }
  size_t size() const { return size_; }
  uint8_t* data() { return buffer_.data(); }
  const DEVMODEW* devmode() const { return reinterpret_cast<const DEVMODEW*>(data()); }
  DEVMODEW* devmode() { return reinterpret_cast<DEVMODEW*>(data()); }
  std::vector<uint8_t> bytes() const { return {data(), data() + size_}; }

 private:
  // Read from the header as the driver will see it: a short input is
  // padded with zeros, so a half-present dmSize counts only its first byte.
  static size_t ClaimedSize(std::vector<uint8_t> header) {
    if (header.size() < kHeaderBytes) header.resize(kHeaderBytes, 0);
    return std::max(kHeaderBytes, size_t{Le16At(header, offsetof(DEVMODEW, dmSize))} +
                                      Le16At(header, offsetof(DEVMODEW, dmDriverExtra)));
  }

  static constexpr size_t kAlign = alignof(DEVMODEW);
  size_t size_;
  host::GuardedBuffer buffer_;
};

// A NUL-terminated name that ends where its buffer ends.
inline std::unique_ptr<host::GuardedBuffer> PlaceName(fuzz::Input& in) {
  const size_t units = in.Le16() % 1024;
  auto buffer = std::make_unique<host::GuardedBuffer>((units + 1) * sizeof(char16_t));
  for (size_t i = 0; i <= units; ++i) {
    const uint16_t unit = i < units ? in.Le16() : 0;
    std::memcpy(buffer->data() + i * sizeof unit, &unit, sizeof unit);
  }
  return buffer;
}

}  // namespace fuzz
