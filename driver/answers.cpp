#include "driver/driver.h"
#include "driver/functions.h"

// The engine halftones every colour itself; nothing is written through pul.
ULONG APIENTRY DrvDitherColor(DHPDEV, ULONG, ULONG, ULONG*) {
  DrvDebugPrint("DrvDitherColor: Returning [DCR_HALFTONE]");
  return DCR_HALFTONE;
}

// The driver hands the engine nothing that it would have to free here.
VOID APIENTRY DrvFree(PVOID, ULONG_PTR) { DrvDebugPrint("DrvFree:"); }
