// The trace formatting of the user-mode DLLs: the printf conversions the
// driver's trace lines use, with no C library, into the caller's line.
#pragma once

#include <stdarg.h>

// The most digits a number's precision asks for; a larger one counts as this.
#define DRV_TRACE_MAX_DIGITS 32

// Writes pszFormat formatted with the arguments in ap into pchLine, at most
// cchRoom characters and no NUL; returns the length of the whole text, which
// is more than cchRoom when the text was cut there.
// Conversions: d i u x X c s and %%, with the flags '-' and '0', a width in
// digits, a precision in digits or '*' (taken from an int argument; a
// negative one counts as none) and the size prefix 'l'. A string is read no
// further than its precision, so "%.*s" may name bytes without a NUL. A
// conversion of any other form is sent as it stands, taking no argument.
unsigned DrvFormatTrace(char* pchLine, unsigned cchRoom, const char* pszFormat, va_list ap);
