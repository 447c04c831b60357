#include "driver/driver.h"

void DrvCopyName(WCHAR* lpDst, ULONG cchDst, const WCHAR* lpSrc) {
  if (cchDst == 0) return;
  ULONG i = 0;
  if (lpSrc != nullptr) {
    for (; i + 1 < cchDst && lpSrc[i] != 0; ++i) lpDst[i] = lpSrc[i];
  }
  lpDst[i] = 0;
}

void DrvNarrowName(char* lpDst, ULONG cbDst, const WCHAR* lpSrc) {
  if (cbDst == 0) return;
  ULONG i = 0;
  if (lpSrc != nullptr) {
    for (; i + 1 < cbDst && lpSrc[i] != 0; ++i) {
      lpDst[i] = lpSrc[i] < 0x100 ? static_cast<char>(lpSrc[i]) : '?';
    }
  }
  lpDst[i] = 0;
}
