// What every fuzzer checks besides crashes: the driver is driven only
// through the table its entry point hands back, and each call is held to
// its contract. A broken contract aborts, which libFuzzer reports as a
// finding with the input that caused it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "host/checker/checker.h"
#include "host/checker/guarded_buffer.h"
#include "host/engine.h"
#include "host/runner.h"

namespace fuzz {

[[noreturn]] void Fail(const std::string& what);
inline void Require(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Loaded once per process, as the engine loads a driver once.
const host::Driver& LoadedDriver();

// One input's engine: fresh, with a memory printer. Finish() closes the
// printer and requires that nothing is left live and nothing was misused.
class Session {
 public:
  Session();
  void Finish();
  HANDLE printer() const { return printer_; }
  const std::vector<uint8_t>& printed() const { return sink_->bytes(); }

 private:
  std::shared_ptr<host::MemorySink> sink_;
  HANDLE printer_;
};

// An engine record (GDIINFO, DEVINFO) as the engine hands it over: cj
// bytes, of which the driver fills at most record_bytes, and canary bytes
// behind that which must stay as they were.
class EngineRecord {
 public:
  EngineRecord(ULONG cj, size_t record_bytes);
  ULONG cj() const { return cj_; }
  void* data() { return bytes_.data(); }
  void RequireCanaries(const char* what) const;
  bool Untouched() const;
  std::vector<uint8_t> Written() const { return {bytes_.begin(), bytes_.begin() + written_}; }

 private:
  ULONG cj_;
  size_t written_;  // what the driver may write: the smaller of cj and the record
  std::vector<uint8_t> bytes_;
};

size_t GdiInfoBytes();
size_t DevInfoBytes();

// A device as the engine holds it between creation and release.
struct Device {
  DHPDEV dhpdev = nullptr;
  bool created = false;  // DrvEnablePDEV succeeded, whatever became of the surface
  SURFOBJ so{};
  std::vector<uint8_t> gdiinfo;  // what the driver wrote into the engine's GDIINFO
  bool ok() const { return so.hsurf != nullptr; }
};

// Creates, completes and gives the device its surface in the engine's order,
// with GDIINFO and DEVINFO of the given sizes whose canaries are checked.
// A device whose surface fails is disabled at once, as the engine does.
// A creation that fails leaves both records untouched.
Device EnableDevice(const DEVMODEW* pdm, const char16_t* name, HANDLE printer, ULONG cjCaps,
                    ULONG cjDevInfo);
void DisableDevice(Device& device);

// The driver's own device mode with the given output settings, on a small
// page: a bitmap of the default page costs more than the rest of a run.
std::vector<uint8_t> DriverDevMode(uint8_t line_terminator, uint8_t form_feed);

std::vector<uint8_t> TerminatorBytes(uint8_t mode);

// One DrvTextOut call's STROBJ, built from the input, and what the printer
// must receive for it. Layout: kind byte (bits 0-1: 0 string, 1 glyph
// positions, 2 enumeration, 3 string and glyph positions; bit 2 glyph
// indices; bit 3 a count far too large for the glyphs given, then Le32),
// then per kind: Le16 count and that many Le16 units or Le32 handles; for
// enumeration Le16 cGlyphs, Le16 glyphs and their Le16 handles, a byte of
// batches (bit 7: the engine answers TRUE for ever), one byte per batch,
// and a byte naming the batch answered with DDI_ERROR plus one (0: none).
class TextCase {
 public:
  explicit TextCase(Input& in);
  STROBJ* stro() { return text_.stro(); }

  // The bytes of a successful call, terminator included.
  std::vector<uint8_t> Expected(uint8_t line_terminator) const;
  bool must_refuse() const { return must_refuse_; }
  bool may_refuse() const { return may_refuse_; }
  bool huge() const { return huge_; }

  // The call must leave the engine's records as they were.
  void RequireUnchanged() const;

 private:
  void BuildString(Input& in, ULONG count);
  void BuildGlyphs(Input& in, ULONG count);
  void BuildEnumeration(Input& in);

  mutable host::TextObject text_;  // the engine's side; stro() is not const
  std::unique_ptr<host::GuardedBuffer> string_;
  std::unique_ptr<host::GuardedBuffer> glyphs_;
  std::vector<uint8_t> string_copy_;
  std::vector<uint8_t> glyphs_copy_;
  std::vector<uint8_t> stro_copy_;
  std::vector<uint8_t> enumerated_;  // low bytes delivered before the end
  bool from_string_ = false;
  bool must_refuse_ = false;
  bool may_refuse_ = false;
  bool huge_ = false;
};

// Calls DrvTextOut and checks: no more than cGlyphs text bytes plus the
// terminator; TRUE only when exactly the expected bytes arrived, in one
// engine write unless short writes were injected; FALSE only for a refused
// shape or an injected failure, with at most a prefix delivered; no block
// left behind; the STROBJ and its arrays unchanged.
BOOL CheckTextOut(Device& device, TextCase& text, uint8_t line_terminator,
                  const std::vector<uint8_t>& printed);

// DrvEndDoc: a form feed only when the flag is exactly 1, and TRUE only
// when it was written; no write and TRUE without the flag.
BOOL CheckEndDoc(Device& device, FLONG fl, uint8_t form_feed, const std::vector<uint8_t>& printed);

// DrvStartDoc, DrvStartPage and DrvSendPage write nothing and succeed.
void CheckStartDoc(Device& device, const std::vector<uint8_t>& printed);
void CheckStartPage(Device& device, const std::vector<uint8_t>& printed);
void CheckSendPage(Device& device, const std::vector<uint8_t>& printed);

}  // namespace fuzz
