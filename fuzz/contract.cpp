#include "fuzz/contract.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devmode/drv_devmode.h"
#include "driver/functions.h"

namespace fuzz {

namespace {

constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanary = 0xCD;
constexpr size_t kMaxGlyphs = 2048;
// No pool hands out a block this large; such counts must fail cleanly.
constexpr uint32_t kHugeCount = 0x00100000;
constexpr uint8_t kGlyphIndexOffset = 29;
constexpr uint16_t kSmallPaper = 100;  // tenths of a millimetre

host::Engine& engine() { return host::Engine::Get(); }
host::Checker& checker() { return host::Checker::Get(); }

// Every fuzzer checks through the checked engine, from before its first block.
const bool kChecked = (engine().SwitchOnChecker(), true);

std::vector<uint8_t> BytesOf(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return {bytes, bytes + size};
}

bool IsPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// The engine's counters around one driver call.
class Watch {
 public:
  explicit Watch(const std::vector<uint8_t>& printed)
      : printed_(printed),
        before_(printed.size()),
        writes_(checker().spooler.Writes()),
        pool_failures_(checker().pool.faults().Failures()),
        write_failures_(checker().spooler.failed_writes().Failures()),
        short_writes_(checker().spooler.short_writes().Failures()),
        live_blocks_(checker().pool.LiveBlocks()) {}

  std::vector<uint8_t> delivered() const { return {printed_.begin() + before_, printed_.end()}; }
  uint64_t engine_writes() const { return checker().spooler.Writes() - writes_; }
  bool shortened() const { return checker().spooler.short_writes().Failures() != short_writes_; }
  bool injected() const {
    return shortened() || checker().pool.faults().Failures() != pool_failures_ ||
           checker().spooler.failed_writes().Failures() != write_failures_;
  }
  bool blocks_unchanged() const { return checker().pool.LiveBlocks() == live_blocks_; }

 private:
  const std::vector<uint8_t>& printed_;
  size_t before_;
  uint64_t writes_, pool_failures_, write_failures_, short_writes_;
  size_t live_blocks_;
};

HDEV NextDeviceHandle() {
  static uintptr_t next = 0x9000;
  next += 4;
  return reinterpret_cast<HDEV>(next);
}

void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void CheckQuietCall(const char* what, BOOL result, const Watch& watch) {
  Require(result == TRUE, what);
  Require(watch.delivered().empty() && watch.engine_writes() == 0, what);
}

}  // namespace

void Fail(const std::string& what) {
  std::fprintf(stderr, "contract broken: %s\n", what.c_str());
  std::abort();
}

const host::Driver& LoadedDriver() {
  static const host::Driver driver(&DrvEnableDriver);
  Require(driver.loaded(), "DrvEnableDriver refused the engine");
  return driver;
}

Session::Session() : sink_(std::make_shared<host::MemorySink>()) {
  engine().Reset();
  printer_ = engine().spooler.Open(sink_);
}

void Session::Finish() {
  engine().spooler.Close(printer_);
  const std::string live = engine().LiveReport();
  if (!live.empty()) Fail("left behind: " + live);
}

EngineRecord::EngineRecord(ULONG cj, size_t record_bytes)
    : cj_(cj),
      written_(std::min<size_t>(cj, record_bytes)),
      bytes_(written_ + kCanaryBytes, kCanary) {}

void EngineRecord::RequireCanaries(const char* what) const {
  for (size_t i = written_; i < bytes_.size(); ++i) Require(bytes_[i] == kCanary, what);
}

bool EngineRecord::Untouched() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t byte) { return byte == kCanary; });
}

size_t GdiInfoBytes() { return offsetof(GDIINFO, ulPanningVertRes) + sizeof(ULONG); }
size_t DevInfoBytes() { return offsetof(DEVINFO, hpalDefault) + sizeof(HPALETTE); }

