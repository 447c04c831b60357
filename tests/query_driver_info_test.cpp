// DrvQueryDriverInfo, as the spooler calls it on the user-mode graphics DLL
// when it installs or loads the driver: whether the DLL runs in user mode.
#include <array>
#include <cstring>

#include "tests/engine_test.h"
#include "ui/host_printui.h"

namespace {

using PFN_DrvQueryDriverInfo = BOOL(APIENTRY*)(DWORD, PVOID, DWORD, DWORD*);
constexpr DWORD kUserMode = 1;  // DRVQUERY_USERMODE
constexpr DWORD kUntouched = 0xDEADBEEF;
constexpr uint8_t kCanary = 0xCC;

PFN_DrvQueryDriverInfo QueryDriverInfo() {
  return reinterpret_cast<PFN_DrvQueryDriverInfo>(
      reinterpret_cast<void (*)(void)>(TestDriverExport("DrvQueryDriverInfo")));
}

class QueryDriverInfoTest : public EngineTest {};

// Only the user-mode DLL answers the query; the spooler takes a DLL without
// the export for a kernel-mode one.
TEST_F(QueryDriverInfoTest, ExportedByTheUserModeDllAlone) {
  EXPECT_EQ(QueryDriverInfo() != nullptr, TestingUserModeDll());
}

// Each call gets a buffer of 8 canary bytes and writes, if anything, at
// offset; what comes back is compared whole with the table.
TEST_F(QueryDriverInfoTest, ModesAndBuffers_AnswerNeededSizeAndError) {
  if (!TestingUserModeDll()) {
    EXPECT_EQ(QueryDriverInfo(), nullptr);
    return;
  }
  const struct Case {
    const char* what;
    DWORD mode;
    bool null_buffer;
    size_t offset;  // into the 8-byte buffer: 1 and 3 are unaligned
    DWORD cb;
    bool null_needed;
    BOOL result;
    DWORD error;  // after SetLastError(0); 0 when none is set
    DWORD needed;
    bool written;  // TRUE, as a DWORD, at offset
  } cases[] = {
      {"whole buffer", kUserMode, false, 0, 4, false, TRUE, 0, 4, true},
      {"larger buffer", kUserMode, false, 0, 8, false, TRUE, 0, 4, true},
      {"unaligned by 1", kUserMode, false, 1, 4, false, TRUE, 0, 4, true},
      {"unaligned by 3", kUserMode, false, 3, 5, false, TRUE, 0, 4, true},
      {"no size wanted back", kUserMode, false, 0, 4, true, TRUE, 0, kUntouched, true},
      {"short buffer", kUserMode, false, 0, 3, false, FALSE, ERROR_INSUFFICIENT_BUFFER, 4, false},
      {"empty buffer", kUserMode, false, 0, 0, false, FALSE, ERROR_INSUFFICIENT_BUFFER, 4, false},
      {"NULL buffer", kUserMode, true, 0, 4, false, FALSE, ERROR_INSUFFICIENT_BUFFER, 4, false},
      {"NULL buffer, no size", kUserMode, true, 0, 0, true, FALSE, ERROR_INSUFFICIENT_BUFFER,
       kUntouched, false},
      {"mode 0", 0, false, 0, 8, false, FALSE, ERROR_INVALID_PARAMETER, kUntouched, false},
      {"mode 2", 2, false, 0, 8, false, FALSE, ERROR_INVALID_PARAMETER, kUntouched, false},
      {"mode ~0", ~DWORD{0}, false, 0, 8, false, FALSE, ERROR_INVALID_PARAMETER, kUntouched,
       false},
  };
  for (const Case& c : cases) {
    std::array<uint8_t, 8> buffer;
    buffer.fill(kCanary);
    DWORD needed = kUntouched;
    SetLastError(0);
    const BOOL result = QueryDriverInfo()(c.mode, c.null_buffer ? nullptr : buffer.data() + c.offset,
                                          c.cb, c.null_needed ? nullptr : &needed);
    const DWORD error = GetLastError();
    std::array<uint8_t, 8> expected;
    expected.fill(kCanary);
    if (c.written) {
      const DWORD answer = TRUE;
      std::memcpy(expected.data() + c.offset, &answer, sizeof answer);
    }
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(needed, c.needed) << c.what;
    EXPECT_EQ(buffer, expected) << c.what;
  }
}

}  // namespace
