// The kernel debugger behind EngDebugPrint: messages are formatted with the
// platform's printf conventions (long is 32 bits) and delivered line by line
// to a sink. With no sink set nothing is formatted.
#pragma once

#include <cstdarg>
#include <cstdio>
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
  Sink sink() const { return sink_; }

  // Inline, so that with no sink a trace call costs a comparison.
  void Print(const char* prefix, const char* format, va_list ap) {
    if (sink_ != Sink::kNone) Format(prefix, format, ap);
  }

  // Text that carries its own line feeds, as a user-mode debugger gets it.
  void Write(std::string_view text);

  const std::vector<std::string>& lines() const { return lines_; }
  std::vector<std::string> TakeLines() { return std::exchange(lines_, {}); }
  void Reset();

 private:
  void Format(const char* prefix, const char* format, va_list ap);
  static constexpr size_t kStreamBlock = 1 << 16;
  void EmitCompleteLines(size_t from);
  void WriteCompleteLines();
  void KeepLines(std::string_view complete);
  Sink sink_ = Sink::kMemory;
  FILE* stream_ = nullptr;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace host
