#include "tools/line_reader.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/ascii_runs.h"
#include "tools/failure.h"

namespace textrelay {

namespace {
using host::kAsciiRun;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char16_t kReplacement = u'\uFFFD';

iconv_t OpenUtf8ToUtf16() {
  iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
  if (converter == kNoConverter) FailWithErrno("iconv: UTF-8 to UTF-16LE");
  return converter;
}

struct Character {
  size_t length = 0;  // in bytes: the character's, or the ill-formed part's
  char32_t code_point = 0;
  bool valid = false;
};

// What a lead byte begins: the sequence's length and the range its second
// byte must lie in, which leaves out overlong forms, surrogates and
// everything beyond U+10FFFF. Length 0: no lead byte.
struct Lead {
  size_t length;
  unsigned char low;
  unsigned char high;
};

Lead LeadOf(unsigned char lead) {
  if (lead < 0xC2) return {0, 0, 0};
  if (lead < 0xE0) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead < 0xF0) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead < 0xF4) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// The character at in, a byte of 0x80 or more. When the bytes are no
// character, length is that of the maximal subpart: the longest start of a
// well-formed sequence there, at least one byte, which becomes one U+FFFD
// as browsers and most converters do.
Character DecodeCharacter(const unsigned char* in, size_t left) {
  const Lead lead = LeadOf(in[0]);
  if (lead.length == 0) return {1};
  char32_t code_point = in[0] & (0x7F >> lead.length);
  for (size_t i = 1; i < lead.length; ++i) {
    const unsigned char low = i == 1 ? lead.low : 0x80;
    const unsigned char high = i == 1 ? lead.high : 0xBF;
    if (i == left || in[i] < low || in[i] > high) return {i};
    code_point = code_point << 6 | (in[i] & 0x3F);
  }
  return {lead.length, code_point, true};
}

// A line of ASCII alone, of sixteen bytes or more, to its units: sixteen at
// a time, the last sixteen overlapping those before. False at the first run
// that is not ASCII, with the units before it written.
bool WidenAsciiLine(const unsigned char* in, size_t length, char16_t* out) {
  for (size_t at = 0; length - at > kAsciiRun; at += kAsciiRun) {
    if (!host::WidenAsciiRun(in + at, out + at)) return false;
  }
  return host::WidenAsciiRun(in + length - kAsciiRun, out + length - kAsciiRun);
}

// The run of ASCII bytes at the start of bytes, and the line feeds in it:
// sixteen bytes tested and compared at once, the matches summed in byte
// lanes that are emptied before they can overflow.
struct AsciiLines {
  size_t length = 0;
  size_t line_breaks = 0;
};

AsciiLines MeasureAsciiLines(const char* bytes, size_t length) {
  typedef signed char Lanes16 __attribute__((vector_size(kAsciiRun)));
  constexpr size_t kMostRunsPerSum = 127;
  AsciiLines ascii;
  size_t& at = ascii.length;
  bool runs_left = true;
  while (runs_left && length - at >= kAsciiRun) {
    Lanes16 sums = {};
    for (size_t runs = 0; runs < kMostRunsPerSum && length - at >= kAsciiRun; ++runs) {
      if (!host::IsAsciiRun(bytes + at)) {
        runs_left = false;
        break;
      }
      Lanes16 run;
      std::memcpy(&run, bytes + at, sizeof run);
      sums -= run == '\n';  // a match is -1
      at += kAsciiRun;
    }
    for (size_t lane = 0; lane < kAsciiRun; ++lane) ascii.line_breaks += static_cast<size_t>(sums[lane]);
  }
  for (; at < length && static_cast<unsigned char>(bytes[at]) < 0x80; ++at) {
    ascii.line_breaks += bytes[at] == '\n';
  }
  return ascii;
}

char16_t* AppendUtf16(char16_t* out, char32_t code_point) {
  if (code_point < 0x10000) {
    *out++ = static_cast<char16_t>(code_point);
    return out;
  }
  code_point -= 0x10000;
  *out++ = static_cast<char16_t>(0xD800 + (code_point >> 10));
  *out++ = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
  return out;
}
}  // namespace

// Large enough that fread fills it past the stream's own buffer.
constexpr size_t kBlock = 1 << 19;

LineReader::LineReader(FILE* stream, std::string name, Invalid invalid)
    : stream_(stream),
      name_(std::move(name)),
      invalid_(invalid),
      block_(std::make_unique_for_overwrite<char[]>(kBlock)),
      capacity_(kBlock) {}

bool LineReader::Next() {
  if (!ReadRawLine()) return false;
  Decode(raw_length_);
  return true;
}

bool LineReader::NextNotAscii() {
  for (;;) {
    PassAsciiLines();
    if (!ReadRawLine()) return false;
    ascii_ = RawIsAscii();
    if (!ascii_) break;
  }
  Decode(raw_length_);
  return true;
}

// Takes every complete line in the block before the first byte beyond
// ASCII, counting their line breaks sixteen bytes at a time.
void LineReader::PassAsciiLines() {
  const char* start = block_.get() + begin_;
  const AsciiLines ascii = MeasureAsciiLines(start, filled_ - begin_);
  const void* last_break = memrchr(start, '\n', ascii.length);
  if (last_break == nullptr) return;
  const size_t taken = static_cast<size_t>(static_cast<const char*>(last_break) - start) + 1;
  line_number_ += ascii.line_breaks;  // none behind the last
  begin_ += taken;
  next_offset_ += taken;
}

