#include "host/trace.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>

namespace host {

namespace {

// The calling thread's text since its last complete line.
thread_local std::string pending;

template <typename Value>
int Print(char* buffer, size_t size, const char* fmt, const int* stars, int star_count,
          Value value) {
  if (star_count == 2) return std::snprintf(buffer, size, fmt, stars[0], stars[1], value);
  if (star_count == 1) return std::snprintf(buffer, size, fmt, stars[0], value);
  return std::snprintf(buffer, size, fmt, value);
}

// A number or character as snprintf makes it, cut at the first zero byte
// (so %c of 0 adds nothing) and at 511 characters.
template <typename Value>
void AppendPrinted(std::string& out, const std::string& fmt, const int* stars, int star_count,
                   Value value) {
  char buffer[512];
  Print(buffer, sizeof buffer, fmt.c_str(), stars, star_count, value);
  out += buffer;
}

// Text may be longer than any buffer: it is formatted in place.
void AppendText(std::string& out, const std::string& fmt, const int* stars, int star_count,
                const char* text) {
  const size_t start = out.size();
  const int needed = Print(nullptr, 0, fmt.c_str(), stars, star_count, text);
  out.resize(start + static_cast<size_t>(needed) + 1);
  Print(out.data() + start, static_cast<size_t>(needed) + 1, fmt.c_str(), stars, star_count, text);
  out.resize(start + static_cast<size_t>(needed));
}

// The arguments behind this build's own va_list.
class HostArgs {
 public:
  explicit HostArgs(va_list ap) { va_copy(ap_, ap); }
  ~HostArgs() { va_end(ap_); }
  HostArgs(const HostArgs&) = delete;
  HostArgs& operator=(const HostArgs&) = delete;
  template <typename T>
  T Next() {
    return va_arg(ap_, T);
  }

 private:
  va_list ap_;
};

// The arguments behind the platform's va_list, read slot by slot.
class SlotArgs {
 public:
  explicit SlotArgs(PlatformArgs args) : next_(args.next) {}
  template <typename T>
  T Next() {
    T value;
    std::memcpy(&value, next_, sizeof value);
    next_ += (sizeof value + sizeof(void*) - 1) / sizeof(void*) * sizeof(void*);
    return value;
  }

 private:
  const char* next_;
};

// Formats one conversion whose spec (without its length) is in spec.
template <typename Args>
void AppendOne(std::string& out, std::string_view spec, char conversion, int length, Args& ap,
               const int* stars, int star_count) {
  const std::string fmt = std::string(spec) + conversion;
  auto append = [&](auto value) { AppendPrinted(out, fmt, stars, star_count, value); };
  switch (conversion) {
    case 'd':
    case 'i':
      if (length == 2) return append(static_cast<long long>(ap.template Next<int64_t>()));
      return append(static_cast<int>(ap.template Next<int32_t>()));
    case 'u':
    case 'x':
    case 'X':
      if (length == 2) return append(static_cast<unsigned long long>(ap.template Next<uint64_t>()));
      return append(static_cast<unsigned>(ap.template Next<uint32_t>()));
    case 'c':
      return append(ap.template Next<int>());
    case 'p':
      return append(ap.template Next<void*>());
    case 's': {
      const char* text = ap.template Next<const char*>();
      return AppendText(out, fmt, stars, star_count, text == nullptr ? "(null)" : text);
    }
  }
  out += fmt;
}

template <typename Integer>
void AppendInteger(std::string& out, Integer value, int base) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value, base).ptr);
}

// The conversions the driver traces most, without flags or width, need no
// snprintf: false when the conversion is not one of them.
template <typename Args>
bool AppendPlain(std::string& out, std::string_view spec, char conversion, int length, Args& ap,
                 const int* stars, int star_count) {
  if (conversion == 's' && (spec == "%" || (spec == "%.*" && star_count == 1))) {
    const char* text = ap.template Next<const char*>();
    if (text == nullptr) text = "(null)";
    const bool cut = star_count == 1 && stars[0] >= 0;  // a negative precision is none
    out.append(text, cut ? strnlen(text, static_cast<size_t>(stars[0])) : std::strlen(text));
    return true;
  }
  if (spec != "%") return false;
  switch (conversion) {
    case 'd':
    case 'i':
      if (length == 2) return AppendInteger(out, ap.template Next<int64_t>(), 10), true;
      return AppendInteger(out, ap.template Next<int32_t>(), 10), true;
    case 'u':
      if (length == 2) return AppendInteger(out, ap.template Next<uint64_t>(), 10), true;
      return AppendInteger(out, ap.template Next<uint32_t>(), 10), true;
    case 'x':
      if (length == 2) return AppendInteger(out, ap.template Next<uint64_t>(), 16), true;
      return AppendInteger(out, ap.template Next<uint32_t>(), 16), true;
  }
  return false;
}

