#include "host/code_page.h"

#include <cerrno>
#include <cstring>

#include "host/ascii_runs.h"

namespace host {

namespace {
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsSurrogatePair(const char16_t* in, uint32_t i, uint32_t units) {
  return IsHighSurrogate(in[i]) && i + 1 < units && IsLowSurrogate(in[i + 1]);
}

// Whether in converts, from the converter's first state, to exactly expected.
bool ConvertsTo(iconv_t cd, const void* in, size_t in_size, const void* expected,
                size_t expected_size) {
  char buffer[512];
  char* src = static_cast<char*>(const_cast<void*>(in));
  char* dst = buffer;
  size_t dst_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &in_size, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
  if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
  return sizeof buffer - dst_left == expected_size &&
         std::memcmp(buffer, expected, expected_size) == 0;
}
}  // namespace

CodePage::~CodePage() {
  if (cd_ != kNoConverter) iconv_close(cd_);
}

bool CodePage::Select(const std::string& name) {
  iconv_t cd = iconv_open(name.c_str(), "UTF-16LE");
  if (cd == kNoConverter) return false;
  if (cd_ != kNoConverter) iconv_close(cd_);
  cd_ = cd;
  name_ = name;
  known_.store(Known::kNothing, std::memory_order_relaxed);
  ascii_kept_ = false;
  table_.clear();
  return true;
}

// The default is opened when first used. Should iconv not know it, every
// character becomes the default character.
iconv_t CodePage::Converter() {
  if (cd_ == kNoConverter) cd_ = iconv_open(name_.c_str(), "UTF-16LE");
  return cd_;
}

bool CodePage::KeepsAscii() {
  if (known_.load(std::memory_order_acquire) == Known::kNothing) {
    std::lock_guard lock(mutex_);
    if (known_.load(std::memory_order_relaxed) == Known::kNothing) LearnAscii();
  }
  return ascii_kept_;
}

// Each ASCII character is its own byte when the 128 of them become bytes 0
// to 127 and those bytes become them again: then a run of ASCII converts
// the same whether character by character, through the table or copied.
void CodePage::LearnAscii() {
  char16_t units[0x80];
  char bytes[0x80];
  for (int i = 0; i < 0x80; ++i) {
    units[i] = static_cast<char16_t>(i);
    bytes[i] = static_cast<char>(i);
  }
  iconv_t to_unicode = iconv_open("UTF-16LE", name_.c_str());
  ascii_kept_ = Converter() != kNoConverter && to_unicode != kNoConverter &&
                ConvertsTo(cd_, units, sizeof units, bytes, sizeof bytes) &&
                ConvertsTo(to_unicode, bytes, sizeof bytes, units, sizeof units);
  if (to_unicode != kNoConverter) iconv_close(to_unicode);
  known_.store(Known::kAscii, std::memory_order_release);
}

void CodePage::LearnAll() {
  std::lock_guard lock(mutex_);
  if (known_.load(std::memory_order_relaxed) == Known::kAll) return;
  if (known_.load(std::memory_order_relaxed) == Known::kNothing) LearnAscii();
  BuildTable();
  known_.store(Known::kAll, std::memory_order_release);
}

// One character (one unit, or a surrogate pair) into out: the bytes
// produced, 0 when the code page cannot hold it, -1 when it does not fit.
int CodePage::Encode(const char16_t* in, size_t units, char* out, size_t max) {
  char buffer[16];
  char* src = reinterpret_cast<char*>(const_cast<char16_t*>(in));
  size_t src_left = units * 2;
  char* dst = buffer;
  size_t dst_left = sizeof buffer;
  iconv_t cd = Converter();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) return 0;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  const size_t produced = sizeof buffer - dst_left;
  if (produced > max) return -1;
  for (size_t i = 0; i < produced; ++i) out[i] = buffer[i];
  return static_cast<int>(produced);
}

