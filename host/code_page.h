// The system's ANSI code page behind EngUnicodeToMultiByteN, by iconv name.
// Characters the code page cannot hold become its default character, '?',
// and are counted. Single-byte code pages convert through a table built
// once when the code page is chosen. Convert may be called from several
// threads; choosing the code page may not overlap with it.
#pragma once

#include <iconv.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace host {

class CodePage {
 public:
  CodePage();
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // False, with the current code page kept, when iconv does not know name.
  bool Select(const std::string& name);
  const std::string& name() const { return name_; }
  bool single_byte() const { return !table_.empty(); }

  // Converts units UTF-16 code units; never writes more than max bytes and
  // never a partial character. Returns the bytes produced.
  uint32_t Convert(char* out, uint32_t max, const char16_t* in, uint32_t units);

  uint64_t replaced() const { return replaced_.load(std::memory_order_relaxed); }
  void ResetCounts() { replaced_ = 0; }

 private:
  static constexpr char kDefaultChar = '?';
  int Encode(const char16_t* in, size_t units, char* out, size_t max);
  uint32_t ConvertByConverter(char* out, uint32_t max, const char16_t* in, uint32_t units);
  uint32_t ConvertByTable(char* out, uint32_t max, const char16_t* in, uint32_t units);
  bool BuildTable();

  std::string name_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::mutex converter_mutex_;  // iconv keeps state in cd_
  std::vector<int16_t> table_;  // UTF-16 unit -> byte, -1 when unmappable
  bool ascii_kept_ = false;     // the table maps every ASCII unit to itself
  std::atomic<uint64_t> replaced_ = 0;
};

}  // namespace host
