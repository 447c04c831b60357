// The kernel debugger behind EngDebugPrint: messages are formatted with the
// platform's printf conventions (long is 32 bits) and delivered line by line
// to a sink. With no sink set nothing is formatted. Any thread may print:
// each thread's text gathers on its own until a line is complete, so lines
// of several threads never mix.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// The arguments of the platform's va_list, which a loaded DLL hands over:
// one pointer-sized slot each, two for a 64-bit value on 32-bit x86.
struct PlatformArgs {
  const char* next;
};

// The platform's printf, appended to out: %d %i %u %x %X %c %s %p %%,
// flags, width and precision (also as *), and the l (32-bit) and ll
// (64-bit) lengths; the arguments behind this build's va_list or the
// platform's.
void AppendPlatform(std::string& out, const char* format, va_list ap);
void AppendPlatform(std::string& out, const char* format, PlatformArgs ap);

class Trace {
 public:
  enum class Sink { kNone, kMemory, kStream };

  // Each ends the sink before it: a stream is given its complete lines.
  void KeepInMemory();             // lines() collects every line
  void WriteTo(FILE* stream);      // each line with its line feed, in blocks
  void Discard();                  // nothing is formatted
  Sink sink() const { return sink_.load(std::memory_order_relaxed); }

  // Inline, so that with no sink a trace call costs a comparison.
  void Print(const char* prefix, const char* format, va_list ap) {
    if (sink() != Sink::kNone) Format(prefix, format, ap);
  }

  // Text that carries its own line feeds, as a user-mode debugger gets it.
  void Write(std::string_view text);

  // Not while other threads print.
  const std::vector<std::string>& lines() const { return lines_; }
  std::vector<std::string> TakeLines();
  void Reset();  // the calling thread's unfinished line goes too

 private:
  void Format(const char* prefix, const char* format, va_list ap);
  static constexpr size_t kStreamBlock = 1 << 16;
  void EmitCompleteLines(size_t from);
  void Take(std::string_view complete);
  void WriteBlock();
  std::atomic<Sink> sink_ = Sink::kMemory;
  FILE* stream_ = nullptr;
  std::mutex mutex_;  // lines_, block_ and the order of lines on stream_
  std::string block_;  // complete lines not yet written to stream_
  std::vector<std::string> lines_;
};

}  // namespace host
