// The user-mode DLL's trace formatting, built for the host (the DLL itself
// cannot run here) and compared with the C library's printf for every form
// the driver's trace lines use and the edges around them; and its pieces:
// none empty or longer than the sink takes, joined they are the whole text.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "windows/common/trace_format.h"

static int failures = 0;
static std::vector<std::string> pieces;

static void Collect(void*, const char* pszPiece) { pieces.emplace_back(pszPiece); }

static std::string Formatted(const char* pszPrefix, const char* pszFormat, va_list ap) {
  pieces.clear();
  DrvFormatTrace(Collect, nullptr, pszPrefix, pszFormat, ap);
  std::string text;
  for (const std::string& piece : pieces) {
    if (piece.empty() || piece.size() > DRV_TRACE_PIECE_CHARS) {
      std::printf("FAIL: \"%s\" sent a piece of %zu characters\n", pszFormat, piece.size());
      ++failures;
    }
    text += piece;
  }
  return text;
}

static void Report(const char* pszFormat, const std::string& got, const std::string& wanted) {
  if (got == wanted) return;
  std::printf("FAIL: \"%s\" gave \"%s\", not \"%s\"\n", pszFormat, got.c_str(), wanted.c_str());
  ++failures;
}

// The prefix, then pszFormat with the arguments as printf formats them.
static void ExpectPrintf(const char* pszFormat, ...) {
  va_list ap, theirs;
  va_start(ap, pszFormat);
  va_copy(theirs, ap);
  std::vector<char> wanted(8192);
  std::vsnprintf(wanted.data(), wanted.size(), pszFormat, theirs);
  va_end(theirs);
  Report(pszFormat, Formatted("DRVKRNL: ", pszFormat, ap), std::string("DRVKRNL: ") + wanted.data());
  va_end(ap);
}

// For what printf leaves undefined: the text wanted, then the arguments.
static void ExpectText(const char* pszWanted, const char* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  Report(pszFormat, Formatted("", pszFormat, ap), pszWanted);
  va_end(ap);
}

static void TestNumbers() {
  for (int value : {0, 1, -1, 42, -42, 2233, INT_MAX, INT_MIN}) {
    ExpectPrintf("DrvEnableDriver: Returning %d", value);
    ExpectPrintf("[%i] [%5d] [%-5d] [%05d] [%.3d] [%8.3d] [%08.3d] [%-08d]", value, value, value,
                 value, value, value, value, value);
    ExpectPrintf("[%u] [%x] [%X] [%.0u]", static_cast<unsigned>(value),
                 static_cast<unsigned>(value), static_cast<unsigned>(value),
                 static_cast<unsigned>(value));
  }
  for (long value : {0L, 7L, -7L, 851200L, LONG_MAX, LONG_MIN}) {
    ExpectPrintf("InitPDevice: dmPaperWidth [%ld] gives no pixel!", value);
    ExpectPrintf("[%08lx] [%lx] [%lX] [%lu] [%12ld] [%-12ld|]", static_cast<unsigned long>(value),
                 static_cast<unsigned long>(value), static_cast<unsigned long>(value),
                 static_cast<unsigned long>(value), value, value);
  }
  ExpectPrintf("[%.0d] [%.0x] [%5.0d]", 0, 0u, 0);  // precision 0 prints no digit for 0
  ExpectPrintf("[%.32d] [%-.32d]", -1, 12345);
  ExpectText("[00000000000000000000000000000001]", "[%.40d]", 1);
}

static void TestTextAndLiterals() {
  char achName[] = {'L', 'P', 'T', '1', 'X', 'Y'};  // no NUL: read no further than asked
  for (int cch : {0, 1, 4}) ExpectPrintf("DrvTextOut: lpString [%.*s].", cch, achName);
  ExpectPrintf("[%.*s] [%.*s]", -5, "negative is none", 3, "abcdef");
  ExpectPrintf("DrvEnablePDEV: pwszDeviceName [%s] hDriver [%08lx]", "printer",
               static_cast<unsigned long>(0x1234));
  ExpectPrintf("[%s] [%10s] [%-10s|] [%.2s] [%c] [%3c] [%%] [100%%]", "", "right", "left", "cut",
               'A', 'B');
  ExpectPrintf("plain text, no conversion");
  ExpectPrintf("%s", "\n");
  ExpectText("[(null)]", "[%s]", static_cast<const char*>(nullptr));
  // A form it does not know is sent as it stands and takes no argument.
  ExpectText("[%q] [%lq] 7", "[%q] [%lq] %d", 7);
  ExpectText("ends in %", "ends in %");
}

// Longer than any piece: the text arrives whole, cut into pieces in order.
static void TestLongMessages() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 26);
  for (int cch : {DRV_TRACE_PIECE_CHARS - 9, DRV_TRACE_PIECE_CHARS - 8, 1000, 3000}) {
    ExpectPrintf("DrvTextOut: lpString [%.*s].", cch, text.c_str());
  }
  ExpectPrintf("%s|%s|%d", text.c_str(), text.c_str(), -5);
}

int TraceFormatFailures() {
  TestNumbers();
  TestTextAndLiterals();
  TestLongMessages();
  if (failures == 0) std::printf("ok: the trace formatting matches printf\n");
  return failures;
}
