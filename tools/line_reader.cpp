#include "tools/line_reader.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/failure.h"

namespace textrelay {

namespace {
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char16_t kReplacement = u'\uFFFD';

iconv_t OpenUtf8ToUtf16() {
  iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
  if (converter == kNoConverter) FailWithErrno("iconv: UTF-8 to UTF-16LE");
  return converter;
}

struct Character {
  size_t length = 0;  // in bytes; 0 when the bytes are no character
  char32_t code_point = 0;
};

// The character at in, taken as strictly as the C library's converter takes
// it: no overlong form, no surrogate, nothing beyond U+10FFFF, nothing cut
// short.
Character DecodeCharacter(const unsigned char* in, size_t left) {
  const unsigned char lead = in[0];
  if (lead < 0x80) return {1, lead};
  size_t length;
  char32_t least;
  char32_t code_point;
  if (lead < 0xC2) return {};
  if (lead < 0xE0) {
    length = 2, least = 0x80, code_point = lead & 0x1F;
  } else if (lead < 0xF0) {
    length = 3, least = 0x800, code_point = lead & 0x0F;
  } else if (lead < 0xF5) {
    length = 4, least = 0x10000, code_point = lead & 0x07;
  } else {
    return {};
  }
  if (left < length) return {};
  for (size_t i = 1; i < length; ++i) {
    if ((in[i] & 0xC0) != 0x80) return {};
    code_point = code_point << 6 | (in[i] & 0x3F);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  if (code_point < least || code_point > 0x10FFFF || surrogate) return {};
  return {length, code_point};
}

// Eight ASCII bytes to their units at once, most text being ASCII; false,
// with nothing written, when any of them is not ASCII. Through local
// copies, so that the compiler need not fear that out overlaps in.
bool WidenAscii(const unsigned char* in, char16_t* out) {
  uint64_t eight;
  std::memcpy(&eight, in, sizeof eight);
  if ((eight & 0x8080808080808080u) != 0) return false;
  unsigned char bytes[8];
  std::memcpy(bytes, in, sizeof bytes);
  char16_t units[8];
  for (int k = 0; k < 8; ++k) units[k] = bytes[k];
  std::memcpy(out, units, sizeof units);
  return true;
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

LineReader::LineReader(FILE* stream, std::string name, Invalid invalid)
    : stream_(stream), name_(std::move(name)), invalid_(invalid) {}

LineReader::~LineReader() { std::free(raw_); }

bool LineReader::Next() {
  const size_t length = ReadRawLine();
  if (length == 0 && std::feof(stream_)) return false;
  Decode(length);
  return true;
}

// The line's bytes without its line break, at raw_; 0 also at the end.
size_t LineReader::ReadRawLine() {
  errno = 0;
  const ssize_t read = getline(&raw_, &raw_capacity_, stream_);
  if (read < 0) {
    if (std::ferror(stream_)) FailWithErrno(name_ + ": read failed");
    return 0;
  }
  line_offset_ = next_offset_;
  next_offset_ += static_cast<uint64_t>(read);
  ++line_number_;
  size_t length = static_cast<size_t>(read);
  if (length > 0 && raw_[length - 1] == '\n') --length;
  if (length > 0 && raw_[length - 1] == '\r') --length;
  return length;
}

// Decoded here rather than by iconv, which costs more per line than the
// line itself; an invalid byte becomes U+FFFD on its own, as iconv reports
// it. One UTF-8 byte never yields more than one UTF-16 unit, so the line's
// byte count bounds its units.
void LineReader::Decode(size_t length) {
  size_t at = 0;
  if (line_offset_ == 0 && std::string_view(raw_, length).starts_with(kByteOrderMark)) {
    at = kByteOrderMark.size();
  }
  line_.resize(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw_);
  char16_t* out = line_.data();
  while (at < length) {
    if (length - at >= 8 && WidenAscii(bytes + at, out)) {
      out += 8;
      at += 8;
      continue;
    }
    if (bytes[at] < 0x80) {
      *out++ = bytes[at++];
      continue;
    }
    const Character character = DecodeCharacter(bytes + at, length - at);
    if (character.length == 0) {
      OnInvalid(at);
      *out++ = kReplacement;
      ++at;
      continue;
    }
    out = AppendUtf16(out, character.code_point);
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
