// Reads UTF-8 text line by line from a stream and hands each line over as
// UTF-16, without its line break (LF or CR LF). Memory holds a block of the
// input, or the longest line where it is longer, however long the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace textrelay {

class LineReader {
 public:
  enum class Invalid { kStop, kReplace };

  // The stream stays the caller's; name appears in every failure.
  LineReader(FILE* stream, std::string name, Invalid invalid);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False at the end of the input. Throws Failure on a read error, and on
  // invalid UTF-8 unless replacing it with U+FFFD.
  bool Next();
  // The same, for a pass that needs nothing of a line of ASCII alone: the
  // next line holding a byte beyond ASCII. Lines of ASCII alone before it
  // are counted in line_number() without being handed over, whole runs of
  // them at a time.
  bool NextNotAscii();

  const std::string& name() const { return name_; }
  const std::u16string& line() const { return line_; }
  // The line's bytes as read, without its line break.
  std::string_view bytes() const { return {raw_, raw_length_}; }
  // Whether the line held ASCII alone.
  bool ascii() const { return ascii_; }
  uint64_t line_number() const { return line_number_; }
  // Invalid sequences replaced so far, each maximal subpart of an
  // ill-formed sequence counted once, and the first one's place.
  uint64_t replaced() const { return replaced_; }
  uint64_t first_replaced_line() const { return first_replaced_line_; }
  uint64_t first_replaced_offset() const { return first_replaced_offset_; }

 private:
  bool ReadRawLine();
  bool RawIsAscii() const;
  void PassAsciiLines();
  void Refill();
  void Grow();
  void Decode(size_t length);
  void OnInvalid(size_t at);

  FILE* stream_;
  std::string name_;
  Invalid invalid_;
  // Read a block at a time; grows only for a line longer than the block.
  std::unique_ptr<char[]> block_;  // not zeroed: only what was read is used
  size_t capacity_;
  size_t begin_ = 0;  // the bytes not yet taken: [begin_, filled_)
  size_t filled_ = 0;
  bool at_end_ = false;
  const char* raw_ = nullptr;  // the line's bytes, in the block
  size_t raw_length_ = 0;
  bool ascii_ = true;
  std::u16string line_;
  uint64_t line_number_ = 0;
  uint64_t line_offset_ = 0;  // of the current line's first byte
  uint64_t next_offset_ = 0;
  uint64_t replaced_ = 0;
  uint64_t first_replaced_line_ = 0;
  uint64_t first_replaced_offset_ = 0;
};

// A name (a file name, a title) as UTF-16; bytes that are not UTF-8 are
// taken as Latin-1.
std::u16string Widen(std::string_view text);
// UTF-16 as UTF-8 for display; units that are no character become '?'.
std::string Narrow(std::u16string_view text);

}  // namespace textrelay
