// The host engine: every engine service the driver uses, with the checks a
// driver checker gives. One engine per process, as on the platform.
#pragma once

#include <string>

#include "host/code_page.h"
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

  // What is still live (blocks, surfaces, palettes, printers, text
  // objects) and every unexamined finding; empty when all is clean.
  std::string LiveReport() const;

  // A fresh engine: nothing live, no faults planned, trace kept in memory.
  // The code page stays as chosen.
  void Reset();

 private:
  static Engine& Create();
};

}  // namespace host
