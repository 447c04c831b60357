// DrvTextOut with any STROBJ shape on a device of any line terminator, in a
// single- or double-byte code page, with the call's allocation or write
// failing or the write coming up short.
//
// Input: the line terminator byte; a byte of switches (bit 0: double-byte
// code page; bit 1: the first text allocation fails; bit 2: the first
// write fails; bit 3: the first write is short); then up to four text
// cases (see TextCase).
#include "fuzz/contract.h"

namespace {

constexpr int kMaxCalls = 4;

void SelectCodePage(bool double_byte) {
  // Choosing a code page builds its table, so only a change is made.
  const char* name = double_byte ? "CP932" : "WINDOWS-1252";
  host::CodePage& code_page = host::Engine::Get().code_page;
  if (code_page.name() != name) fuzz::Require(code_page.Select(name), "no such code page");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t line_terminator = in.Byte();
  const uint8_t switches = in.Byte();
  SelectCodePage(switches & 1);

  fuzz::Session session;
  const std::vector<uint8_t> devmode = fuzz::DriverDevMode(line_terminator, 0);
  fuzz::Device device =
      fuzz::EnableDevice(reinterpret_cast<const DEVMODEW*>(devmode.data()), u"TextRelay",
                         session.printer(), sizeof(GDIINFO), sizeof(DEVINFO));
  fuzz::Require(device.ok(), "no device although nothing failed");

  host::Checker& checker = host::Checker::Get();
  if (switches & 2) checker.pool.faults().FailNth(1);
  if (switches & 4) checker.spooler.failed_writes().FailNth(1);
  if (switches & 8) checker.spooler.short_writes().FailNth(1);
  for (int call = 0; call < kMaxCalls && !in.empty(); ++call) {
    fuzz::TextCase text(in);
    fuzz::CheckTextOut(device, text, line_terminator, session.printed());
  }
  checker.pool.faults().Clear();
  fuzz::DisableDevice(device);
  session.Finish();
  return 0;
}
