#include "windows/common/trace_format.h"

namespace {

struct TraceOutput {
  DrvTraceSink pfnSink;
  void* lpContext;
  unsigned cch;
  char ach[DRV_TRACE_PIECE_CHARS + 1];
};

struct Conversion {
  bool bLeft;
  bool bZero;
  bool bLong;
  int cchWidth;
  int cchPrecision;  // negative: none
  char chType;
};

void Flush(TraceOutput* pOut) {
  if (pOut->cch == 0) return;
  pOut->ach[pOut->cch] = '\0';
  pOut->pfnSink(pOut->lpContext, pOut->ach);
  pOut->cch = 0;
}

void Put(TraceOutput* pOut, char ch) {
  if (pOut->cch == DRV_TRACE_PIECE_CHARS) Flush(pOut);
  pOut->ach[pOut->cch++] = ch;
}

void PutRepeated(TraceOutput* pOut, char ch, int count) {
  for (int i = 0; i < count; ++i) Put(pOut, ch);
}

void PutText(TraceOutput* pOut, const char* pch, unsigned cch) {
  for (unsigned i = 0; i < cch; ++i) Put(pOut, pch[i]);
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

void PutString(TraceOutput* pOut, const Conversion& conv, const char* psz) {
  if (psz == nullptr) psz = "(null)";
  unsigned cch = 0;
  while ((conv.cchPrecision < 0 || cch < static_cast<unsigned>(conv.cchPrecision)) && psz[cch]) {
    ++cch;
  }
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

void DrvFormatTrace(DrvTraceSink pfnSink, void* lpContext, const char* pszPrefix,
                    const char* pszFormat, va_list ap) {
  TraceOutput out;
  out.pfnSink = pfnSink;
  out.lpContext = lpContext;
  out.cch = 0;
  va_list args;
  va_copy(args, ap);
  for (const char* psz = pszPrefix; *psz; ++psz) Put(&out, *psz);
  const char* psz = pszFormat;
  while (*psz) {
    if (*psz != '%') {
      Put(&out, *psz++);
      continue;
    }
    Conversion conv;
    const char* pszNext = ReadConversion(psz + 1, &conv, &args);
    if (!PutConversion(&out, conv, &args)) {
      PutText(&out, psz, static_cast<unsigned>(pszNext - psz));
    }
    psz = pszNext;
  }
  va_end(args);
  Flush(&out);
}
