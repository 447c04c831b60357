#include "tests/engine_test.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/pe_image.h"

namespace {
const char* DllPath() { return std::getenv("TEXTRELAY_DRIVER_DLL"); }

// The unit suite runs on the checked engine, from before its first block.
const bool kChecked = (host::Engine::Get().SwitchOnChecker(), true);
}  // namespace

bool TestingLoadedDll() { return DllPath() != nullptr; }

namespace {
const host::PeImage& LoadedImage() {
  static std::unique_ptr<host::PeImage> image = host::PeImage::Load(DllPath());
  return *image;
}
}  // namespace

host::DrvEnableDriverEntry TestDriverEntry() {
  if (!TestingLoadedDll()) return &DrvEnableDriver;
  return LoadedImage().entry();
}

void* TestDriverExport(const char* name) {
  return TestingLoadedDll() ? LoadedImage().Export(name) : nullptr;
}

bool TestingUserModeDll() {
  if (!TestingLoadedDll()) return false;
  const std::vector<std::string>& imports = LoadedImage().imports();
  return std::any_of(imports.begin(), imports.end(),
                     [](const std::string& import) { return import.starts_with("gdi32.dll!"); });
}

void EngineTest::SetUp() {
  engine().Reset();
  checker().pool.UseGuardPages(TestingLoadedDll());
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
