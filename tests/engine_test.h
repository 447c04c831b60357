// The fixture every driver test starts from: a fresh host engine, a memory
// printer, and at the end the checker's verdict that nothing is left live.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/functions.h"
#include "host/checker/checker.h"
#include "host/engine.h"
#include "host/runner.h"

// The driver under test: the linked-in one, or the DLL named by
// TEXTRELAY_DRIVER_DLL, loaded once and kept for the whole run.
host::DrvEnableDriverEntry TestDriverEntry();
bool TestingLoadedDll();
// The driver under test is a loaded user-mode DLL: its engine services come
// from GDI32 and its memory from the process heap.
bool TestingUserModeDll();
// An export of the loaded DLL by name; nullptr for the linked-in driver and
// for a name the DLL does not export.
void* TestDriverExport(const char* name);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  host::Engine& engine() { return host::Engine::Get(); }
  host::Checker& checker() { return host::Checker::Get(); }
  const std::vector<std::string>& trace() { return engine().trace.lines(); }
  const std::vector<uint8_t>& bytes() { return sink_->bytes(); }
  const std::vector<size_t>& writes() { return sink_->writes(); }
  // Trace lines and printed bytes so far are forgotten.
  void ClearOutput();
  // A test that means to misuse the engine takes its findings.
  std::vector<std::string> TakeFindings() { return engine().findings.Take(); }

  std::shared_ptr<host::MemorySink> sink_;
  HANDLE printer_ = nullptr;
  host::Driver driver_{TestDriverEntry()};
};


// "DRVKRNL: " and the message: one trace line as the driver writes it.
std::string Line(const std::string& message);
// A pointer or handle as the trace shows it.
std::string Hex8(const void* pointer);
