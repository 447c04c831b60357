// The spooler's questions before a job prints and its news about printers.
#include "ui/ui.h"

// Called by the spooler before it sends a job to the printer. Every job this
// driver is given can print: the graphics driver takes any record (what it
// cannot use it replaces with its defaults), so the answer is TRUE and no
// error text is written. A missing or short query is FALSE with
// ERROR_INVALID_PARAMETER.
BOOL APIENTRY DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo) {
  DrvDebugPrint("DevQueryPrintEx: pDQPInfo [%08lx].", DRV_TRACE_PTR(pDQPInfo));
  if (pDQPInfo == nullptr || pDQPInfo->cbSize < sizeof(DEVQUERYPRINT_INFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pDQPInfo->cchNeeded = 0;
  return TRUE;
}

// Called by the spooler when a printer using this driver is added, removed,
// connected or changed. The driver keeps nothing per printer, so there is
// nothing to set up or clean up: every event succeeds.
BOOL APIENTRY DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam) {
  (void)pPrinterName;
  (void)lParam;
  DrvDebugPrint("DrvPrinterEvent: DriverEvent [%d], Flags [%08lx].", static_cast<int>(DriverEvent),
                static_cast<unsigned long>(Flags));
  return TRUE;
}
