// Kept apart from the engine's memory so that code outside the graphics
// driver can share them without pulling in the engine's allocator.
#include "driver/driver.h"

void DrvCopyBytes(void* lpDst, const void* lpSrc, ULONG cj) {
  BYTE* pbDst = static_cast<BYTE*>(lpDst);
  const BYTE* pbSrc = static_cast<const BYTE*>(lpSrc);
  for (ULONG i = 0; i < cj; ++i) pbDst[i] = pbSrc[i];
}

void DrvFillBytes(void* lpDst, BYTE byValue, ULONG cj) {
  BYTE* pbDst = static_cast<BYTE*>(lpDst);
  for (ULONG i = 0; i < cj; ++i) pbDst[i] = byValue;
}
