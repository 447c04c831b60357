#include "windows/common/trace_format.h"

#include <stddef.h>
#include <stdint.h>

namespace {

// The line being written: characters past cchRoom are counted, not stored.
struct TraceOutput {
  char* pchLine;
  unsigned cchRoom;
  unsigned cch;
};

struct Conversion {
  bool bLeft;
  bool bZero;
  bool bLong;
  int cchWidth;
  int cchPrecision;  // negative: none
  char chType;
};

void Put(TraceOutput* pOut, char ch) {
  if (pOut->cch < pOut->cchRoom) pOut->pchLine[pOut->cch] = ch;
  ++pOut->cch;
}

void PutRepeated(TraceOutput* pOut, char ch, int count) {
  for (int i = 0; i < count; ++i) Put(pOut, ch);
}

void PutText(TraceOutput* pOut, const char* pch, unsigned cch) {
  if (pOut->cch < pOut->cchRoom) {
    unsigned cchStored = pOut->cchRoom - pOut->cch < cch ? pOut->cchRoom - pOut->cch : cch;
    char* pchTo = pOut->pchLine + pOut->cch;
    for (unsigned i = 0; i < cchStored; ++i) pchTo[i] = pch[i];
  }
  pOut->cch += cch;
}

// The widest word the machine loads at once, read through any type and at
// any address.
typedef size_t __attribute__((may_alias, aligned(1))) Word;
const size_t kOnes = ~static_cast<size_t>(0) / 0xFF;
const uintptr_t kPage = 4096;

// The lowest byte of word that is zero, flagged by its high bit; other
// bytes may be flagged above it, never below.
size_t ZeroBytes(size_t word) { return (word - kOnes) & ~word & (kOnes << 7); }

// Which byte of the word a ZeroBytes result flags first in the string:
// every machine of the platform is little-endian, so the lowest.
unsigned LowestFlagged(size_t flags) {
  if constexpr (sizeof flags == 8) {
    return static_cast<unsigned>(__builtin_ctzll(flags)) / 8;
  } else {
    return static_cast<unsigned>(__builtin_ctz(flags)) / 8;
  }
}

// Copies psz a word at a time while a whole word fits cchStore and the
// string's page, up to a NUL or chStop; returns how far it went, and sets
// *pbStopped when it found one of them. A word is read only where it does
// not cross into another page, so one that holds the NUL cannot fault; its
// bytes past the NUL are never used, but that reading is what the host
// test's address sanitizer would refuse.
__attribute__((no_sanitize_address)) unsigned CopyWords(char* pchTo, const char* psz,
                                                         unsigned cchStore, char chStop,
                                                         bool* pbStopped) {
  const size_t stops = kOnes * static_cast<unsigned char>(chStop);
  uintptr_t cchToPage = kPage - reinterpret_cast<uintptr_t>(psz) % kPage;
  unsigned cchEnd = cchStore < cchToPage ? cchStore : static_cast<unsigned>(cchToPage);
  unsigned i = 0;
  for (; cchEnd - i >= sizeof(Word); i += sizeof(Word)) {
    size_t word = *reinterpret_cast<const Word*>(psz + i);
    size_t ends = ZeroBytes(word) | ZeroBytes(word ^ stops);
    *reinterpret_cast<Word*>(pchTo + i) = word;
    if (ends != 0) {
      *pbStopped = true;
      return i + LowestFlagged(ends);
    }
  }
  return i;
}

// Copies psz up to its NUL, the character chStop or cchMost characters,
// whichever comes first, storing what the room takes; returns how many.
// Text and strings are the most of a line: they go a word at a time.
unsigned PutRun(TraceOutput* pOut, const char* psz, unsigned cchMost, char chStop) {
  unsigned cchFree = pOut->cch < pOut->cchRoom ? pOut->cchRoom - pOut->cch : 0;
  unsigned cchStore = cchFree < cchMost ? cchFree : cchMost;
  unsigned i = 0;
  bool bStopped = false;
  if (cchStore > 0) {
    char* pchTo = pOut->pchLine + pOut->cch;
    i = CopyWords(pchTo, psz, cchStore, chStop, &bStopped);
    for (; !bStopped && i < cchStore && psz[i] != '\0' && psz[i] != chStop; ++i) {
      pchTo[i] = psz[i];
    }
  }
  if (!bStopped) {
    while (i < cchMost && psz[i] != '\0' && psz[i] != chStop) ++i;
  }
  pOut->cch += i;
  return i;
}

// A width or precision in digits; past 100000 it stops growing, so that no
// format can overflow it.
int Digits(const char** ppsz) {
  int value = 0;
  while (**ppsz >= '0' && **ppsz <= '9') {
    if (value < 100000) value = value * 10 + (**ppsz - '0');
    ++*ppsz;
  }
  return value;
}

// Reads the flags, width, precision and size of the conversion at psz (just
// past its '%'); returns the position after its type character.
const char* ReadConversion(const char* psz, Conversion* pConv, va_list* pap) {
  *pConv = Conversion{false, false, false, 0, -1, '\0'};
  for (;; ++psz) {
    if (*psz == '-') {
      pConv->bLeft = true;
    } else if (*psz == '0') {
      pConv->bZero = true;
    } else {
      break;
    }
  }
  pConv->cchWidth = Digits(&psz);
  if (*psz == '.') {
    ++psz;
    if (*psz == '*') {
      pConv->cchPrecision = va_arg(*pap, int);
      ++psz;
    } else {
      pConv->cchPrecision = Digits(&psz);
    }
  }
  if (*psz == 'l') {
    pConv->bLong = true;
    ++psz;
  }
  pConv->chType = *psz;
  return *psz ? psz + 1 : psz;
}

// The field's padding around its body; zeros go after a sign.
void PutField(TraceOutput* pOut, const Conversion& conv, const char* pch, unsigned cch,
              bool bZeroPad) {
  int cchPad = conv.cchWidth > static_cast<int>(cch) ? conv.cchWidth - static_cast<int>(cch) : 0;
  if (conv.bLeft) {
    PutText(pOut, pch, cch);
    PutRepeated(pOut, ' ', cchPad);
    return;
  }
  if (bZeroPad) {
    if (cch > 0 && pch[0] == '-') {
      Put(pOut, '-');
      ++pch;
      --cch;
    }
    PutRepeated(pOut, '0', cchPad);
  } else {
    PutRepeated(pOut, ' ', cchPad);
  }
  PutText(pOut, pch, cch);
}

// The numbers are long at most, 32 bits on the platform: no 64-bit
// division, which 32-bit x86 would take from the compiler's library.
void PutNumber(TraceOutput* pOut, const Conversion& conv, bool bNegative,
               unsigned long magnitude) {
  const char* pszDigits = conv.chType == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = (conv.chType == 'x' || conv.chType == 'X') ? 16 : 10;
  // 20 digits hold any value up to 64 bits.
  char achDigits[20];
  int cchDigits = 0;
  while (magnitude != 0) {
    achDigits[cchDigits++] = pszDigits[magnitude % base];
    magnitude /= base;
  }
  int cchMinimum = conv.cchPrecision < 0 ? 1 : conv.cchPrecision;
  if (cchMinimum > DRV_TRACE_MAX_DIGITS) cchMinimum = DRV_TRACE_MAX_DIGITS;
  char achBody[1 + DRV_TRACE_MAX_DIGITS];
  unsigned cchBody = 0;
  if (bNegative) achBody[cchBody++] = '-';
  for (int i = cchDigits; i < cchMinimum; ++i) achBody[cchBody++] = '0';
  while (cchDigits > 0) achBody[cchBody++] = achDigits[--cchDigits];
  PutField(pOut, conv, achBody, cchBody, conv.bZero && conv.cchPrecision < 0);
}

// No padding, the common case: the string goes straight into the line.
void PutString(TraceOutput* pOut, const Conversion& conv, const char* psz) {
  if (psz == nullptr) psz = "(null)";
  unsigned cchMost = conv.cchPrecision < 0 ? ~0u : static_cast<unsigned>(conv.cchPrecision);
  if (conv.cchWidth == 0) {
    PutRun(pOut, psz, cchMost, '\0');
    return;
  }
  unsigned cch = 0;
  while (cch < cchMost && psz[cch]) ++cch;
  PutField(pOut, conv, psz, cch, false);
}

void PutSigned(TraceOutput* pOut, const Conversion& conv, va_list* pap) {
  long value = conv.bLong ? va_arg(*pap, long) : va_arg(*pap, int);
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value)
                                      : static_cast<unsigned long>(value);
  PutNumber(pOut, conv, value < 0, magnitude);
}

