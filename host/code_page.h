// The system's ANSI code page behind EngUnicodeToMultiByteN, by iconv name.
// Characters the code page cannot hold become its default character, '?',
// and are counted. Where each ASCII character is its own byte, runs of ASCII
// are copied across; single-byte code pages convert the rest through a
// table. Each is set up when a job first needs it, not when the code page
// is chosen, so a job of ASCII alone never builds the table. Convert may be
// called from several threads; choosing the code page may not overlap with
// it.
#pragma once

#include <iconv.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/ascii_runs.h"

namespace host {

class CodePage {
 public:
  CodePage() = default;  // WINDOWS-1252
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // False, with the current code page kept, when iconv does not know name.
  bool Select(const std::string& name);
  const std::string& name() const { return name_; }

  // Converts units UTF-16 code units; never writes more than max bytes and
  // never a partial character. Returns the bytes produced.
  uint32_t Convert(char* out, uint32_t max, const char16_t* in, uint32_t units);

  // The whole of a conversion of ASCII alone where the code page keeps
  // ASCII as it is: most lines, and inline for them. False, with nothing
  // decided, when in holds more than ASCII or the code page has not been
  // looked at yet; Convert then does it all.
  bool ConvertAscii(char* out, uint32_t max, const char16_t* in, uint32_t units,
                    uint32_t* produced) {
    if (known_.load(std::memory_order_acquire) == Known::kNothing || !ascii_kept_) return false;
    const uint32_t copied = NarrowAsciiPrefix(out, max, in, units);
    if (copied != units && copied != max) return false;
    *produced = copied;
    return true;
  }

  uint64_t replaced() const { return replaced_.load(std::memory_order_relaxed); }
  void ResetCounts() { replaced_ = 0; }

 private:
  enum class Known { kNothing, kAscii, kAll };
  static constexpr char kDefaultChar = '?';
  iconv_t Converter();
  bool KeepsAscii();
  void LearnAscii();
  void LearnAll();
  int Encode(const char16_t* in, size_t units, char* out, size_t max);
  uint32_t ConvertByIconv(char* out, uint32_t max, const char16_t* in, uint32_t units);
  uint32_t ConvertByTable(char* out, uint32_t max, const char16_t* in, uint32_t units);
  bool BuildTable();

  std::string name_ = "WINDOWS-1252";
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);  // opened when first needed
  // Set up once, under mutex_; known_ is stored last, so a thread that reads
  // it sees what it stands for without the lock.
  std::atomic<Known> known_ = Known::kNothing;
  bool ascii_kept_ = false;     // each ASCII character is its own byte, both ways
  std::vector<int16_t> table_;  // UTF-16 unit -> byte, -1 when unmappable
  std::mutex mutex_;            // the set-up, and iconv, which keeps state in cd_
  std::atomic<uint64_t> replaced_ = 0;
};

}  // namespace host
