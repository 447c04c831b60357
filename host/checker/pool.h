// The engine's memory pool as a driver checker sees it: every live block is
// known with its size and tag, and misuse is a finding. Every call may come
// from any thread: one lock guards the table, held only inside a call.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "host/checker/fault_plan.h"
#include "host/checker/guarded_buffer.h"

namespace host {

class Engine;

struct Block {
  ULONG size = 0;
  ULONG tag = 0;
  ULONG flags = 0;
};

class Pool {
 public:
  // Misuse is a finding of the engine's open job, or the engine's own.
  explicit Pool(Engine& engine) : engine_(engine) {}

  PVOID Alloc(ULONG flags, ULONG size, ULONG tag);
  void Free(PVOID block);

  size_t LiveBlocks() const;
  size_t LiveBlocks(ULONG tag) const;
  // A copy of the live block's record: another thread may free the block.
  std::optional<Block> Find(const void* block) const;
  uint64_t Allocations() const;
  // Planned before the threads start; each allocation asks it under the lock.
  FaultPlan& faults() { return faults_; }

  // Each block against an inaccessible page; freed blocks stay inaccessible
  // for a while, so late reads and writes fault.
  void UseGuardPages(bool on) { guard_pages_ = on; }

  void Reset();  // forgets every block: for a fresh engine only

 private:
  struct FreeHeap {
    void operator()(uint8_t* data) const { std::free(data); }
  };
  struct Entry {
    Block block;
    std::unique_ptr<uint8_t, FreeHeap> heap;
    std::unique_ptr<GuardedBuffer> guarded;
  };
  void Remember(const void* data, Entry entry);
  Engine& engine_;
  mutable std::mutex mutex_;
  std::map<const void*, Entry> live_;
  // The last freed block's map node, reused by the next allocation.
  std::map<const void*, Entry>::node_type spare_;
  std::deque<std::unique_ptr<GuardedBuffer>> quarantine_;
  FaultPlan faults_;
  uint64_t allocations_ = 0;
  bool guard_pages_ = false;
};

std::string TagText(ULONG tag);

}  // namespace host
