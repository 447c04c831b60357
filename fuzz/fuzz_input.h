// Reads a fuzzer's input front to back in a fixed, documented layout, so
// that seeds can be written by hand. Past the end every value reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Le16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t Le32() { return Le16() | static_cast<uint32_t>(Le16()) << 16; }
  bool empty() const { return pos_ >= size_; }

  // Up to count bytes; fewer when the input ends first.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t take = count < size_ - pos_ ? count : size_ - pos_;
    std::vector<uint8_t> bytes(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return bytes;
  }
  std::vector<uint8_t> Rest() { return Bytes(size_ - pos_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace fuzz
