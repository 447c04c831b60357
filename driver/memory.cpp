#include "driver/driver.h"

PVOID DrvAllocPtr(ULONG cjSize) { return EngAllocMem(FL_ZERO_MEMORY, cjSize, DRV_POOL_TAG); }

void DrvFreePtr(PVOID pv) { EngFreeMem(pv); }
