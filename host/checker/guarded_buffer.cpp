#include "host/checker/guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

namespace host {

static size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
  const size_t page = PageSize();
  const size_t data_pages = (size + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  mapping_ = mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping_ == MAP_FAILED) throw std::bad_alloc();
  uint8_t* guard = static_cast<uint8_t*>(mapping_) + data_pages * page;
  mprotect(guard, page, PROT_NONE);
  data_ = guard - size;
}

GuardedBuffer::~GuardedBuffer() { munmap(mapping_, mapping_size_); }

void GuardedBuffer::MakeInaccessible() { mprotect(mapping_, mapping_size_, PROT_NONE); }

}  // namespace host
