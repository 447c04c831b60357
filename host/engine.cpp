#include "host/engine.h"

#include "host/text_object.h"

namespace host {

Engine& Engine::Create() {
  static Engine engine;
  return engine;
}

std::string Engine::LiveReport() const {
  std::string report;
  auto add = [&](size_t count, const char* what) {
    if (count != 0) report += std::to_string(count) + " " + what + " live; ";
  };
  add(pool.LiveBlocks(), "pool blocks");
  add(handles.LiveSurfaces(), "surfaces");
  add(handles.LivePalettes(), "palettes");
  add(spooler.OpenPrinters(), "printers");
  add(LiveTextObjects(), "text objects");
  for (const auto& finding : findings.list()) report += "finding: " + finding + "; ";
  return report;
}

void Engine::Reset() {
  findings.Clear();
  pool.Reset();
  spooler.Reset();
  handles.Reset();
  trace.Reset();
  code_page.ResetCounts();
}

}  // namespace host
