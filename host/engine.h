// The host engine: every engine service the driver uses. Free, as users run
// it, memory comes straight from the C library and a write goes from the
// printer handle to its sink; with the checker switched on, as tests run
// it, the pool records and tags every block, the handle tables and the
// spooler check every call, and fault plans decide which calls fail. One
// engine per process, as on the platform; what a job sets and counts is
// the job's own (host/job.h).
#pragma once

#include <string>

#include "host/code_page.h"
#include "host/job.h"
#include "host/checker/findings.h"
#include "host/checker/handles.h"
#include "host/checker/pool.h"
#include "host/spooler.h"
#include "host/trace.h"

namespace host {

class Engine {
 public:
  // Every engine service starts here: inline, with the construction
  // out of line so that it stays so.
  static Engine& Get() {
    static Engine& engine = Create();
    return engine;
  }

  Findings findings;
  Pool pool{findings};
  Spooler spooler{findings};
  Handles handles{findings};
  CodePage code_page;
  Trace trace;

  // Before any block is taken and any thread prints: a block from one
  // layer must go back to the same.
  void SwitchOnChecker() { checked_ = true; }
  bool checked() const { return checked_; }

  // EngAllocMem, EngFreeMem and EngWritePrinter, as the layer switched on
  // has them; the user-mode DLLs' heap and WritePrinter come here too.
  PVOID Alloc(ULONG flags, ULONG size, ULONG tag);
  void Free(PVOID block);
  BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written);

  // The open job's (host/job.h), or the engine's own where the calling
  // thread has none open.
  CodePage& ThreadCodePage() {
    JobState* job = OpenJob();
    return job != nullptr ? job->code_page : code_page;
  }
  Trace& ThreadTrace() {
    JobState* job = OpenJob();
    return job != nullptr ? job->trace : trace;
  }

  // What is still live (blocks, surfaces, palettes, printers, text
  // objects) and every unexamined finding; empty when all is clean.
  std::string LiveReport() const;

  // A fresh engine: nothing live, no faults planned, trace kept in memory.
  // The code page stays as chosen.
  void Reset();

 private:
  static Engine& Create();
  bool checked_ = false;
};

}  // namespace host
