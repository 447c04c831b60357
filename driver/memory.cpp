#include "driver/driver.h"

PVOID DrvAllocPtr(ULONG cjSize) { return EngAllocMem(FL_ZERO_MEMORY, cjSize, DRV_POOL_TAG); }

void DrvFreePtr(PVOID pv) { EngFreeMem(pv); }

void DrvCopyBytes(void* lpDst, const void* lpSrc, ULONG cj) {
  BYTE* pbDst = static_cast<BYTE*>(lpDst);
  const BYTE* pbSrc = static_cast<const BYTE*>(lpSrc);
  for (ULONG i = 0; i < cj; ++i) pbDst[i] = pbSrc[i];
}

void DrvFillBytes(void* lpDst, BYTE byValue, ULONG cj) {
  BYTE* pbDst = static_cast<BYTE*>(lpDst);
  for (ULONG i = 0; i < cj; ++i) pbDst[i] = byValue;
}
