// The byte routines the compiler may call on its own, for structure copies
// and for loops it recognises, in an image that links no C runtime. This
// file is built without that loop recognition, or these loops would become
// calls to themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* pvDst, const void* pvSrc, size_t cb) {
  unsigned char* pbDst = static_cast<unsigned char*>(pvDst);
  const unsigned char* pbSrc = static_cast<const unsigned char*>(pvSrc);
  for (size_t i = 0; i < cb; ++i) pbDst[i] = pbSrc[i];
  return pvDst;
}

// Copies towards the start or the end so that overlapping ranges are read
// before they are overwritten.
void* memmove(void* pvDst, const void* pvSrc, size_t cb) {
  unsigned char* pbDst = static_cast<unsigned char*>(pvDst);
  const unsigned char* pbSrc = static_cast<const unsigned char*>(pvSrc);
  if (pbDst <= pbSrc || pbDst >= pbSrc + cb) return memcpy(pvDst, pvSrc, cb);
  for (size_t i = cb; i > 0; --i) pbDst[i - 1] = pbSrc[i - 1];
  return pvDst;
}

void* memset(void* pvDst, int iValue, size_t cb) {
  unsigned char* pbDst = static_cast<unsigned char*>(pvDst);
  for (size_t i = 0; i < cb; ++i) pbDst[i] = static_cast<unsigned char>(iValue);
  return pvDst;
}

int memcmp(const void* pv1, const void* pv2, size_t cb) {
  const unsigned char* pb1 = static_cast<const unsigned char*>(pv1);
  const unsigned char* pb2 = static_cast<const unsigned char*>(pv2);
  for (size_t i = 0; i < cb; ++i) {
    if (pb1[i] != pb2[i]) return pb1[i] < pb2[i] ? -1 : 1;
  }
  return 0;
}

}  // extern "C"
