#include "driver/driver.h"
#include "driver/functions.h"

// Through void (*)(void), the one function type every other converts to.
#define DRV_FN(index, fn) {index, reinterpret_cast<PFN>(reinterpret_cast<void (*)(void)>(fn))}

// The engine sees exactly these functions, in this order.
static const DRVFN gadrvfn[] = {
    DRV_FN(INDEX_DrvEnablePDEV, DrvEnablePDEV),
    DRV_FN(INDEX_DrvDisablePDEV, DrvDisablePDEV),
    DRV_FN(INDEX_DrvResetPDEV, DrvResetPDEV),
    DRV_FN(INDEX_DrvCompletePDEV, DrvCompletePDEV),
    DRV_FN(INDEX_DrvEnableSurface, DrvEnableSurface),
    DRV_FN(INDEX_DrvDisableSurface, DrvDisableSurface),
    DRV_FN(INDEX_DrvStartDoc, DrvStartDoc),
    DRV_FN(INDEX_DrvEndDoc, DrvEndDoc),
    DRV_FN(INDEX_DrvStartPage, DrvStartPage),
    DRV_FN(INDEX_DrvSendPage, DrvSendPage),
    DRV_FN(INDEX_DrvTextOut, DrvTextOut),
    DRV_FN(INDEX_DrvDitherColor, DrvDitherColor),
    DRV_FN(INDEX_DrvFree, DrvFree),
};

#define DRV_FUNCTION_COUNT ((ULONG)(sizeof(gadrvfn) / sizeof(gadrvfn[0])))
static_assert(sizeof(gadrvfn) / sizeof(gadrvfn[0]) == 13, "13 driver functions");

// The image's entry point, called once by the engine after loading the
// driver. Fills the engine's DRVENABLEDATA with the function table when the
// engine is at least NT 4.0's and its record is large enough; otherwise
// writes nothing and answers FALSE, and the engine does not use the driver.
extern "C" BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj,
                                         DRVENABLEDATA* pded) {
  DrvDebugPrint("DrvEnableDriver:");
  BOOL bResult = FALSE;
  if (iEngineVersion >= DDI_DRIVER_VERSION_NT4 && cj >= sizeof(DRVENABLEDATA)) {
    pded->iDriverVersion = DDI_DRIVER_VERSION_NT4;
    pded->c = DRV_FUNCTION_COUNT;
    pded->pdrvfn = const_cast<DRVFN*>(gadrvfn);
    bResult = TRUE;
  }
  DrvDebugPrint("DrvEnableDriver: Returning %d", bResult);
  return bResult;
}
