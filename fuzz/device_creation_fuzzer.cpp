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
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>

#include "fuzz/contract.h"

namespace {

constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);
constexpr size_t kFieldsEnd = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
constexpr int kDpi = 203;

uint16_t Le16At(const std::vector<uint8_t>& bytes, size_t offset) {
  return offset + 2 <= bytes.size() ? static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8)
                                    : 0;
}

// The caller's record: size bytes against the guard page, aligned.
class CallerDevMode {
 public:
  explicit CallerDevMode(const std::vector<uint8_t>& input)
      : size_(ClaimedSize(input)),
        buffer_((size_ + kAlign - 1) / kAlign * kAlign) {
    std::memset(buffer_.data(), 0, buffer_.size());
    std::copy_n(input.begin(), std::min(input.size(), size_), buffer_.data());
    ASAN_POISON_MEMORY_REGION(buffer_.data() + size_, buffer_.size() - size_);
  }
  ~CallerDevMode() { ASAN_UNPOISON_MEMORY_REGION(buffer_.data(), buffer_.size()); }
  CallerDevMode(const CallerDevMode&) = delete;
  CallerDevMode& operator=(const CallerDevMode&) = delete;

  const uint8_t* data() const { return buffer_.data(); }
  size_t size() const { return size_; }
  const DEVMODEW* devmode() const { return reinterpret_cast<const DEVMODEW*>(data()); }

 private:
  // Read from the header as the driver will see it: a short input is
  // padded with zeros, so a half-present dmSize counts only its first byte.
  static size_t ClaimedSize(std::vector<uint8_t> header) {
    if (header.size() < kHeaderBytes) header.resize(kHeaderBytes, 0);
    return std::max(kHeaderBytes, size_t{Le16At(header, offsetof(DEVMODEW, dmSize))} +
                                      Le16At(header, offsetof(DEVMODEW, dmDriverExtra)));
  }

  static constexpr size_t kAlign = alignof(DEVMODEW);
  size_t size_;
  host::GuardedBuffer buffer_;
};

// A NUL-terminated name that ends where its buffer ends.
std::unique_ptr<host::GuardedBuffer> PlaceName(fuzz::Input& in) {
  const size_t units = in.Le16() % 1024;
  auto buffer = std::make_unique<host::GuardedBuffer>((units + 1) * sizeof(char16_t));
  for (size_t i = 0; i <= units; ++i) {
    const uint16_t unit = i < units ? in.Le16() : 0;
    std::memcpy(buffer->data() + i * sizeof unit, &unit, sizeof unit);
  }
  return buffer;
}

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
  host::Engine& engine = host::Engine::Get();
  engine.pool.faults().FailNth(faults & 7);
  engine.handles.failed_creates().FailNth((faults >> 3) & 3);
  fuzz::Device device = fuzz::EnableDevice(devmode ? devmode->devmode() : nullptr,
                                           reinterpret_cast<const char16_t*>(name->data()),
                                           session.printer(), cjCaps, cjDevInfo);
  const bool injected =
      engine.pool.faults().Failures() != 0 || engine.handles.failed_creates().Failures() != 0;
  fuzz::Require(device.created || engine.pool.faults().Failures() != 0,
                "DrvEnablePDEV failed although nothing failed");
  fuzz::Require(device.ok() || injected, "DrvEnableSurface failed although nothing failed");
  if (device.created) RequirePage(device, devmode.get());
  fuzz::DisableDevice(device);
  session.Finish();
  return 0;
}
