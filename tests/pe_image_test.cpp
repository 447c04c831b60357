// The loader on a small image of this process's own machine, made here
// field by field from the PE format: one import, one relocation, one
// export, and on the 64-bit machines one function's exception data. Then
// the same image broken one way each, which must be refused with the
// reason and without touching memory outside the mapping.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "host/pe_image.h"
#include "host/platform_call.h"

namespace {

constexpr bool kWide = sizeof(void*) == 8;
#if defined(__aarch64__)
constexpr uint16_t kMachine = host::kMachineArm64;
constexpr uint32_t kExceptionEntry = 8;  // start, unwind data
#elif defined(__x86_64__)
constexpr uint16_t kMachine = host::kMachineAmd64;
constexpr uint32_t kExceptionEntry = 12;  // start, end, unwind data
#else
constexpr uint16_t kMachine = host::kMachineI386;
constexpr uint32_t kExceptionEntry = 0;
#endif
// Each machine's image in a process of another, and the refusal.
const struct {
  uint16_t machine;
  const char* refusal;
} kMachineRefusals[] = {
    {host::kMachineI386, "a 32-bit x86 image runs only in a 32-bit x86 process"},
    {host::kMachineAmd64, "an x86-64 image runs only in a 64-bit x86-64 process"},
    {host::kMachineArm64, "an ARM64 image runs only in a 64-bit ARM process"},
};
constexpr uint64_t kImageBase = kWide ? 0x180000000u : 0x10000000u;
// Where things lie: the optional header, its directory count, and the RVAs
// in the one section (RVA 0x1000, file offset 0x200). The export stands in
// for DrvEnableDriver, so the section is code.
constexpr size_t kOptional = 0x58;
constexpr size_t kDirectories = kOptional + (kWide ? 108 : 92);
constexpr size_t kSectionTable = kDirectories + 4 + 16 * 8;
constexpr uint32_t kImports = 0x1000, kLookup = 0x1040, kBound = 0x1060, kDllName = 0x1080,
                   kHintName = 0x10A0, kRelocs = 0x10C0, kPointer = 0x1100, kExports = 0x1140,
                   kException = 0x11A0, kUnwind = 0x11C0;

using Image = std::vector<uint8_t>;

constexpr size_t FileOffset(uint32_t rva) { return rva - 0x1000 + 0x200; }

template <typename T>
void Set(Image& image, size_t offset, T value) {
  std::memcpy(image.data() + offset, &value, sizeof value);
}
void SetPointer(Image& image, size_t offset, uint64_t value) {
  if (kWide) return Set<uint64_t>(image, offset, value);
  Set<uint32_t>(image, offset, static_cast<uint32_t>(value));
}
void SetText(Image& image, uint32_t rva, const char* text) {
  std::memcpy(image.data() + FileOffset(rva), text, std::strlen(text) + 1);
}

Image SmallImage() {
  Image image(0x400, 0);
  Set<uint16_t>(image, 0, 0x5A4D);
  Set<uint32_t>(image, 0x3C, 0x40);
  Set<uint32_t>(image, 0x40, 0x00004550);
  Set<uint16_t>(image, 0x44, kMachine);
  Set<uint16_t>(image, 0x46, 1);                                        // sections
  Set<uint16_t>(image, 0x54, static_cast<uint16_t>(kSectionTable - kOptional));
  Set<uint16_t>(image, 0x56, 0x2102);                                   // DLL, executable
  Set<uint16_t>(image, kOptional, kWide ? 0x020B : 0x010B);
  SetPointer(image, kOptional + (kWide ? 24 : 28), kImageBase);
  Set<uint32_t>(image, kOptional + 56, 0x2000);                         // SizeOfImage
  Set<uint32_t>(image, kOptional + 60, 0x200);                          // SizeOfHeaders
  Set<uint32_t>(image, kDirectories, 16);
  const uint32_t directories[][3] = {
      {0, kExports, 40}, {1, kImports, 40}, {3, kException, kExceptionEntry}, {5, kRelocs, 12}};
  for (const auto& [index, rva, size] : directories) {
    Set<uint32_t>(image, kDirectories + 4 + 8 * index, rva);
    Set<uint32_t>(image, kDirectories + 8 + 8 * index, size);
  }
  std::memcpy(image.data() + kSectionTable, ".text", 5);
  const uint32_t section[] = {0x1000, 0x1000, 0x200, 0x200};  // VirtualSize, RVA, raw size, offset
  std::memcpy(image.data() + kSectionTable + 8, section, sizeof section);
  Set<uint32_t>(image, kSectionTable + 36, 0x60000020);                 // read, execute, code
  Set<uint32_t>(image, FileOffset(kImports), kLookup);
  Set<uint32_t>(image, FileOffset(kImports) + 12, kDllName);
  Set<uint32_t>(image, FileOffset(kImports) + 16, kBound);
  SetPointer(image, FileOffset(kLookup), kHintName);
  SetPointer(image, FileOffset(kBound), kHintName);
  SetText(image, kDllName, "GDI32.dll");
  SetText(image, kHintName + 2, "EngCreateBitmap");
  Set<uint32_t>(image, FileOffset(kRelocs), 0x1000);
  Set<uint32_t>(image, FileOffset(kRelocs) + 4, 12);
  Set<uint16_t>(image, FileOffset(kRelocs) + 8, (kWide ? 0xA000 : 0x3000) | (kPointer & 0xFFF));
  SetPointer(image, FileOffset(kPointer), kImageBase + kPointer);
  Set<uint32_t>(image, FileOffset(kExports) + 20, 1);                   // functions
  Set<uint32_t>(image, FileOffset(kExports) + 24, 1);                   // names
  const uint32_t tables[] = {kExports + 0x40, kExports + 0x44, kExports + 0x48};
  std::memcpy(image.data() + FileOffset(kExports) + 28, tables, sizeof tables);
  Set<uint32_t>(image, FileOffset(kExports + 0x40), kPointer);
  Set<uint32_t>(image, FileOffset(kExports + 0x44), kExports + 0x50);
  SetText(image, kExports + 0x50, "DrvEnableDriver");
  // The exported function's: it starts at kPointer, its unwind data at
  // kUnwind is the last field.
  Set<uint32_t>(image, FileOffset(kException), kPointer);
  if (kExceptionEntry == 12) Set<uint32_t>(image, FileOffset(kException) + 4, kPointer + 8);
  if (kExceptionEntry != 0) Set<uint32_t>(image, FileOffset(kException) + kExceptionEntry - 4, kUnwind);
  return image;
}

TEST(PeImage, Load_MapsRelocatesBindsAndExports) {
  const auto image = host::PeImage::Load(SmallImage(), "small.dll");
  auto* base = static_cast<uint8_t*>(image->Export("DrvEnableDriver")) - kPointer;
  EXPECT_EQ(image->imports(), std::vector<std::string>{"gdi32.dll!EngCreateBitmap"});
  void* bound = nullptr;
  std::memcpy(&bound, base + kBound, sizeof bound);
  EXPECT_EQ(bound, reinterpret_cast<void*>(host::PlatformCallable<&EngCreateBitmap>()));
  void* relocated = nullptr;
  std::memcpy(&relocated, base + kPointer, sizeof relocated);
  EXPECT_EQ(relocated, base + kPointer);
  // The export, not the image's entry point (a user-mode DLL has none).
  EXPECT_EQ(reinterpret_cast<void*>(image->entry()), base + kPointer);
  EXPECT_EQ(image->Export("DrvQueryDriverInfo"), nullptr);
}

struct BrokenImage {
  std::function<void(Image&)> breaks;
  std::string reason;
};

void ExpectRefused(const std::vector<BrokenImage>& cases) {
  for (const auto& c : cases) {
    Image image = SmallImage();
    c.breaks(image);
    try {
      host::PeImage::Load(image, "broken.dll");
      ADD_FAILURE() << "loaded; expected: " << c.reason;
    } catch (const host::PeImageError& error) {
      EXPECT_EQ(error.what(), "broken.dll: " + c.reason);
    }
  }
}

TEST(PeImage, Load_RefusesAnImageOfAnotherMachine) {
  std::vector<BrokenImage> cases = {
      {[](Image& i) { Set<uint16_t>(i, 0x44, 0x01C4); }, "machine 0x01c4 is not i386, x86-64 or ARM64"}};
  for (const auto& [machine, refusal] : kMachineRefusals) {
    if (machine == kMachine) continue;
    const uint16_t other = machine;
    cases.push_back({[other](Image& i) { Set<uint16_t>(i, 0x44, other); }, refusal});
  }
  ExpectRefused(cases);
}

// Exception data naming anything but the image's code: the platform would
// unwind through it.
TEST(PeImage, Load_RefusesExceptionDataOutsideTheCode) {
  if (kExceptionEntry == 0) {
    ExpectRefused({{[](Image& i) { Set<uint32_t>(i, kDirectories + 8 + 8 * 3, 8); },
                    "the image has exception data, which its machine does not use"}});
    return;
  }
  constexpr size_t size = kDirectories + 8 + 8 * 3;
  constexpr size_t unwind = FileOffset(kException) + kExceptionEntry - 4;
  ExpectRefused({
      {[](Image& i) { Set<uint32_t>(i, size, kExceptionEntry + 4); },
       "the exception directory is malformed"},
      {[](Image& i) { Set<uint32_t>(i, size, 0x2000); }, "the exception directory is malformed"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kException), 0x100); },
       "the exception data names a function outside the image's code"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kException), 0x2000); },
       "the exception data names a function outside the image's code"},
      {[](Image& i) { Set<uint32_t>(i, unwind, 0x2000); },
       "the exception data's unwind data lies outside the image"},
  });
}

