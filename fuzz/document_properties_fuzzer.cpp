// DrvDocumentPropertySheets without a sheet, as DocumentProperties reaches
// it from any application: any header, any mode, any caller's record. It
// answers the record's size, or writes a whole valid record into a buffer
// that holds one, or fails with nothing written.
//
// Input: a flags byte (bit 0: no header, bit 1: no input record, bit 2: no
// output buffer, bits 3-5: fail the k-th allocation, bit 6: cbSize from the
// next Le16, else the header's size), Le32 fMode, Le16 cbOut (the output
// buffer's size too), the printer name (Le16 length and units), then the
// input record's bytes.
#include "fuzz/caller_devmode.h"
#include "fuzz/contract.h"
#include "devmode/devmode.h"
#include "host/user_mode_services.h"
#include "ui/printui.h"

namespace {

using fuzz::Require;

constexpr ULONG kOwnBytes = sizeof(DrvDevMode);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const WORD cb_size = flags & 0x40 ? in.Le16() : sizeof(DOCUMENTPROPERTYHEADER);
  const DWORD f_mode = in.Le32();
  const uint16_t cb_out = in.Le16();
  const auto name = fuzz::PlaceName(in);
  const std::vector<uint8_t> in_bytes = in.Rest();

  fuzz::Session session;
  host::Checker::Get().pool.faults().FailNth((flags >> 3) & 7);
  auto record = flags & 2 ? nullptr : std::make_unique<fuzz::CallerDevMode>(in_bytes);
  fuzz::CallerDevMode out({}, cb_out);
  const std::vector<uint8_t> before = out.bytes();
  host::GuardedBuffer header_buffer(sizeof(DOCUMENTPROPERTYHEADER));
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(header_buffer.data());
  *header = {};
  header->cbSize = cb_size;
  header->pszPrinterName = reinterpret_cast<LPTSTR>(name->data());
  header->pdmIn = record ? record->devmode() : nullptr;
  header->pdmOut = flags & 4 ? nullptr : out.devmode();
  header->cbOut = cb_out;
  header->fMode = f_mode;
  const DOCUMENTPROPERTYHEADER given = *header;

  SetLastError(0);
  const LONG result =
      DrvDocumentPropertySheets(nullptr, flags & 1 ? 0 : reinterpret_cast<LPARAM>(header));
  const DWORD error = GetLastError();
  const bool injected = host::Checker::Get().pool.faults().Failures() != 0;
  const bool size_query = f_mode == 0 || header->pdmOut == nullptr;
  const bool wrote = out.bytes() != before;
  // A caller's record shorter than its own header is refused like a bad
  // header, by every entry point alike.
  const bool short_record =
      record && (f_mode & DM_IN_BUFFER) && record->devmode()->dmSize < fuzz::kHeaderBytes;
  if ((flags & 1) || cb_size < sizeof(DOCUMENTPROPERTYHEADER) || short_record) {
    Require(result < 1 && error == ERROR_INVALID_PARAMETER, "a bad header is not refused");
  } else if (size_query) {
    Require(result == static_cast<LONG>(kOwnBytes) && header->cbOut == kOwnBytes,
            "a size query does not answer the record's size");
  } else if (result == CPSUI_OK) {
    Require(header->cbOut == given.cbOut, "cbOut changed by a copy");
    if (f_mode & DM_OUT_BUFFER) {
      Require(cb_out >= kOwnBytes && IsValidDrvDevMode(out.devmode()),
              "CPSUI_OK without a whole valid record in the buffer");
      Require(std::equal(before.begin() + kOwnBytes, before.end(), out.bytes().begin() + kOwnBytes),
              "bytes beyond the record changed");
    }
  } else {
    Require(result < 1, "a copy answered neither CPSUI_OK nor a failure");
    Require(injected || ((f_mode & DM_OUT_BUFFER) && cb_out < kOwnBytes &&
                         error == ERROR_INSUFFICIENT_BUFFER),
            "a copy failed although its buffer held the record");
  }
  if (!(result == CPSUI_OK && !size_query && (f_mode & DM_OUT_BUFFER))) {
    Require(!wrote, "the output changed without a copy");
  }
  Require(header->pdmIn == given.pdmIn && header->pdmOut == given.pdmOut &&
              header->fMode == given.fMode && header->cbSize == given.cbSize,
          "the header changed");
  session.Finish();
  return 0;
}
