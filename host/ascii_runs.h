// Runs of sixteen ASCII characters, tested and converted at once: most text
// is ASCII, and each line of it goes from UTF-8 to UTF-16 and back to bytes.
// SSE2 where the build may use it (every x86-64 build); plain loops
// elsewhere: the 32-bit x86 build, which assumes no SSE2, tests that path,
// and the ARM64 one takes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace host {

inline constexpr size_t kAsciiRun = 16;

// Whether the sixteen bytes at in are all ASCII.
inline bool IsAsciiRun(const void* in) {
#if defined(__SSE2__)
  return _mm_movemask_epi8(_mm_loadu_si128(static_cast<const __m128i*>(in))) == 0;
#else
  uint64_t halves[2];
  std::memcpy(halves, in, sizeof halves);
  return ((halves[0] | halves[1]) & 0x8080808080808080u) == 0;
#endif
}

#if !defined(__SSE2__)
// Sixteen characters, known to be ASCII, in another width: a loop the
// compiler makes vector code of where the machine has vectors.
template <typename From, typename To>
void CopyRun(const From* in, To* out) {
  for (size_t i = 0; i < kAsciiRun; ++i) out[i] = static_cast<To>(in[i]);
}
#endif

// Sixteen ASCII bytes to their units; false, with nothing written, when any
// of them is not ASCII.
inline bool WidenAsciiRun(const unsigned char* in, char16_t* out) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  if (_mm_movemask_epi8(bytes) != 0) return false;
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
  return true;
#else
  if (!IsAsciiRun(in)) return false;
  CopyRun(in, out);
  return true;
#endif
}

// Sixteen ASCII units to their bytes; false, with nothing written, when any
// of them is not ASCII.
inline bool NarrowAsciiRun(const char16_t* in, char* out) {
#if defined(__SSE2__)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
  // A unit above 0x7F has a bit of 0xFF80: adding 0x7F80 without wrapping
  // then sets the top bit of its upper byte, and of no ASCII unit's.
  const __m128i beyond = _mm_adds_epu16(_mm_or_si128(low, high), _mm_set1_epi16(0x7F80));
  if ((_mm_movemask_epi8(beyond) & 0xAAAA) != 0) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return true;
#else
  uint64_t quarters[4];
  std::memcpy(quarters, in, sizeof quarters);
  const uint64_t high = quarters[0] | quarters[1] | quarters[2] | quarters[3];
  if ((high & 0xFF80FF80FF80FF80u) != 0) return false;
  CopyRun(in, out);
  return true;
#endif
}

// The units before the first that is not ASCII, as bytes; no more than max.
inline uint32_t NarrowAsciiPrefix(char* out, uint32_t max, const char16_t* in, uint32_t units) {
  const uint32_t most = units < max ? units : max;
  uint32_t i = 0;
  while (most - i >= kAsciiRun && NarrowAsciiRun(in + i, out + i)) i += kAsciiRun;
  // The last sixteen again, overlapping units already copied alike.
  if (i < most && most - i < kAsciiRun && most >= kAsciiRun &&
      NarrowAsciiRun(in + most - kAsciiRun, out + most - kAsciiRun)) {
    return most;
  }
  for (; i < most && in[i] < 0x80; ++i) out[i] = static_cast<char>(in[i]);
  return i;
}

}  // namespace host