Device EnableDevice(const DEVMODEW* pdm, const char16_t* name, HANDLE printer, ULONG cjCaps,
                    ULONG cjDevInfo) {
  const host::Driver& driver = LoadedDriver();
  EngineRecord caps(cjCaps, GdiInfoBytes());
  EngineRecord info(cjDevInfo, DevInfoBytes());
  const HDEV hdev = NextDeviceHandle();
  Device device;
  device.dhpdev =
      driver.EnablePDEV(const_cast<DEVMODEW*>(pdm), caps.cj(), static_cast<GDIINFO*>(caps.data()),
                        info.cj(), static_cast<DEVINFO*>(info.data()), hdev,
                        reinterpret_cast<LPWSTR>(const_cast<char16_t*>(name)), printer);
  caps.RequireCanaries("GDIINFO written beyond the size given");
  info.RequireCanaries("DEVINFO written beyond the size given");
  if (device.dhpdev == nullptr) {
    Require(caps.Untouched() && info.Untouched(), "a failed creation wrote GDIINFO or DEVINFO");
    return device;
  }
  device.created = true;
  device.gdiinfo = caps.Written();
  driver.CompletePDEV(device.dhpdev, hdev);
  device.so.hsurf = driver.EnableSurface(device.dhpdev);
  if (device.so.hsurf == nullptr) {
    driver.DisablePDEV(device.dhpdev);
    device.dhpdev = nullptr;
    return device;
  }
  device.so.dhpdev = device.dhpdev;
  device.so.hdev = hdev;
  return device;
}

void DisableDevice(Device& device) {
  if (device.dhpdev == nullptr) return;
  LoadedDriver().DisableSurface(device.dhpdev);
  LoadedDriver().DisablePDEV(device.dhpdev);
  device.dhpdev = nullptr;
  device.so = SURFOBJ{};
}

std::vector<uint8_t> DriverDevMode(uint8_t line_terminator, uint8_t form_feed) {
  std::vector<uint8_t> bytes(sizeof(DrvDevMode), 0);
  PutLe16(bytes, offsetof(DEVMODEW, dmSpecVersion), DM_SPECVERSION);
  PutLe16(bytes, offsetof(DEVMODEW, dmDriverVersion), DRV_DRIVER_VERSION);
  PutLe16(bytes, offsetof(DEVMODEW, dmSize), sizeof(DEVMODEW));
  PutLe16(bytes, offsetof(DEVMODEW, dmDriverExtra), DRV_DRIVER_EXTRA);
  const DWORD fields = DM_PAPERLENGTH | DM_PAPERWIDTH;
  std::memcpy(&bytes[offsetof(DEVMODEW, dmFields)], &fields, sizeof fields);
  PutLe16(bytes, offsetof(DEVMODEW, dmPaperLength), kSmallPaper);
  PutLe16(bytes, offsetof(DEVMODEW, dmPaperWidth), kSmallPaper);
  bytes[offsetof(DrvDevMode, byLineTerminator)] = line_terminator;
  bytes[offsetof(DrvDevMode, byFormFeed)] = form_feed;
  return bytes;
}

std::vector<uint8_t> TerminatorBytes(uint8_t mode) {
  switch (mode) {
    case 1:
      return {0x0D, 0x0A};
    case 2:
      return {0x0D};
    case 3:
      return {0x0A};
    default:
      return {};
  }
}

TextCase::TextCase(Input& in) {
  const uint8_t kind = in.Byte();
  STROBJ* s = stro();
  // Bits 4-7 stand for flags the driver has no use for.
  s->flAccel = (kind & 4 ? SO_GLYPHINDEX_TEXTOUT : 0) | (kind & 0xF0);
  const uint32_t huge_count = kind & 8 ? in.Le32() | kHugeCount : 0;
  if ((kind & 3) == 2) {
    BuildEnumeration(in);
  } else {
    const ULONG count = in.Le16() % (kMaxGlyphs + 1);
    if ((kind & 3) != 1) BuildString(in, count);
    if ((kind & 3) != 0) BuildGlyphs(in, count);
  }
  if (huge_count != 0) {
    s->cGlyphs = huge_count;
    huge_ = must_refuse_ = true;
  }
  stro_copy_ = BytesOf(s, sizeof(STROBJ));
}

void TextCase::BuildString(Input& in, ULONG count) {
  string_ = std::make_unique<host::GuardedBuffer>(count * sizeof(WCHAR));
  for (ULONG i = 0; i < count; ++i) {
    const uint16_t unit = in.Le16();
    std::memcpy(string_->data() + i * sizeof(WCHAR), &unit, sizeof unit);
  }
  string_copy_ = BytesOf(string_->data(), string_->size());
  stro()->pwszOrg = reinterpret_cast<LPWSTR>(string_->data());
  stro()->cGlyphs = count;
  from_string_ = true;
}

