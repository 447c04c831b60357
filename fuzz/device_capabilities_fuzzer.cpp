// DrvDeviceCapabilities as DeviceCapabilities reaches it from any
// application: every index, with any record or none. Each index is asked
// twice, as callers do: first for the count, then with a buffer of exactly
// that many entries, against an inaccessible page. Both answers agree, and
// an index that lists nothing writes nothing.
//
// Input: a flags byte (bit 0: no record, bits 1-3: fail the k-th
// allocation), Le16 iDevCap, the printer name (Le16 length and units), then
// the record's bytes.
#include <algorithm>

#include "fuzz/caller_devmode.h"
#include "fuzz/contract.h"
#include "ui/printui.h"

namespace {

using fuzz::Require;

// The bytes of one entry of each index that lists; 0 for a value alone.
struct Index {
  WORD index;
  size_t entry_bytes;
  bool names;  // entries are NUL-terminated names
};
constexpr Index kIndexes[] = {
    {DC_FIELDS, 0, false},       {DC_PAPERS, 2, false},           {DC_PAPERSIZE, 8, false},
    {DC_MINEXTENT, 0, false},    {DC_MAXEXTENT, 0, false},        {DC_BINS, 2, false},
    {DC_DUPLEX, 0, false},       {DC_SIZE, 0, false},             {DC_EXTRA, 0, false},
    {DC_VERSION, 0, false},      {DC_DRIVER, 0, false},           {DC_BINNAMES, 48, true},
    {DC_ENUMRESOLUTIONS, 8, false}, {DC_FILEDEPENDENCIES, 128, true}, {DC_TRUETYPE, 0, false},
    {DC_PAPERNAMES, 128, true},  {DC_ORIENTATION, 0, false},      {DC_COPIES, 0, false},
    {DC_COLLATE, 0, false},      {DC_PERSONALITY, 64, true},      {DC_MEDIAREADY, 128, true},
    {DC_STAPLE, 0, false},       {DC_COLORDEVICE, 0, false},      {DC_NUP, 4, false},
    {DC_MEDIATYPENAMES, 128, true}, {DC_MEDIATYPES, 4, false},
};
constexpr DWORD kMostEntries = 64;

const Index* Find(WORD index) {
  for (const Index& known : kIndexes) {
    if (known.index == index) return &known;
  }
  return nullptr;
}

void RequireNames(const host::GuardedBuffer& buffer, size_t entry_bytes) {
  for (size_t at = 0; at < buffer.size(); at += entry_bytes) {
    const uint8_t* entry = buffer.data() + at;
    bool ended = false;
    for (size_t i = 0; i + 1 < entry_bytes && !ended; i += 2) ended = entry[i] == 0 && entry[i + 1] == 0;
    Require(ended, "a name fills its entry without its NUL");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const WORD index = in.Le16();
  const auto name = fuzz::PlaceName(in);
  const std::vector<uint8_t> bytes = in.Rest();

  fuzz::Session session;
  host::Checker& checker = host::Checker::Get();
  checker.pool.faults().FailNth((flags >> 1) & 7);
  auto record = flags & 1 ? nullptr : std::make_unique<fuzz::CallerDevMode>(bytes);
  const std::vector<uint8_t> record_before = record ? record->bytes() : std::vector<uint8_t>{};
  PWSTR device = reinterpret_cast<PWSTR>(name->data());
  DEVMODEW* pdm = record ? record->devmode() : nullptr;

  const DWORD count = DrvDeviceCapabilities(nullptr, device, index, nullptr, pdm);
  const uint64_t failures = checker.pool.faults().Failures();
  const Index* known = Find(index);
  // A record shorter than its own header is refused for every index.
  const bool short_record = pdm != nullptr && pdm->dmSize < fuzz::kHeaderBytes;
  if (known == nullptr || short_record) {
    Require(count == GDI_ERROR, "an unknown index or a short record answered");
  }
  Require(count != GDI_ERROR || known == nullptr || short_record || failures != 0,
          "a known index failed");
  if (known != nullptr && count != GDI_ERROR) {
    const size_t entries = known->entry_bytes == 0 ? 0 : std::min(count, kMostEntries);
    host::GuardedBuffer output(entries * known->entry_bytes);
    const DWORD again = DrvDeviceCapabilities(nullptr, device, index, output.data(), pdm);
    const bool failed_again = checker.pool.faults().Failures() != failures;
    Require(again == count || (again == GDI_ERROR && failed_again),
            "the answer with a buffer differs from the count");
    if (known->names && again == count) RequireNames(output, known->entry_bytes);
  }
  if (record) Require(record->bytes() == record_before, "the caller's record changed");
  session.Finish();
  return 0;
}