#if defined(__aarch64__)
// ARM64 packs a small function's unwind data into the entry itself (low
// two bits not 0): no RVA to check.
TEST(PeImage, Load_TakesPackedArm64UnwindData) {
  Image image = SmallImage();
  Set<uint32_t>(image, FileOffset(kException) + 4, 0xFFFF0001);
  EXPECT_NE(host::PeImage::Load(image, "packed.dll"), nullptr);
}

constexpr uint64_t kX18Mark = 0x5EED'0000'7EB0'0018;

// Sets x18 to kX18Mark, calls function as a platform image would, and
// answers x18 as the call left it.
uint64_t X18AfterCall(void (*function)()) {
  uint64_t after;
  asm volatile(
      "mov x18, %1\n"
      "blr %2\n"
      "mov %0, x18\n"
      : "=r"(after)
      : "r"(kX18Mark), "r"(function)
      : "x0", "x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8", "x9", "x10", "x11", "x12", "x13",
        "x14", "x15", "x16", "x17", "x30", "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v16",
        "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24", "v25", "v26", "v27", "v28",
        "v29", "v30", "v31", "cc", "memory");
  return after;
}

// Stands for library code that uses x18 as the temporary Linux lets it be.
void UsesX18() { asm volatile("mov x18, xzr"); }

