#include "tools/input.h"

#include <sys/stat.h>

#include "tools/failure.h"
#include "tools/temporary_file.h"

namespace textrelay {

namespace {
bool IsRegularFile(FILE* stream) {
  struct stat status {};
  return fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
}

// Each input is read twice, line by line: in large blocks, not the
// default few kilobytes a read.
FILE* WithReadBuffer(FILE* stream) {
  std::setvbuf(stream, nullptr, _IOFBF, 1 << 18);
  return stream;
}

FILE* CopyToTemporaryFile(FILE* from, const std::string& name) {
  FILE* copy = TemporaryFile();
  if (copy == nullptr) FailWithErrno(name + ": temporary file");
  WithReadBuffer(copy);
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, from)) > 0) {
    if (std::fwrite(chunk, 1, got, copy) != got) {
      std::fclose(copy);
      FailWithErrno(name + ": temporary file");
    }
  }
  if (std::ferror(from)) {
    std::fclose(copy);
    FailWithErrno(name + ": read failed");
  }
  return copy;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Converts one line as the driver's conversion would, with room to spare;
// the bytes produced and the characters replaced.
struct Conversion {
  uint32_t bytes = 0;
  uint64_t replaced = 0;
};

Conversion Convert(host::CodePage& code_page, std::string& scratch, const char16_t* text,
                   uint32_t units, uint32_t max) {
  scratch.resize(max);
  const uint64_t before = code_page.replaced();
  const uint32_t bytes = code_page.Convert(scratch.data(), max, text, units);
  return {bytes, code_page.replaced() - before};
}

uint64_t FirstUnmappableColumn(host::CodePage& code_page, std::string& scratch,
                               const std::u16string& line) {
  uint64_t column = 1;
  for (size_t i = 0; i < line.size(); ++column) {
    const uint32_t width = IsHighSurrogate(line[i]) && i + 1 < line.size() ? 2 : 1;
    if (Convert(code_page, scratch, &line[i], width, 16).replaced != 0) return column;
    i += width;
  }
  return column;
}

// The worst a code page does: four bytes for a character of two units.
constexpr uint32_t kMaxBytesPerUnit = 4;

// Whether each ASCII character is one byte of the code page, none replaced:
// then a line of ASCII alone is neither cut nor replaced, and the check
// need not convert it.
bool AsciiIsOneByteEach(host::CodePage& code_page, std::string& scratch) {
  for (char16_t unit = 0; unit < 0x80; ++unit) {
    const Conversion one = Convert(code_page, scratch, &unit, 1, kMaxBytesPerUnit);
    if (one.bytes != 1 || one.replaced != 0) return false;
  }
  return true;
}

void CheckLine(const LineReader& reader, host::CodePage& code_page, std::string& scratch,
               InputReport& report) {
  const std::u16string& line = reader.line();
  RefuseOverlongLine(reader, line.size());
  const auto units = static_cast<uint32_t>(line.size());
  const Conversion whole =
      Convert(code_page, scratch, line.data(), units, units * kMaxBytesPerUnit);
  if (whole.replaced != 0 && report.unmappable == 0) {
    report.first_unmappable = {reader.line_number(),
                               FirstUnmappableColumn(code_page, scratch, line)};
  }
  report.unmappable += whole.replaced;
  if (whole.bytes <= units) return;
  const Conversion sent = Convert(code_page, scratch, line.data(), units, units);
  if (report.cut_lines++ == 0) {
    report.first_cut_line = reader.line_number();
    report.first_cut_byte = sent.bytes + 1;
  }
  report.cut_bytes += whole.bytes - sent.bytes;
}

std::string Count(uint64_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}
}  // namespace

// The driver's glyph count and the conversion's byte counts are 32-bit, and a
// line's bytes may be four times its units.
void RefuseOverlongLine(const LineReader& reader, uint64_t units) {
  if (units <= kLongestLine) return;
  throw Failure(reader.name() + ": line " + std::to_string(reader.line_number()) + ": " +
                std::to_string(units) + " UTF-16 units, more than the " +
                std::to_string(kLongestLine) + " a line may hold; nothing was sent");
}

Input Input::Open(const std::string& path, FILE* standard_input) {
  Input input;
  if (path == "-") {
    input.name_ = "standard input";
    input.stream_.reset(CopyToTemporaryFile(standard_input, input.name_));
    return input;
  }
  input.name_ = path;
  FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) FailWithErrno(path);
  input.stream_.reset(WithReadBuffer(stream));
  if (!IsRegularFile(stream)) input.stream_.reset(CopyToTemporaryFile(stream, path));
  return input;
}

FILE* Input::Rewound() const {
  if (std::fseek(stream_.get(), 0, SEEK_SET) != 0) FailWithErrno(name_);
  std::clearerr(stream_.get());
  return stream_.get();
}

InputReport CheckInput(const Input& input, LineReader::Invalid invalid, host::CodePage& code_page) {
  InputReport report;
  LineReader reader(input.Rewound(), input.name(), invalid);
  std::string scratch;
  if (AsciiIsOneByteEach(code_page, scratch)) {
    while (reader.NextNotAscii()) CheckLine(reader, code_page, scratch, report);
  } else {
    while (reader.Next()) CheckLine(reader, code_page, scratch, report);
  }
  report.invalid = reader.replaced();
  report.invalid_line = reader.first_replaced_line();
  report.invalid_offset = reader.first_replaced_offset();
  code_page.ResetCounts();
  return report;
}

std::string InvalidNote(const Input& input, const InputReport& report) {
  if (report.invalid == 0) return {};
  return input.name() + ": " +
         Count(report.invalid, "invalid UTF-8 sequence", "invalid UTF-8 sequences") +
         " sent as U+FFFD, the first at line " + std::to_string(report.invalid_line) +
         ", byte offset " + std::to_string(report.invalid_offset);
}

std::string UnmappableNote(const Input& input, const InputReport& report,
                           const std::string& code_page) {
  if (report.unmappable == 0) return {};
  return input.name() + ": " + Count(report.unmappable, "character", "characters") + " that " +
         code_page + " cannot hold sent as '?', the first at line " +
         std::to_string(report.first_unmappable.line) + ", column " +
         std::to_string(report.first_unmappable.column);
}

std::string CutNote(const Input& input, const InputReport& report, const std::string& code_page) {
  if (report.cut_lines == 0) return {};
  return input.name() + ": line " + std::to_string(report.first_cut_line) + ": " +
         Count(report.cut_lines, "line takes", "lines take") + " more bytes in " + code_page +
         " than characters, and the driver sends at most one byte per character (" +
         Count(report.cut_bytes, "byte", "bytes") + " would be lost, the first at byte " +
         std::to_string(report.first_cut_byte) + " of the line)";
}

}  // namespace textrelay
