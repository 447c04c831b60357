#include "host/trace.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace host {

namespace {

// Formats one conversion whose spec (without its length) is in spec.
std::string FormatOne(const std::string& spec, char conversion, int length, va_list& ap,
                      const int* stars, int star_count) {
  char buffer[512];
  const std::string fmt = spec + conversion;
  auto print = [&](auto value) {
    if (star_count == 2) return std::snprintf(buffer, sizeof buffer, fmt.c_str(), stars[0], stars[1], value);
    if (star_count == 1) return std::snprintf(buffer, sizeof buffer, fmt.c_str(), stars[0], value);
    return std::snprintf(buffer, sizeof buffer, fmt.c_str(), value);
  };
  switch (conversion) {
    case 'd':
    case 'i':
      if (length == 2) return print(static_cast<long long>(va_arg(ap, int64_t))), std::string(buffer);
      return print(static_cast<int>(va_arg(ap, int32_t))), std::string(buffer);
    case 'u':
    case 'x':
    case 'X':
      if (length == 2) return print(static_cast<unsigned long long>(va_arg(ap, uint64_t))), std::string(buffer);
      return print(static_cast<unsigned>(va_arg(ap, uint32_t))), std::string(buffer);
    case 'c':
      return print(va_arg(ap, int)), std::string(buffer);
    case 'p':
      return print(va_arg(ap, void*)), std::string(buffer);
    case 's': {
      const char* text = va_arg(ap, const char*);
      if (text == nullptr) text = "(null)";
      // The text may be longer than the buffer: format it directly.
      const int needed = star_count == 2   ? std::snprintf(nullptr, 0, fmt.c_str(), stars[0], stars[1], text)
                         : star_count == 1 ? std::snprintf(nullptr, 0, fmt.c_str(), stars[0], text)
                                           : std::snprintf(nullptr, 0, fmt.c_str(), text);
      std::string out(static_cast<size_t>(needed) + 1, '\0');
      if (star_count == 2) std::snprintf(out.data(), out.size(), fmt.c_str(), stars[0], stars[1], text);
      else if (star_count == 1) std::snprintf(out.data(), out.size(), fmt.c_str(), stars[0], text);
      else std::snprintf(out.data(), out.size(), fmt.c_str(), text);
      out.resize(static_cast<size_t>(needed));
      return out;
    }
  }
  return spec + conversion;
}

}  // namespace

std::string FormatPlatform(const char* format, va_list ap_in) {
  va_list ap;
  va_copy(ap, ap_in);
  std::string out;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    std::string spec = "%";
    int stars[2];
    int star_count = 0;
    ++p;
    while (*p != '\0' && std::strchr("-+ #0", *p)) spec += *p++;
    for (; *p == '*' || (*p >= '0' && *p <= '9') || *p == '.'; ++p) {
      if (*p == '*' && star_count < 2) stars[star_count++] = va_arg(ap, int);
      spec += *p;
    }
    int length = 0;
    while (*p == 'l' || *p == 'h') length += *p++ == 'l';
    if (*p == '\0') break;
    out += FormatOne(spec, *p, length, ap, stars, star_count);
  }
  va_end(ap);
  return out;
}

void Trace::KeepInMemory() { sink_ = Sink::kMemory; }

void Trace::WriteTo(FILE* stream) {
  sink_ = Sink::kStream;
  stream_ = stream;
}

void Trace::Discard() { sink_ = Sink::kNone; }

void Trace::Print(const char* prefix, const char* format, va_list ap) {
  if (sink_ == Sink::kNone) return;
  pending_ += prefix;
  pending_ += FormatPlatform(format, ap);
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    Emit(std::string_view(pending_).substr(start, end - start));
  }
  pending_.erase(0, start);
}

void Trace::Emit(std::string_view line) {
  if (sink_ == Sink::kMemory) {
    lines_.emplace_back(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fputc('\n', stream_);
}

void Trace::Reset() {
  sink_ = Sink::kMemory;
  stream_ = nullptr;
  pending_.clear();
  lines_.clear();
}

}  // namespace host
