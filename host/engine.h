// The host engine: every engine service the driver uses. Free, as users run
// it, memory comes straight from the C library, a surface or palette is a
// plain record whose address is its handle, and a write goes from the
// printer handle to its sink. With the checker switched on, as tests run
// it, a layer over these services (host/engine_layer.h) records and tags
// every block, checks every handle and write, and lets fault plans decide
// which calls fail; the checker lives in its own library, which only tests
// and fuzzers link. One engine per process, as on the platform; what a job
// sets and counts is the job's own (host/job.h).
#pragma once

#include <string>

#include "host/code_page.h"
#include "host/engine_layer.h"
#include "host/findings.h"
#include "host/job.h"
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
  Spooler spooler;
  CodePage code_page;
  Trace trace;

  // Before any block is taken and any thread prints: a block from one
  // layer must go back to the same. Defined with the checker
  // (host/checker/checker.cpp), so that only what calls it links it.
  void SwitchOnChecker();

  // The engine services that give out and take back memory, surfaces,
  // palettes and writes, as the layer switched on has them; the user-mode
  // DLLs' heap and WritePrinter come here too.
  PVOID Alloc(ULONG flags, ULONG size, ULONG tag);
  void Free(PVOID block);
  BOOL Write(HANDLE printer, const void* bytes, DWORD count, DWORD* written);
  HBITMAP CreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits);
  BOOL Associate(HSURF surface, HDEV hdev, FLONG hooks);
  BOOL DeleteSurface(HSURF surface);
  HPALETTE CreatePalette(ULONG mode, ULONG count, const ULONG* colors, FLONG red, FLONG green,
                         FLONG blue);
  BOOL DeletePalette(HPALETTE palette);

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
  Findings& ThreadFindings() {
    JobState* job = OpenJob();
    return job != nullptr ? job->findings : findings;
  }

  // What a job leaves unexamined when it ends (host/job.h): the engine's
  // own once the checker is on, so that the test's live report lists it.
  void TakeOverFindings(Findings& job_findings);

  // What is still live (with the checker on, blocks, surfaces and
  // palettes; printers, text objects) and every unexamined finding; empty
  // when all is clean.
  std::string LiveReport() const;

  // A fresh engine: nothing live, no faults planned, trace kept in memory.
  // The code page stays as chosen.
  void Reset();

 private:
  static Engine& Create();
  // Set together. The free path asks the flag, which it compares in
  // place, one instruction fewer than testing the pointer.
  bool checked_ = false;
  EngineLayer* layer_ = nullptr;
};

}  // namespace host
