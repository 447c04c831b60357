// DrvConvertDevMode as the spooler calls it with records from other machines
// and versions: every mode, any input record, any output header within the
// buffer the caller owns. The call answers the size it needs or writes a
// record that holds up, and never touches a byte the caller does not own.
//
// Input: a mode byte (0 CDM_DRIVER_DEFAULT, 1 CDM_CONVERT, 2 CDM_CONVERT351,
// 3 any: Le32 fMode follows), a flags byte (bit 0: no input record, bit 1:
// no output buffer, bit 2: no pcbNeeded, bits 3-5: fail the k-th
// allocation), Le16 cbOut (the output buffer's size and *pcbNeeded; 0xFFFF:
// *pcbNeeded is -1 and the buffer empty), the printer name (Le16 length and
// units), Le16 count and that many bytes that begin the output buffer, and
// the input record's bytes.
#include "fuzz/caller_devmode.h"
#include "fuzz/contract.h"
#include "devmode/devmode.h"
#include "host/user_mode_services.h"
#include "ui/printui.h"

namespace {

using fuzz::Require;

constexpr ULONG kOwnBytes = sizeof(DrvDevMode);

DWORD ModeOf(fuzz::Input& in) {
  constexpr DWORD kModes[] = {CDM_DRIVER_DEFAULT, CDM_CONVERT, CDM_CONVERT351};
  const uint8_t pick = in.Byte() % 4;
  return pick < 3 ? kModes[pick] : in.Le32();
}

ULONG RecordBytes(const std::vector<uint8_t>& header) {
  if (header.size() < fuzz::kHeaderBytes) return 0;
  return ULONG{fuzz::Le16At(header, offsetof(DEVMODEW, dmSize))} +
         fuzz::Le16At(header, offsetof(DEVMODEW, dmDriverExtra));
}

bool SameFrom(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from) {
  return from >= a.size() || std::equal(a.begin() + from, a.end(), b.begin() + from);
}

// A record written whole: the driver's own for the two modes that make one,
// the caller's own header kept for CDM_CONVERT.
void RequireWritten(DWORD mode, const std::vector<uint8_t>& before, fuzz::CallerDevMode& out,
                    LONG cbNeeded) {
  const std::vector<uint8_t> after = out.bytes();
  if (mode != CDM_CONVERT) {
    Require(cbNeeded == static_cast<LONG>(kOwnBytes), "a record of the driver's own is not its size");
    Require(IsValidDrvDevMode(out.devmode()), "the record written is not valid");
    Require(SameFrom(before, after, kOwnBytes), "bytes beyond the record changed");
    return;
  }
  Require(cbNeeded == static_cast<LONG>(RecordBytes(before)), "the size is not the output header's");
  Require(std::equal(before.begin() + offsetof(DEVMODEW, dmSpecVersion),
                     before.begin() + offsetof(DEVMODEW, dmFields), after.begin() +
                     offsetof(DEVMODEW, dmSpecVersion)),
          "the output's header changed");
  Require(SameFrom(before, after, static_cast<size_t>(cbNeeded)), "bytes beyond the record changed");
  std::vector<uint8_t> header(before.begin(), before.begin() + fuzz::kHeaderBytes);
  fuzz::CallerDevMode was(header, before.size());
  std::copy(before.begin(), before.end(), was.data());
  if (IsValidDrvDevMode(was.devmode())) {
    Require(IsValidDrvDevMode(out.devmode()), "a record of the driver's own left invalid");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const DWORD mode = ModeOf(in);
  const uint8_t flags = in.Byte();
  const uint16_t cb_out = in.Le16();
  const auto name = fuzz::PlaceName(in);
  const std::vector<uint8_t> out_start = in.Bytes(in.Le16());
  const std::vector<uint8_t> in_bytes = in.Rest();

  fuzz::Session session;
  host::Checker::Get().pool.faults().FailNth((flags >> 3) & 7);
  auto record = flags & 1 ? nullptr : std::make_unique<fuzz::CallerDevMode>(in_bytes);
  const size_t out_size = cb_out == 0xFFFF ? 0 : cb_out;
  fuzz::CallerDevMode out(out_start, out_size);
  const std::vector<uint8_t> before = out.bytes();
  LONG cb_needed = cb_out == 0xFFFF ? -1 : cb_out;
  const LONG cb_given = cb_needed;

  SetLastError(0);
  const BOOL result = DrvConvertDevMode(reinterpret_cast<LPTSTR>(name->data()),
                                        record ? record->devmode() : nullptr,
                                        flags & 2 ? nullptr : out.devmode(),
                                        flags & 4 ? nullptr : &cb_needed, mode);
  const DWORD error = GetLastError();
  const bool injected = host::Checker::Get().pool.faults().Failures() != 0;
  if (result) {
    Require(!(flags & 6), "TRUE without an output buffer or a size");
    Require(cb_needed > 0 && cb_needed <= cb_given, "TRUE with a size beyond the buffer");
    RequireWritten(mode, before, out, cb_needed);
  } else {
    Require(out.bytes() == before, "FALSE and yet the output changed");
    Require(error == ERROR_INVALID_PARAMETER || error == ERROR_INSUFFICIENT_BUFFER || injected,
            "FALSE with an error that is neither a bad parameter nor a small buffer");
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      Require(cb_needed > cb_given || (flags & 2), "asked for room it was given");
    }
  }
  session.Finish();
  return 0;
}