void TextCase::BuildGlyphs(Input& in, ULONG count) {
  glyphs_ = std::make_unique<host::GuardedBuffer>(count * sizeof(GLYPHPOS));
  auto* pgp = reinterpret_cast<GLYPHPOS*>(glyphs_->data());
  for (ULONG i = 0; i < count; ++i) {
    pgp[i] = GLYPHPOS{};
    pgp[i].hg = in.Le32();
    pgp[i].ptl = {static_cast<LONG>(i) * 8, 0};
  }
  glyphs_copy_ = BytesOf(glyphs_->data(), glyphs_->size());
  stro()->pgp = pgp;
  stro()->cGlyphs = count;
}

void TextCase::BuildEnumeration(Input& in) {
  const ULONG cGlyphs = in.Le16() % (2 * kMaxGlyphs + 1);
  std::vector<HGLYPH> glyphs(in.Le16() % (kMaxGlyphs + 1));
  for (HGLYPH& hg : glyphs) hg = in.Le16();
  const uint8_t shape = in.Byte();
  std::vector<ULONG> batches(shape & 0x7F);
  for (ULONG& batch : batches) batch = in.Byte();
  const uint8_t ddi_error = in.Byte();
  const FLONG flAccel = stro()->flAccel;
  text_.SetEnumeration(glyphs, batches);
  stro()->flAccel = flAccel;
  stro()->cGlyphs = cGlyphs;
  if (shape & 0x80) text_.AnswerTrueForever();
  if (ddi_error != 0) text_.AnswerDdiErrorAt(ddi_error - 1u);

  // What a run to the end delivers: no batches stands for one of everything.
  if (batches.empty()) batches.push_back(static_cast<ULONG>(glyphs.size()));
  size_t next = 0;
  for (ULONG batch : batches) {
    const size_t take = std::min<size_t>(batch, glyphs.size() - next);
    for (size_t i = 0; i < take; ++i) enumerated_.push_back(static_cast<uint8_t>(glyphs[next + i]));
    next += take;
  }
  if (enumerated_.size() > cGlyphs) enumerated_.resize(cGlyphs);
  if (cGlyphs == 0) return;
  must_refuse_ = (shape & 0x80) != 0 || (ddi_error != 0 && ddi_error - 1u < batches.size());
  // A sound engine needs no more calls than glyphs.
  may_refuse_ = batches.size() > cGlyphs + 1;
}

