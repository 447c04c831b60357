// The trace formatting of the user-mode DLLs: the printf conversions the
// driver's trace lines use, with no C library and no limit on a message's
// length.
#pragma once

#include <stdarg.h>

// Receives the formatted text in NUL-terminated pieces, in order; the pieces
// joined are the text. lpContext is the caller's, handed on unchanged.
typedef void (*DrvTraceSink)(void* lpContext, const char* pszPiece);

// The longest piece the sink receives, its NUL not counted.
#define DRV_TRACE_PIECE_CHARS 255
// The most digits a number's precision asks for; a larger one counts as this.
#define DRV_TRACE_MAX_DIGITS 32

// Sends pszPrefix, then pszFormat formatted with the arguments in ap.
// Conversions: d i u x X c s and %%, with the flags '-' and '0', a width in
// digits, a precision in digits or '*' (taken from an int argument; a
// negative one counts as none) and the size prefix 'l'. A string is read no
// further than its precision, so "%.*s" may name bytes without a NUL. A
// conversion of any other form is sent as it stands, taking no argument.
void DrvFormatTrace(DrvTraceSink pfnSink, void* lpContext, const char* pszPrefix,
                    const char* pszFormat, va_list ap);
