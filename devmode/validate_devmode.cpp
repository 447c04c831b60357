#include "devmode/devmode.h"
#include "driver/driver.h"

namespace {

struct HeaderCheck {
  const char* pszLine;
  WORD DEVMODEW::*pwField;
  WORD wRequired;
};

constexpr HeaderCheck kHeaderChecks[] = {
    {"IsValidDrvDevMode: SpecVersion   is [%s].", &DEVMODEW::dmSpecVersion, DM_SPECVERSION},
    {"IsValidDrvDevMode: DriverVersion is [%s].", &DEVMODEW::dmDriverVersion, DRV_DRIVER_VERSION},
    {"IsValidDrvDevMode: Size          is [%s].", &DEVMODEW::dmSize, sizeof(DEVMODEW)},
    {"IsValidDrvDevMode: DriverExtra   is [%s].", &DEVMODEW::dmDriverExtra, DRV_DRIVER_EXTRA},
};

// Every check is traced, even after one has failed.
BOOL CheckHeader(const DEVMODEW* lpDrvDevMode) {
  BOOL bValid = TRUE;
  for (const HeaderCheck& c : kHeaderChecks) {
    BOOL bField = lpDrvDevMode->*c.pwField == c.wRequired;
    DrvDebugPrint(c.pszLine, bField ? "Valid" : "Invalid");
    if (!bField) bValid = FALSE;
  }
  return bValid;
}

}  // namespace

BOOL IsValidDrvDevMode(const DEVMODEW* lpDrvDevMode) {
  DrvDebugPrint("IsValidDrvDevMode: lpDrvDevMode [%08lx].", DRV_TRACE_PTR(lpDrvDevMode));
  BOOL bValid = FALSE;
  if (lpDrvDevMode == nullptr) {
    DrvDebugPrint("IsValidDrvDevMode: lpDrvDevMode is NULL.");
  } else {
    bValid = CheckHeader(lpDrvDevMode);
  }
  DrvDebugPrint("IsValidDrvDevMode: Returning [%d].", bValid);
  return bValid;
}