std::vector<uint8_t> TextCase::Expected(uint8_t line_terminator) const {
  STROBJ s;
  std::memcpy(&s, stro_copy_.data(), sizeof s);
  const ULONG cGlyphs = s.cGlyphs;
  if (cGlyphs == 0) return {};
  const bool glyph_index = (s.flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
  const uint8_t offset = glyph_index ? kGlyphIndexOffset : 0;
  std::vector<uint8_t> bytes;
  if (from_string_) {
    std::vector<char16_t> units(cGlyphs);
    std::memcpy(units.data(), string_copy_.data(), cGlyphs * sizeof(char16_t));
    if (glyph_index) {
      for (char16_t& unit : units) unit = static_cast<char16_t>(unit + kGlyphIndexOffset);
    }
    bytes.resize(cGlyphs);
    const uint32_t produced = engine().code_page.Convert(reinterpret_cast<char*>(bytes.data()),
                                                         cGlyphs, units.data(), cGlyphs);
    bytes.resize(produced);
  } else if (glyphs_ != nullptr) {
    const auto* pgp = reinterpret_cast<const GLYPHPOS*>(glyphs_copy_.data());
    for (ULONG i = 0; i < cGlyphs; ++i) bytes.push_back(static_cast<uint8_t>(pgp[i].hg + offset));
  } else {
    for (uint8_t byte : enumerated_) bytes.push_back(static_cast<uint8_t>(byte + offset));
  }
  const std::vector<uint8_t> terminator = TerminatorBytes(line_terminator);
  bytes.insert(bytes.end(), terminator.begin(), terminator.end());
  return bytes;
}

void TextCase::RequireUnchanged() const {
  Require(stro_copy_ == BytesOf(text_.stro(), sizeof(STROBJ)), "DrvTextOut changed the STROBJ");
  if (string_ != nullptr) {
    Require(string_copy_ == BytesOf(string_->data(), string_->size()),
            "DrvTextOut changed the engine's string");
  }
  if (glyphs_ != nullptr) {
    Require(glyphs_copy_ == BytesOf(glyphs_->data(), glyphs_->size()),
            "DrvTextOut changed the engine's glyph positions");
  }
}

BOOL CheckTextOut(Device& device, TextCase& text, uint8_t line_terminator,
                  const std::vector<uint8_t>& printed) {
  const host::Driver& driver = LoadedDriver();
  const Watch watch(printed);
  BOOL result;
  if (text.huge()) {
    const host::FaultPlan plan = checker().pool.faults();
    checker().pool.faults().FailAll();
    result = driver.TextOut(&device.so, text.stro());
    checker().pool.faults() = plan;
  } else {
    result = driver.TextOut(&device.so, text.stro());
  }
  text.RequireUnchanged();
  Require(watch.blocks_unchanged(), "DrvTextOut left a block behind");
  const std::vector<uint8_t> got = watch.delivered();
  const ULONG cGlyphs = text.stro()->cGlyphs;
  Require(got.size() <= uint64_t{cGlyphs} + TerminatorBytes(line_terminator).size(),
          "more than cGlyphs text bytes and the terminator");
  if (text.must_refuse()) {
    Require(result == FALSE, "DrvTextOut accepted text it cannot send");
    Require(got.empty() && watch.engine_writes() == 0, "a refused call wrote");
    return result;
  }
  const std::vector<uint8_t> expected = text.Expected(line_terminator);
  Require(IsPrefix(got, expected), "DrvTextOut sent bytes other than the text's");
  if (result == TRUE) {
    Require(got == expected, "TRUE although not every byte was written");
    const uint64_t writes = cGlyphs == 0 ? 0 : 1;
    Require(watch.shortened() || watch.engine_writes() == writes, "not exactly one write");
    return result;
  }
  Require(result == FALSE, "DrvTextOut answered neither TRUE nor FALSE");
  Require(watch.injected() || text.may_refuse(), "FALSE although nothing failed");
  Require(watch.injected() || got.empty(), "a refused call wrote");
  return result;
}

BOOL CheckEndDoc(Device& device, FLONG fl, uint8_t form_feed, const std::vector<uint8_t>& printed) {
  const Watch watch(printed);
  const BOOL result = LoadedDriver().EndDoc(&device.so, fl);
  Require(watch.blocks_unchanged(), "DrvEndDoc left a block behind");
  if (form_feed != 1) {
    CheckQuietCall("DrvEndDoc without a form feed must write nothing and succeed", result, watch);
    return result;
  }
  if (result == TRUE) {
    Require(watch.delivered() == std::vector<uint8_t>{0x0C}, "TRUE without the form feed");
    Require(watch.shortened() || watch.engine_writes() == 1, "not exactly one write");
    return result;
  }
  Require(result == FALSE && watch.injected(), "DrvEndDoc failed although nothing failed");
  Require(watch.delivered().empty(), "FALSE although the form feed was written");
  return result;
}

void CheckStartDoc(Device& device, const std::vector<uint8_t>& printed) {
  const Watch watch(printed);
  static char16_t name[] = u"fuzz";
  const BOOL result = LoadedDriver().StartDoc(&device.so, reinterpret_cast<LPWSTR>(name), 1);
  CheckQuietCall("DrvStartDoc must write nothing and succeed", result, watch);
}

void CheckStartPage(Device& device, const std::vector<uint8_t>& printed) {
  const Watch watch(printed);
  CheckQuietCall("DrvStartPage must write nothing and succeed",
                 LoadedDriver().StartPage(&device.so), watch);
}

void CheckSendPage(Device& device, const std::vector<uint8_t>& printed) {
  const Watch watch(printed);
  CheckQuietCall("DrvSendPage must write nothing and succeed", LoadedDriver().SendPage(&device.so),
                 watch);
}

}  // namespace fuzz
