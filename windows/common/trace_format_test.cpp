// The user-mode DLL's trace formatting, built for the host (the DLL itself
// cannot run here) and compared with the C library's printf for every form
// the driver's trace lines use and the edges around them; and cut at any
// length, as a short line on the stack is.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "windows/common/trace_format.h"

static int failures = 0;

static void Fail(const char* pszFormat, const char* pszWhat) {
  std::printf("FAIL: \"%s\": %s\n", pszFormat, pszWhat);
  ++failures;
}

// The text formatted into ample room; and, for every cut of it, formatted
// into that little room: the same length returned, the text's start kept
// and nothing written past the room.
static std::string Formatted(const char* pszFormat, va_list ap) {
  std::vector<char> line(16384);
  va_list whole;
  va_copy(whole, ap);
  unsigned cch = DrvFormatTrace(line.data(), line.size(), pszFormat, whole);
  va_end(whole);
  std::string text(line.data(), cch < line.size() ? cch : line.size());
  for (unsigned cchRoom : {0u, 1u, cch / 2, cch - 1}) {
    if (cchRoom >= cch) continue;
    std::vector<char> cut(cchRoom + 8, '#');
    va_list again;
    va_copy(again, ap);
    unsigned cchAgain = DrvFormatTrace(cut.data(), cchRoom, pszFormat, again);
    va_end(again);
    if (cchAgain != cch) Fail(pszFormat, "a cut line gives another length");
    if (std::string(cut.data(), cchRoom) != text.substr(0, cchRoom)) {
      Fail(pszFormat, "a cut line does not start as the whole one");
    }
    if (std::string(cut.data() + cchRoom, 8) != "########") Fail(pszFormat, "written past the room");
  }
  return text;
}

static void Report(const char* pszFormat, const std::string& got, const std::string& wanted) {
  if (got == wanted) return;
  std::printf("FAIL: \"%s\" gave \"%s\", not \"%s\"\n", pszFormat, got.c_str(), wanted.c_str());
  ++failures;
}

// pszFormat with the arguments as printf formats them.
static void ExpectPrintf(const char* pszFormat, ...) {
  va_list ap, theirs;
  va_start(ap, pszFormat);
  va_copy(theirs, ap);
  std::vector<char> wanted(8192);
  std::vsnprintf(wanted.data(), wanted.size(), pszFormat, theirs);
  va_end(theirs);
  Report(pszFormat, Formatted(pszFormat, ap), wanted.data());
  va_end(ap);
}

// For what printf leaves undefined: the text wanted, then the arguments.
static void ExpectText(const char* pszWanted, const char* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  Report(pszFormat, Formatted(pszFormat, ap), pszWanted);
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

// Longer than the stack's line, as a message may be.
static void TestLongMessages() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 26);
  for (int cch : {1000, 3000}) {
    ExpectPrintf("DrvTextOut: lpString [%.*s].", cch, text.c_str());
  }
  ExpectPrintf("%s|%s|%d", text.c_str(), text.c_str(), -5);
}

// Text and strings that end at the last byte before a page nobody may
// read, at every offset a word can have: read a word at a time, they must
// stop at their NUL, as the format and as an argument.
static void TestPageEnds() {
  const size_t cbPage = sysconf(_SC_PAGESIZE);
  void* pages = mmap(nullptr, 2 * cbPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  mprotect(static_cast<char*>(pages) + cbPage, cbPage, PROT_NONE);
  char* pchEnd = static_cast<char*>(pages) + cbPage - 1;
  *pchEnd = '\0';
  for (size_t cch = 0; cch <= 20; ++cch) {
    char* psz = pchEnd - cch;
    if (cch > 0) psz[0] = cch % 2 ? 'a' : 'b';
    ExpectPrintf("[%s]", psz);
    ExpectPrintf(psz);
  }
  munmap(pages, 2 * cbPage);
}

int TraceFormatFailures() {
  TestNumbers();
  TestTextAndLiterals();
  TestLongMessages();
  TestPageEnds();
  if (failures == 0) std::printf("ok: the trace formatting matches printf\n");
  return failures;
}
