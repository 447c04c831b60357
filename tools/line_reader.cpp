#include "tools/line_reader.h"

#include <cerrno>
#include <cstdlib>

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
}  // namespace

LineReader::LineReader(FILE* stream, std::string name, Invalid invalid)
    : stream_(stream), name_(std::move(name)), invalid_(invalid), converter_(OpenUtf8ToUtf16()) {}

LineReader::~LineReader() {
  iconv_close(converter_);
  std::free(raw_);
}

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

// One UTF-8 byte never yields more than one UTF-16 unit, so the line's
// byte count bounds its units and iconv never runs out of room.
void LineReader::Decode(size_t length) {
  size_t start = 0;
  if (line_offset_ == 0 && std::string_view(raw_, length).starts_with(kByteOrderMark)) {
    start = kByteOrderMark.size();
  }
  line_.resize(length);
  char* in = raw_ + start;
  size_t in_left = length - start;
  char* out = reinterpret_cast<char*>(line_.data());
  size_t out_left = length * sizeof(char16_t);
  iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  while (in_left > 0) {
    if (iconv(converter_, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1)) break;
    OnInvalid(static_cast<size_t>(in - raw_));
    *reinterpret_cast<char16_t*>(out) = kReplacement;
    out += sizeof(char16_t);
    out_left -= sizeof(char16_t);
    ++in;
    --in_left;
  }
  line_.resize(static_cast<size_t>(out - reinterpret_cast<char*>(line_.data())) /
               sizeof(char16_t));
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
