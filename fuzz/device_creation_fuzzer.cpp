// Device creation from any device mode and any device name: the device is
// created from the defaults plus what the merge takes over, or refused
// cleanly, and nothing outside the caller's records is touched.
//
// Input: a fault byte (bits 0-2: fail the k-th allocation; bits 3-4: fail
// the k-th bitmap or palette; bit 7: no device mode), Le16 cjCaps and Le16
// cjDevInfo (0xFFFF: 0xFFFFFFFF), Le16 name length (mod 1024) and its
// units, then the device mode's bytes.
//
// The engine hands over a device mode as long as its header claims,
// dmSize + dmDriverExtra bytes, and never one shorter than that 72-byte
// header. So the record is placed at the end of a buffer of exactly that
// length, the input's bytes first, cut to it or padded with zeros: the
// driver may read every byte the caller claims and not one more. The
// buffer is rounded up to the record's alignment, as every engine block
// is, and the bytes of that rounding are poisoned.
#include <cstring>

#include "fuzz/caller_devmode.h"
#include "fuzz/contract.h"

namespace {

using fuzz::CallerDevMode;
using fuzz::Le16At;
using fuzz::PlaceName;

constexpr size_t kFieldsEnd = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
constexpr int kDpi = 203;

ULONG RecordSize(uint16_t value) { return value == 0xFFFF ? 0xFFFFFFFFu : value; }

// A public setting is taken over when the caller announces it, its dmSize
// holds it, and it lies within the default record's limits.
int Merged(const uint8_t* dm, DWORD field, size_t offset, int lo, int hi, int fallback) {
  const std::vector<uint8_t> header(dm, dm + kFieldsEnd);
  const size_t size = Le16At(header, offsetof(DEVMODEW, dmSize));
  if (size < kFieldsEnd || offset + sizeof(SHORT) > size) return fallback;
  DWORD fields;
  std::memcpy(&fields, dm + offsetof(DEVMODEW, dmFields), sizeof fields);
  SHORT value;
  std::memcpy(&value, dm + offset, sizeof value);
  if ((fields & field) == 0 || value < lo || value > hi) return fallback;
  return value;
}

ULONG Pixels(int tenths_of_mm) { return static_cast<ULONG>((tenths_of_mm * kDpi + 127) / 254); }

void RequirePage(const fuzz::Device& device, const CallerDevMode* devmode) {
  if (device.gdiinfo.size() < offsetof(GDIINFO, ulVertRes) + sizeof(ULONG)) return;
  int width = 3779, length = 2794;
  if (devmode != nullptr && devmode->size() >= kFieldsEnd) {
    width =
        Merged(devmode->data(), DM_PAPERWIDTH, offsetof(DEVMODEW, dmPaperWidth), 1, 2032, width);
    length =
        Merged(devmode->data(), DM_PAPERLENGTH, offsetof(DEVMODEW, dmPaperLength), 3, 9999, length);
  }
  GDIINFO gdi;
  std::memcpy(&gdi, device.gdiinfo.data(), offsetof(GDIINFO, ulVertRes) + sizeof(ULONG));
  fuzz::Require(gdi.ulHorzRes == Pixels(width), "page width is not the merged paper width");
  fuzz::Require(gdi.ulVertRes == Pixels(length), "page height is not the merged paper length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t faults = in.Byte();
  const ULONG cjCaps = RecordSize(in.Le16());
  const ULONG cjDevInfo = RecordSize(in.Le16());
  const auto name = PlaceName(in);
  const std::vector<uint8_t> bytes = in.Rest();
  const auto devmode = faults & 0x80 ? nullptr : std::make_unique<CallerDevMode>(bytes);

  fuzz::Session session;
  host::Checker& checker = host::Checker::Get();
  checker.pool.faults().FailNth(faults & 7);
  checker.handles.failed_creates().FailNth((faults >> 3) & 3);
  fuzz::Device device = fuzz::EnableDevice(devmode ? devmode->devmode() : nullptr,
                                           reinterpret_cast<const char16_t*>(name->data()),
                                           session.printer(), cjCaps, cjDevInfo);
  const bool injected =
      checker.pool.faults().Failures() != 0 || checker.handles.failed_creates().Failures() != 0;
  fuzz::Require(device.created || checker.pool.faults().Failures() != 0,
                "DrvEnablePDEV failed although nothing failed");
  fuzz::Require(device.ok() || injected, "DrvEnableSurface failed although nothing failed");
  if (device.created) RequirePage(device, devmode.get());
  fuzz::DisableDevice(device);
  session.Finish();
  return 0;
}
