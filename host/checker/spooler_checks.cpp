#include "host/checker/spooler_checks.h"

#include <cstdio>

#include "host/engine.h"

namespace host {

bool SpoolerChecks::Admit(HANDLE printer, DWORD count, DWORD* taken) {
  std::lock_guard lock(mutex_);
  ++writes_;
  if (!engine_.spooler.IsOpen(printer)) {
    char text[64];
    std::snprintf(text, sizeof text, "EngWritePrinter: %p is not an open printer", printer);
    engine_.ThreadFindings().Add(text);
    return false;
  }
  if (failed_writes_.Next()) return false;
  *taken = short_writes_.Next() ? count / 2 : count;
  return true;
}

BOOL SpoolerChecks::Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  DWORD taken = 0;
  if (!Admit(printer, count, &taken)) {
    if (written != nullptr) *written = 0;
    return FALSE;
  }
  return Spooler::Write(printer, bytes, taken, written);
}

uint64_t SpoolerChecks::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void SpoolerChecks::Reset() {
  std::lock_guard lock(mutex_);
  failed_writes_.Clear();
  short_writes_.Clear();
  writes_ = 0;
}

}  // namespace host
