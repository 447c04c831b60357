#include "driver/driver.h"
#include "driver/functions.h"
#include "pdev/pdevice.h"

// Ejects the last page once the document's text is out.
static const BYTE gbyFormFeed = 0x0C;

static PDevice* PDeviceOf(SURFOBJ* pso) { return reinterpret_cast<PDevice*>(pso->dhpdev); }

// Called by the engine at the start of every print job. All text goes out
// as it is drawn, so nothing is written here; always TRUE.
BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR, DWORD) {
  DrvDebugPrint("DrvStartDoc: lpPDevice [%08lx].", DRV_TRACE_PTR(PDeviceOf(pso)));
  DrvDebugPrint("DrvStartDoc: Returning [%d]", TRUE);
  return TRUE;
}

// Called by the engine before each page's drawing calls. Writes nothing;
// always TRUE.
BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
  DrvDebugPrint("DrvStartPage: lpPDevice [%08lx].", DRV_TRACE_PTR(PDeviceOf(pso)));
  DrvDebugPrint("DrvStartPage: Returning [%d]", TRUE);
  return TRUE;
}

// Called by the engine after each page's drawing calls. The surface is
// never sent and pages are not ejected; always TRUE.
BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
  DrvDebugPrint("DrvSendPage: lpPDevice [%08lx].", DRV_TRACE_PTR(PDeviceOf(pso)));
  DrvDebugPrint("DrvSendPage: Returning [%d]", TRUE);
  return TRUE;
}

// Called by the engine at the end of every print job, aborted ones too.
// Writes one form feed when the device asks for it (flag exactly 1) and
// then returns the write's result; otherwise writes nothing and returns
// TRUE. Allocates nothing.
BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG) {
  PDevice* lpPDevice = PDeviceOf(pso);
  DrvDebugPrint("DrvEndDoc: lpPDevice [%08lx].", DRV_TRACE_PTR(lpPDevice));
  BOOL bResult = TRUE;
  if (lpPDevice->byFormFeed == 1) bResult = DrvWriteSpool(lpPDevice, &gbyFormFeed, 1);
  DrvDebugPrint("DrvEndDoc: Returning [%d]", bResult);
  return bResult;
}
