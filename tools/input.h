// The inputs of a print job and the pass that checks them before anything is
// sent: every line must be UTF-8 (or is repaired, when asked), and the code
// page's verdict on each character is known in advance.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/code_page.h"
#include "tools/line_reader.h"

namespace textrelay {

// An input that can be read twice: a regular file as it is, anything else
// (standard input, a pipe) copied to a temporary file first.
class Input {
 public:
  // "-" is standard input.
  static Input Open(const std::string& path, FILE* standard_input = stdin);

  const std::string& name() const { return name_; }
  // A name for notes other than the path, such as a print job's title.
  void Rename(std::string name) { name_ = std::move(name); }
  FILE* Rewound() const;

 private:
  struct Close {
    void operator()(FILE* stream) const { std::fclose(stream); }
  };
  std::string name_;
  std::unique_ptr<FILE, Close> stream_;
};

struct Place {
  uint64_t line = 0;
  uint64_t column = 0;  // characters from the line's start, from 1
};

// What the check pass found in one input.
struct InputReport {
  uint64_t invalid = 0;  // sequences replaced by U+FFFD
  uint64_t invalid_line = 0;
  uint64_t invalid_offset = 0;
  uint64_t unmappable = 0;  // characters sent as the code page's default
  Place first_unmappable;
  // Lines longer in the code page than in UTF-16 units: the driver sends at
  // most one byte per unit, so their tails would be lost.
  uint64_t cut_lines = 0;
  uint64_t cut_bytes = 0;
  uint64_t first_cut_line = 0;
  uint64_t first_cut_byte = 0;  // the first lost byte's place in its line, from 1
};

// The longest line the check passes, in UTF-16 units: its bytes in any code
// page must fit 32 bits.
constexpr uint64_t kLongestLine = (uint64_t{1} << 30) - 1;
// Throws Failure naming the reader's line when it holds more units than that.
void RefuseOverlongLine(const LineReader& reader, uint64_t units);

InputReport CheckInput(const Input& input, LineReader::Invalid invalid, host::CodePage& code_page);

// One line for each kind of finding; empty when there is none.
std::string InvalidNote(const Input& input, const InputReport& report);
std::string UnmappableNote(const Input& input, const InputReport& report,
                           const std::string& code_page);
std::string CutNote(const Input& input, const InputReport& report, const std::string& code_page);

}  // namespace textrelay
