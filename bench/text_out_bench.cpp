// DrvTextOut through the driver's function table, by each way the engine
// hands over text, against the bare relay of the same bytes: the text with
// its CR LF appended to the same spool sink, without the driver. One device
// creation and release is timed too. bench/text-out-table turns a run into
// ratios against the bare relay.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/functions.h"
#include "host/engine.h"
#include "host/runner.h"
#include "tools/settings.h"

namespace {

constexpr char16_t kDeviceName[] = u"bench";
constexpr BYTE kCrLf = 1;
// Trace lines kept in memory are dropped this often, so memory stays bounded.
constexpr uint64_t kTraceClearInterval = 4096;

enum class Gather { kString, kGlyphPos, kEnumeration };
enum class TraceSink { kOff, kMemory };

// The sink behind the printer: bytes gathered as a spool file's writes are,
// dropped each time a megabyte has arrived.
class BoundedSink : public host::SpoolSink {
 public:
  bool Write(const uint8_t* bytes, size_t count) override {
    if (bytes_.size() + count > kLimit) bytes_.clear();
    bytes_.insert(bytes_.end(), bytes, bytes + count);
    return true;
  }

 private:
  static constexpr size_t kLimit = 1 << 20;
  std::vector<uint8_t> bytes_;
};

void SetTrace(TraceSink sink) {
  host::Trace& trace = host::Engine::Get().trace;
  if (sink == TraceSink::kOff) {
    trace.Discard();
    return;
  }
  trace.KeepInMemory();
}

// Printable ASCII, so every gathering way yields the same bytes.
std::string Characters(size_t count) {
  std::string text(count, ' ');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>('!' + i % 94);
  return text;
}

// A fresh engine, a printer on a BoundedSink, and a device printing CR LF
// after every line, with a document and a page open.
class Printer {
 public:
  explicit Printer(TraceSink trace)
      : devmode_(textrelay::BuildCallerDevMode({.line_terminator = kCrLf}, kDeviceName)) {
    host::Engine::Get().Reset();
    SetTrace(trace);
    handle_ = host::Engine::Get().spooler.Open(sink_);
  }
  ~Printer() {
    host::Engine::Get().spooler.Close(handle_);
    host::Engine::Get().Reset();
  }
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  const host::Driver& driver() const { return driver_; }
  const DEVMODEW* devmode() const { return devmode_.dm(); }
  HANDLE handle() const { return handle_; }
  host::SpoolSink& sink() { return *sink_; }

 private:
  host::Driver driver_{&DrvEnableDriver};
  textrelay::CallerDevMode devmode_;
  std::shared_ptr<BoundedSink> sink_ = std::make_shared<BoundedSink>();
  HANDLE handle_ = nullptr;
};

void ClearTraceNow(uint64_t calls) {
  if (calls % kTraceClearInterval == 0) host::Engine::Get().trace.TakeLines();
}

void FillText(host::TextObject& text, Gather gather, const std::string& bytes) {
  if (gather == Gather::kString) {
    text.SetString(std::u16string(bytes.begin(), bytes.end()));
    return;
  }
  std::vector<HGLYPH> glyphs(bytes.begin(), bytes.end());
  if (gather == Gather::kGlyphPos) {
    text.SetGlyphs(std::move(glyphs));
    return;
  }
  text.SetEnumeration(std::move(glyphs));
}

void Baseline(benchmark::State& state) {
  Printer printer(TraceSink::kOff);
  const std::string text = Characters(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> buffer(text.size() + 2);
  for (auto _ : state) {
    std::memcpy(buffer.data(), text.data(), text.size());
    buffer[text.size()] = 0x0D;
    buffer[text.size() + 1] = 0x0A;
    printer.sink().Write(buffer.data(), buffer.size());
    benchmark::ClobberMemory();
  }
}

void TextOut(benchmark::State& state, Gather gather) {
  Printer printer(static_cast<TraceSink>(state.range(1)));
  host::Device device(printer.driver(), printer.devmode(), kDeviceName, printer.handle());
  if (!device.ok() || !device.StartDoc() || !device.StartPage()) {
    state.SkipWithError("the driver did not start a page");
    return;
  }
  host::TextObject text;
  FillText(text, gather, Characters(static_cast<size_t>(state.range(0))));
  uint64_t calls = 0;
  for (auto _ : state) {
    if (!device.Text(text)) {
      state.SkipWithError("DrvTextOut failed");
      break;
    }
    ClearTraceNow(++calls);
  }
  device.SendPage();
  device.EndDoc();
}

void DeviceLife(benchmark::State& state) {
  Printer printer(static_cast<TraceSink>(state.range(0)));
  uint64_t devices = 0;
  for (auto _ : state) {
    host::Device device(printer.driver(), printer.devmode(), kDeviceName, printer.handle());
    if (!device.ok()) {
      state.SkipWithError("the driver did not create the device");
      break;
    }
    device.Release();
    ClearTraceNow(++devices);
  }
}

const std::vector<int64_t> kCharacters = {10, 80, 1000};
const std::vector<int64_t> kTraceSinks = {static_cast<int64_t>(TraceSink::kOff),
                                          static_cast<int64_t>(TraceSink::kMemory)};

BENCHMARK(Baseline)->ArgsProduct({kCharacters})->ArgNames({"chars"});
BENCHMARK_CAPTURE(TextOut, string, Gather::kString)
    ->ArgsProduct({kCharacters, kTraceSinks})
    ->ArgNames({"chars", "trace"});
BENCHMARK_CAPTURE(TextOut, glyphpos, Gather::kGlyphPos)
    ->ArgsProduct({kCharacters, kTraceSinks})
    ->ArgNames({"chars", "trace"});
BENCHMARK_CAPTURE(TextOut, enumeration, Gather::kEnumeration)
    ->ArgsProduct({kCharacters, kTraceSinks})
    ->ArgNames({"chars", "trace"});
BENCHMARK(DeviceLife)->ArgsProduct({kTraceSinks})->ArgNames({"trace"});

}  // namespace

BENCHMARK_MAIN();
