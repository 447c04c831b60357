#include <windows.h>
#include <winddi.h>

#include "driver/driver.h"

// Called by the spooler's local print provider when it installs or loads the
// graphics DLL, to learn whether the DLL runs in user mode: for
// DRVQUERY_USERMODE it writes one DWORD, TRUE, to pBuffer and answers TRUE.
// *pcbNeeded receives the size that answer needs whenever the mode is known,
// so a caller with too small a buffer learns how much to offer. FALSE with
// ERROR_INSUFFICIENT_BUFFER when pBuffer cannot hold it, with
// ERROR_INVALID_PARAMETER for any other mode; nothing is written then but
// *pcbNeeded.
extern "C" BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf,
                                            PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD dwUserMode = TRUE;
  if (pcbNeeded != NULL) *pcbNeeded = sizeof(dwUserMode);
  if (pBuffer == NULL || cbBuf < sizeof(dwUserMode)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The caller's buffer need not be aligned for a DWORD.
  DrvCopyBytes(pBuffer, &dwUserMode, sizeof(dwUserMode));
  return TRUE;
}
