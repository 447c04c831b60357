// What the checker asks of each EngWritePrinter before the spooler writes:
// the handle must be an open printer's, and fault plans decide which writes
// fail or fall short.
#pragma once

#include <cstdint>
#include <mutex>

#include "engine/engine.h"
#include "host/checker/fault_plan.h"

namespace host {

class Engine;

class SpoolerChecks {
 public:
  // An unknown handle is a finding of the engine's open job, or the
  // engine's own.
  explicit SpoolerChecks(Engine& engine) : engine_(engine) {}

  // Writes() counts these.
  BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written);
  uint64_t Writes() const;

  FaultPlan& failed_writes() { return failed_writes_; }
  // A short write takes only half the bytes asked (none of a single byte).
  FaultPlan& short_writes() { return short_writes_; }

  void Reset();

 private:
  // False, with the finding made, when the write fails before reaching the
  // printer; else *taken is what the printer is to receive.
  bool Admit(HANDLE printer, DWORD count, DWORD* taken);
  Engine& engine_;
  mutable std::mutex mutex_;
  FaultPlan failed_writes_;
  FaultPlan short_writes_;
  uint64_t writes_ = 0;
};

}  // namespace host
