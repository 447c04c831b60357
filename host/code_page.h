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

  // The ASCII units at the start of in, as bytes and no more than max,
  // where the code page is known to keep ASCII as it is; none where it is
  // not known yet or does not. Inline: most lines are ASCII alone, and
  // Convert takes the rest from where this stopped.
  uint32_t ConvertLeadingAscii(char* out, uint32_t max, const char16_t* in, uint32_t units) {
    if (known_.load(std::memory_order_acquire) == Known::kNothing || !ascii_kept_) return 0;
    return NarrowAsciiPrefix(out, max, in, units);
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