// A code page in which every byte stands alone converts through a table,
// read back from its 256 bytes; a byte that opens a longer sequence, or one
// held back to combine with the next, leaves conversion to iconv, character
// by character.
bool CodePage::BuildTable() {
  table_.clear();
  iconv_t back = iconv_open("UTF-16LE", name_.c_str());
  if (back == kNoConverter) return false;
  std::vector<int16_t> table(0x10000, -1);
  bool single_byte = true;
  for (int b = 0; b < 256 && single_byte; ++b) {
    char byte = static_cast<char>(b);
    char16_t unit[4];
    char* src = &byte;
    size_t src_left = 1;
    char* dst = reinterpret_cast<char*>(unit);
    size_t dst_left = sizeof unit;
    iconv(back, nullptr, nullptr, nullptr, nullptr);
    if (iconv(back, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
      single_byte = errno != EINVAL;  // EINVAL: the byte only begins a character
      continue;
    }
    if (sizeof unit - dst_left == 0) {
      // Held back to combine with what follows: such code pages compose and
      // decompose characters, which only the converter itself does right.
      single_byte = false;
      continue;
    }
    if (sizeof unit - dst_left == 2 && table[unit[0]] < 0) table[unit[0]] = static_cast<int16_t>(b);
  }
  iconv_close(back);
  if (!single_byte) return false;
  table_ = std::move(table);
  return true;
}

// A leading run of ASCII is copied across before anything else is looked
// up, so a line of ASCII alone needs neither the table nor iconv.
uint32_t CodePage::Convert(char* out, uint32_t max, const char16_t* in, uint32_t units) {
  const uint32_t copied = KeepsAscii() ? NarrowAsciiPrefix(out, max, in, units) : 0;
  if (copied == units || copied == max) return copied;
  if (known_.load(std::memory_order_acquire) != Known::kAll) LearnAll();
  out += copied;
  in += copied;
  max -= copied;
  units -= copied;
  return copied + (table_.empty() ? ConvertByIconv(out, max, in, units)
                                  : ConvertByTable(out, max, in, units));
}

uint32_t CodePage::ConvertByIconv(char* out, uint32_t max, const char16_t* in, uint32_t units) {
  std::lock_guard lock(mutex_);
  uint32_t produced = 0;
  uint32_t i = 0;
  while (i < units && produced < max) {
    const size_t width = IsSurrogatePair(in, i, units) ? 2 : 1;
    int bytes = Encode(in + i, width, out + produced, max - produced);
    if (bytes < 0) break;
    if (bytes == 0) {
      out[produced] = kDefaultChar;
      bytes = 1;
      ++replaced_;
    }
    produced += static_cast<uint32_t>(bytes);
    i += static_cast<uint32_t>(width);
  }
  return produced;
}

// One byte for every character. A surrogate, alone or in a pair, is no
// byte's character, so the table says so too and the pair is only looked
// for on that rarer path. Where the table keeps ASCII as it is, runs of it
// are narrowed sixteen units at a time.
uint32_t CodePage::ConvertByTable(char* out, uint32_t max, const char16_t* in, uint32_t units) {
  const int16_t* table = table_.data();  // out may alias anything: keep it in hand
  uint32_t produced = 0;
  uint32_t i = 0;
  uint64_t replaced = 0;
  while (i < units && produced < max) {
    const bool room = units - i >= kAsciiRun && max - produced >= kAsciiRun;
    if (ascii_kept_ && room && NarrowAsciiRun(in + i, out + produced)) {
      i += kAsciiRun;
      produced += kAsciiRun;
      continue;
    }
    const int16_t byte = table[in[i]];
    if (byte >= 0) {
      out[produced++] = static_cast<char>(byte);
      ++i;
      continue;
    }
    i += IsSurrogatePair(in, i, units) ? 2 : 1;
    out[produced++] = kDefaultChar;
    ++replaced;
  }
  replaced_ += replaced;
  return produced;
}

}  // namespace host