bool LineReader::RawIsAscii() const { return MeasureAsciiLines(raw_, raw_length_).length == raw_length_; }

// The next line's bytes without its line break, at raw_ in the block; false
// at the end. Lines are found in the block, not copied out of the stream.
bool LineReader::ReadRawLine() {
  size_t searched = 0;  // from begin_, bytes known to hold no line break
  const char* newline;
  while ((newline = static_cast<const char*>(std::memchr(
              block_.get() + begin_ + searched, '\n', filled_ - begin_ - searched))) == nullptr) {
    if (at_end_) break;
    searched = filled_ - begin_;
    Refill();
  }
  if (newline == nullptr && begin_ == filled_) return false;
  const size_t end = newline != nullptr ? static_cast<size_t>(newline - block_.get()) : filled_;
  const size_t taken = end - begin_ + (newline != nullptr ? 1 : 0);
  raw_ = block_.get() + begin_;
  raw_length_ = end - begin_;
  // A CR is part of a CR LF break only; one that ends the input is text.
  if (newline != nullptr && raw_length_ > 0 && raw_[raw_length_ - 1] == '\r') --raw_length_;
  begin_ += taken;
  line_offset_ = next_offset_;
  next_offset_ += taken;
  ++line_number_;
  return true;
}

// Moves the bytes not yet taken to the block's start, doubles the block
// when they fill it, and reads more behind them.
void LineReader::Refill() {
  const size_t kept = filled_ - begin_;
  std::memmove(block_.get(), block_.get() + begin_, kept);
  begin_ = 0;
  filled_ = kept;
  if (filled_ == capacity_) Grow();
  errno = 0;
  const size_t got = std::fread(block_.get() + filled_, 1, capacity_ - filled_, stream_);
  if (got == 0) {
    if (std::ferror(stream_)) FailWithErrno(name_ + ": read failed");
    at_end_ = true;
  }
  filled_ += got;
}

void LineReader::Grow() {
  auto grown = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
  std::memcpy(grown.get(), block_.get(), filled_);
  block_ = std::move(grown);
  capacity_ *= 2;
}

// Decoded here rather than by iconv, which costs more per line than the
// line itself, and which would report each invalid byte on its own. One
// UTF-8 byte never yields more than one UTF-16 unit, so the line's byte
// count bounds its units.
void LineReader::Decode(size_t length) {
  size_t at = 0;
  if (line_offset_ == 0 && std::string_view(raw_, length).starts_with(kByteOrderMark)) {
    at = kByteOrderMark.size();
  }
  ascii_ = true;
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw_);
  if (length - at >= kAsciiRun) {
    line_.resize(length - at);
    if (WidenAsciiLine(bytes + at, length - at, line_.data())) return;
  }
  line_.resize(length);
  char16_t* out = line_.data();
  while (at < length) {
    if (length - at >= kAsciiRun && host::WidenAsciiRun(bytes + at, out)) {
      out += kAsciiRun;
      at += kAsciiRun;
      continue;
    }
    if (bytes[at] < 0x80) {
      *out++ = bytes[at++];
      continue;
    }
    ascii_ = false;
    const Character character = DecodeCharacter(bytes + at, length - at);
    if (!character.valid) {
      OnInvalid(at);
      *out++ = kReplacement;
    } else {
      out = AppendUtf16(out, character.code_point);
    }
    at += character.length;
  }
  line_.resize(static_cast<size_t>(out - line_.data()));
}

void LineReader::OnInvalid(size_t at) {
  const uint64_t offset = line_offset_ + at;
  if (invalid_ == Invalid::kStop) {
    throw Failure(name_ + ": line " + std::to_string(line_number_) + ", byte offset " +
                  std::to_string(offset) + ": invalid UTF-8; nothing was sent");
  }
  if (replaced_++ == 0) {
    first_replaced_line_ = line_number_;
    first_replaced_offset_ = offset;
  }
}

std::u16string Widen(std::string_view text) {
  std::u16string wide;
  iconv_t converter = OpenUtf8ToUtf16();
  wide.resize(text.size());
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* out = reinterpret_cast<char*>(wide.data());
  size_t out_left = wide.size() * sizeof(char16_t);
  const bool utf8 = iconv(converter, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1);
  iconv_close(converter);
  if (!utf8) {
    wide.clear();
    for (const unsigned char byte : text) wide.push_back(byte);
    return wide;
  }
  wide.resize(wide.size() - out_left / sizeof(char16_t));
  return wide;
}

std::string Narrow(std::u16string_view text) {
  iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
  if (converter == kNoConverter) FailWithErrno("iconv: UTF-16LE to UTF-8");
  std::string narrow(text.size() * 3, '\0');
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t in_left = text.size() * sizeof(char16_t);
  char* out = narrow.data();
  size_t out_left = narrow.size();
  while (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1) &&
         in_left >= sizeof(char16_t)) {
    *out++ = '?';
    --out_left;
    in += sizeof(char16_t);
    in_left -= sizeof(char16_t);
  }
  iconv_close(converter);
  narrow.resize(narrow.size() - out_left);
  return narrow;
}

}  // namespace textrelay
