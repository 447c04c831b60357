#include "host/checker/checker.h"

#include "host/engine.h"

namespace host {

Checker& Checker::Get() {
  static Checker checker(Engine::Get());
  return checker;
}

void Engine::SwitchOnChecker() {
  layer_ = &Checker::Get();
  checked_ = true;
}

void Checker::ReportLive(std::string& report) const {
  host::ReportLive(report, pool.LiveBlocks(), "pool blocks");
  host::ReportLive(report, handles.LiveSurfaces(), "surfaces");
  host::ReportLive(report, handles.LivePalettes(), "palettes");
}

void Checker::Reset() {
  pool.Reset();
  spooler.Reset();
  handles.Reset();
}

}  // namespace host
