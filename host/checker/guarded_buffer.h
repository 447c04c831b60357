// A buffer placed directly against an inaccessible page, so that any read or
// write past its end faults at once, sanitizers or not.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  void MakeInaccessible();  // what a freed block becomes while quarantined

 private:
  void* mapping_ = nullptr;
  size_t mapping_size_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace host