TEST(PlatformCall, KeepsX18AcrossAServiceThatChangesIt) {
  ASSERT_NE(X18AfterCall(&UsesX18), kX18Mark) << "the stand-in left x18 as it was";
  EXPECT_EQ(X18AfterCall(host::PlatformCallable<&UsesX18>()), kX18Mark);
}
#endif

TEST(PeImage, Load_RefusesEachBrokenImageWithItsReason) {
  const std::vector<BrokenImage> cases = {
      {[](Image& i) { Set<uint16_t>(i, kOptional, kWide ? 0x010B : 0x020B); },
       "the optional header does not match the machine"},
      {[](Image& i) { SetPointer(i, FileOffset(kLookup), uint64_t{1} << (kWide ? 63 : 31) | 7); },
       "imports gdi32.dll by ordinal"},
      {[](Image& i) { SetText(i, kHintName + 2, "EngCreateBitmaQ"); },
       "imports EngCreateBitmaQ, which is not a known gdi32.dll service"},
      {[](Image& i) { SetText(i, kDllName, "NTDLL.dll"); },
       "imports from ntdll.dll, which the host does not provide for this image"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kImports) + 16, 0x2000); },
       "a table lies outside the image"},
      {[](Image& i) { Set<uint16_t>(i, FileOffset(kRelocs) + 8, kWide ? 0x3100 : 0xA100); },
       std::string("unsupported base relocation type ") + (kWide ? "3" : "10")},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kRelocs), 0x1FF0); }, "a table lies outside the image"},
      {[](Image& i) { Set<uint32_t>(i, kSectionTable + 8, 0x1001); },
       "section .text lies outside the image"},
      {[](Image& i) { i.resize(0x100); }, "the file is truncated"},
      // The directory's end wraps round 32 bits to just past its start.
      {[](Image& i) { Set<uint32_t>(i, kDirectories + 8 + 8 * 5, 0u - kRelocs + 12); },
       "the base relocations lie outside the image"},
      // A block of 8, then one whose size takes the walk back to it.
      {[](Image& i) {
         Set<uint32_t>(i, kDirectories + 8 + 8 * 5, 16);
         Set<uint32_t>(i, FileOffset(kRelocs) + 4, 8);
         Set<uint32_t>(i, FileOffset(kRelocs) + 8, 0x1000);
         Set<uint32_t>(i, FileOffset(kRelocs) + 12, 0xFFFFFFF8);
       },
       "a base relocation block is malformed"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kExports + 0x40), kExports + 0x10); },
       "export DrvEnableDriver is forwarded to another module"},
      {[](Image& i) { Set<uint16_t>(i, FileOffset(kExports + 0x48), 1); },
       "export DrvEnableDriver has no function (ordinal 1)"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kExports + 0x40), 0); },
       "export DrvEnableDriver has no address"},
      {[](Image& i) { SetText(i, kExports + 0x50, "DrvEnableDrivex"); },
       "the image exports no DrvEnableDriver and has no entry point"},
      {[](Image& i) { Set<uint32_t>(i, kSectionTable + 36, 0xC0000040); },
       "the entry point lies outside the image's code"},
      {[](Image& i) {
         Set<uint16_t>(i, 0x46, 2);
         std::memcpy(i.data() + kSectionTable + 40, ".bss", 4);
         Set<uint32_t>(i, kSectionTable + 40 + 8, 0x100);    // VirtualSize
         Set<uint32_t>(i, kSectionTable + 40 + 12, 0x1800);  // RVA, mid-page
         Set<uint32_t>(i, kSectionTable + 40 + 36, 0xC0000080);
       },
       "section .bss does not start on a page"},
      {[](Image& i) { Set<uint32_t>(i, FileOffset(kExports) + 24, 0x10001); },
       "the export directory names more than 65536 exports"},
      // A module name of 300 characters in a longer section.
      {[](Image& i) {
         i.resize(0x600);
         Set<uint32_t>(i, kSectionTable + 16, 0x400);
         std::memset(i.data() + FileOffset(0x1200), 'A', 300);
         Set<uint32_t>(i, FileOffset(kImports) + 12, 0x1200);
       },
       "a name is longer than 256 characters"},
  };
  ExpectRefused(cases);
}

}  // namespace
