#include "tests/engine_test.h"

#include <cstdio>

void EngineTest::SetUp() {
  engine().Reset();
  sink_ = std::make_shared<host::MemorySink>();
  printer_ = engine().spooler.Open(sink_);
}

void EngineTest::TearDown() {
  engine().spooler.Close(printer_);
  EXPECT_EQ(engine().LiveReport(), "") << "the test left something live";
  engine().Reset();
}

void EngineTest::ClearOutput() {
  engine().trace.TakeLines();
  sink_->Clear();
}

std::string Line(const std::string& message) { return "DRVKRNL: " + message; }

std::string Hex8(const void* pointer) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pointer) & 0xFFFFFFFFu));
  return text;
}
