#include "driver/driver.h"

// Two engine calls make one line: the prefixed message, then its line feed.
void DrvDebugPrint(const char* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  EngDebugPrint(const_cast<PCHAR>("DRVKRNL: "), const_cast<PCHAR>(pszFormat), ap);
  va_end(ap);
  va_start(ap, pszFormat);
  EngDebugPrint(const_cast<PCHAR>(""), const_cast<PCHAR>("\n"), ap);
  va_end(ap);
}