void PutUnsigned(TraceOutput* pOut, const Conversion& conv, va_list* pap) {
  unsigned long value = conv.bLong ? va_arg(*pap, unsigned long) : va_arg(*pap, unsigned);
  PutNumber(pOut, conv, false, value);
}

// Returns false for a conversion of a form it does not know.
bool PutConversion(TraceOutput* pOut, const Conversion& conv, va_list* pap) {
  switch (conv.chType) {
    case 'd':
    case 'i':
      PutSigned(pOut, conv, pap);
      return true;
    case 'u':
    case 'x':
    case 'X':
      PutUnsigned(pOut, conv, pap);
      return true;
    case 'c': {
      char ch = static_cast<char>(va_arg(*pap, int));
      PutField(pOut, conv, &ch, 1, false);
      return true;
    }
    case 's':
      PutString(pOut, conv, va_arg(*pap, const char*));
      return true;
    case '%':
      Put(pOut, '%');
      return true;
    default:
      return false;
  }
}

}  // namespace

unsigned DrvFormatTrace(char* pchLine, unsigned cchRoom, const char* pszFormat, va_list ap) {
  TraceOutput out = {pchLine, cchRoom, 0};
  va_list args;
  va_copy(args, ap);
  const char* psz = pszFormat;
  for (;;) {
    psz += PutRun(&out, psz, ~0u, '%');
    if (!*psz) break;
    Conversion conv;
    const char* pszNext = ReadConversion(psz + 1, &conv, &args);
    if (!PutConversion(&out, conv, &args)) {
      PutText(&out, psz, static_cast<unsigned>(pszNext - psz));
    }
    psz = pszNext;
  }
  va_end(args);
  return out.cch;
}