// A conversion's spec (the '%', its flags, width and precision) is read
// where it stands in the format, and literal text is copied in runs: a
// message costs no allocation beyond the growth of out.
template <typename Args>
void AppendFormatted(std::string& out, const char* format, Args& ap) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      const char* literal_end = strchrnul(p, '%');
      out.append(p, static_cast<size_t>(literal_end - p));
      p = literal_end - 1;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    const char* spec_begin = p;
    int stars[2];
    int star_count = 0;
    ++p;
    while (*p != '\0' && std::strchr("-+ #0", *p)) ++p;
    for (; *p == '*' || (*p >= '0' && *p <= '9') || *p == '.'; ++p) {
      if (*p == '*' && star_count < 2) stars[star_count++] = ap.template Next<int>();
    }
    const std::string_view spec(spec_begin, static_cast<size_t>(p - spec_begin));
    int length = 0;
    while (*p == 'l' || *p == 'h') length += *p++ == 'l';
    if (*p == '\0') break;
    if (!AppendPlain(out, spec, *p, length, ap, stars, star_count)) {
      AppendOne(out, spec, *p, length, ap, stars, star_count);
    }
  }
}

}  // namespace

void AppendPlatform(std::string& out, const char* format, va_list ap) {
  HostArgs args(ap);
  AppendFormatted(out, format, args);
}

void AppendPlatform(std::string& out, const char* format, PlatformArgs ap) {
  SlotArgs args(ap);
  AppendFormatted(out, format, args);
}

void Trace::KeepInMemory() {
  std::lock_guard lock(mutex_);
  WriteBlock();
  sink_ = Sink::kMemory;
}

void Trace::WriteTo(FILE* stream) {
  std::lock_guard lock(mutex_);
  WriteBlock();
  stream_ = stream;
  sink_ = Sink::kStream;
}

void Trace::Discard() {
  std::lock_guard lock(mutex_);
  WriteBlock();
  sink_ = Sink::kNone;
}

void Trace::Format(const char* prefix, const char* format, va_list ap) {
  const size_t from = pending.size();
  pending += prefix;
  AppendPlatform(pending, format, ap);
  EmitCompleteLines(from);
}

void Trace::Write(std::string_view text) {
  if (sink() == Sink::kNone) return;
  const size_t from = pending.size();
  pending += text;
  EmitCompleteLines(from);
}

// Only the text just added can end a line; every line it ends is handed
// over at once.
void Trace::EmitCompleteLines(size_t from) {
  const void* feed = memrchr(pending.data() + from, '\n', pending.size() - from);
  if (feed == nullptr) return;
  const size_t end = static_cast<size_t>(static_cast<const char*>(feed) - pending.data()) + 1;
  {
    std::lock_guard lock(mutex_);
    Take(std::string_view(pending).substr(0, end));
  }
  pending.erase(0, end);
}

// A stream is given complete lines a block at a time, as the job's output
// is: its trace is several times the job's bytes. Memory keeps each line
// without its line feed.
void Trace::Take(std::string_view complete) {
  if (sink() == Sink::kStream) {
    block_ += complete;
    if (block_.size() >= kStreamBlock) WriteBlock();
    return;
  }
  if (sink() != Sink::kMemory) return;
  for (size_t start = 0, end; (end = complete.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines_.emplace_back(complete.substr(start, end - start));
  }
}

void Trace::WriteBlock() {
  if (!block_.empty()) std::fwrite(block_.data(), 1, block_.size(), stream_);
  block_.clear();
}

std::vector<std::string> Trace::TakeLines() {
  std::lock_guard lock(mutex_);
  return std::exchange(lines_, {});
}

void Trace::Reset() {
  std::lock_guard lock(mutex_);
  WriteBlock();
  sink_ = Sink::kMemory;
  stream_ = nullptr;
  pending.clear();
  lines_.clear();
}

}  // namespace host
