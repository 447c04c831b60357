// The image's byte routines, built for the host under other names (the
// DLL itself cannot run here) and compared with the C library's.
#include <cstddef>
#include <cstdio>
#include <cstring>

extern "C" {
void* drv_memcpy(void* pvDst, const void* pvSrc, size_t cb);
void* drv_memmove(void* pvDst, const void* pvSrc, size_t cb);
void* drv_memset(void* pvDst, int iValue, size_t cb);
int drv_memcmp(const void* pv1, const void* pv2, size_t cb);
}

static int failures = 0;

static void Expect(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

static void Fill(unsigned char* pb, size_t cb) {
  for (size_t i = 0; i < cb; ++i) pb[i] = static_cast<unsigned char>(i * 7 + 1);
}

// Every overlap of a 16-byte move within 40 bytes, in both directions.
static void TestMoveOverlaps() {
  for (size_t src = 0; src <= 24; ++src) {
    for (size_t dst = 0; dst <= 24; ++dst) {
      unsigned char ours[40], theirs[40];
      Fill(ours, sizeof ours);
      Fill(theirs, sizeof theirs);
      void* result = drv_memmove(ours + dst, ours + src, 16);
      std::memmove(theirs + dst, theirs + src, 16);
      Expect(result == ours + dst, "memmove returns its destination");
      Expect(std::memcmp(ours, theirs, sizeof ours) == 0, "memmove of overlapping ranges");
    }
  }
}

static void TestCopyAndFill() {
  unsigned char src[33], dst[35];
  Fill(src, sizeof src);
  std::memset(dst, 0xEE, sizeof dst);
  Expect(drv_memcpy(dst + 1, src, sizeof src) == dst + 1, "memcpy returns its destination");
  Expect(std::memcmp(dst + 1, src, sizeof src) == 0, "memcpy copies every byte");
  Expect(dst[0] == 0xEE && dst[34] == 0xEE, "memcpy writes nothing outside its range");
  Expect(drv_memset(dst + 1, 0x1FF, 33) == dst + 1, "memset returns its destination");
  Expect(dst[1] == 0xFF && dst[33] == 0xFF, "memset stores the value's low byte");
  Expect(dst[0] == 0xEE && dst[34] == 0xEE, "memset writes nothing outside its range");
  Expect(drv_memcpy(dst, src, 0) == dst && dst[0] == 0xEE, "zero bytes change nothing");
}

static void TestCompare() {
  const unsigned char a[] = {1, 2, 0x80, 4};
  const unsigned char b[] = {1, 2, 0x7F, 9};
  Expect(drv_memcmp(a, a, 4) == 0, "memcmp of equal ranges");
  Expect(drv_memcmp(a, b, 4) > 0 && drv_memcmp(b, a, 4) < 0,
         "memcmp orders by the first differing byte, unsigned");
  Expect(drv_memcmp(a, b, 2) == 0, "memcmp stops at its length");
}

int main() {
  TestMoveOverlaps();
  TestCopyAndFill();
  TestCompare();
  std::printf("%s\n", failures == 0 ? "ok: byte routines" : "byte routines failed");
  return failures == 0 ? 0 : 1;
}
