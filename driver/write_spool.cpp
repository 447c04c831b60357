#include "driver/driver.h"
#include "pdev/pdevice.h"

// The engine may take fewer bytes than asked; the rest follows in further
// writes, so that success always means every byte reached the spooler.
// Nothing is written twice: each write starts where the last one stopped.
BOOL DrvWriteSpool(PDevice* lpPDevice, const void* lpBuffer, ULONG cj) {
  const BYTE* pb = static_cast<const BYTE*>(lpBuffer);
  ULONG cjLeft = cj;
  do {
    DWORD cjWritten = 0;
    if (!EngWritePrinter(lpPDevice->hPrinter, const_cast<BYTE*>(pb), cjLeft, &cjWritten)) {
      return FALSE;
    }
    if (cjLeft == 0) return TRUE;
    if (cjWritten == 0) return FALSE;
    if (cjWritten > cjLeft) cjWritten = cjLeft;
    pb += cjWritten;
    cjLeft -= cjWritten;
  } while (cjLeft > 0);
  return TRUE;
}
