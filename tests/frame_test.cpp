// The driver frame: loading, the function table, the trace, memory and the
// spooler write.
#include <cstring>

#include "driver/driver.h"
#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;

namespace {

class FrameTest : public EngineTest {};

TEST_F(FrameTest, EnableDriver_RefusesOldEnginesAndShortRecords) {
  struct Case {
    ULONG version;
    ULONG cj;
    BOOL expected;
  };
  // 12 bytes on the platform; 64-bit hosts widen pdrvfn.
  constexpr ULONG kRecord = sizeof(DRVENABLEDATA);
  for (const Case& c : {Case{0x1FFFF, kRecord, FALSE}, Case{0x20000, kRecord, TRUE},
                        Case{0x30000, kRecord, TRUE}, Case{0x20000, kRecord - 1, FALSE},
                        Case{0x20000, 0, FALSE}, Case{0x20000, 0xFFFFFFFF, TRUE}}) {
    DRVENABLEDATA ded;
    std::memset(&ded, 0xCC, sizeof ded);
    ClearOutput();
    EXPECT_EQ(DrvEnableDriver(c.version, c.cj, &ded), c.expected) << std::hex << c.version << " " << c.cj;
    if (c.expected) {
      EXPECT_EQ(ded.iDriverVersion, 0x20000u);
      EXPECT_EQ(ded.c, 13u);
    } else {
      DRVENABLEDATA untouched;
      std::memset(&untouched, 0xCC, sizeof untouched);
      EXPECT_EQ(std::memcmp(&ded, &untouched, sizeof ded), 0) << "a refused record was written";
    }
    EXPECT_THAT(trace(), ElementsAre(Line("DrvEnableDriver:"),
                                     Line("DrvEnableDriver: Returning " + std::to_string(c.expected))));
  }
}

TEST_F(FrameTest, EnableDriver_TableInTheEnginesOrder) {
  ASSERT_TRUE(driver_.loaded());
  std::vector<ULONG> indices;
  for (ULONG i = 0; i < driver_.data().c; ++i) indices.push_back(driver_.data().pdrvfn[i].iFunc);
  EXPECT_THAT(indices, ElementsAre(INDEX_DrvEnablePDEV, INDEX_DrvDisablePDEV, INDEX_DrvResetPDEV,
                                   INDEX_DrvCompletePDEV, INDEX_DrvEnableSurface,
                                   INDEX_DrvDisableSurface, INDEX_DrvStartDoc, INDEX_DrvEndDoc,
                                   INDEX_DrvStartPage, INDEX_DrvSendPage, INDEX_DrvTextOut,
                                   INDEX_DrvDitherColor, INDEX_DrvFree));
  EXPECT_EQ(indices, std::vector<ULONG>({0, 2, 7, 1, 3, 4, 35, 34, 33, 32, 23, 13, 42}));
  for (ULONG i = 0; i < driver_.data().c; ++i) EXPECT_NE(driver_.data().pdrvfn[i].pfn, nullptr);
}

TEST_F(FrameTest, Answers_DitherColorAndFreeOnlyTrace) {
  ClearOutput();
  ULONG pul[4] = {7, 7, 7, 7};
  EXPECT_EQ(driver_.DitherColor(nullptr, 0, 0x00FFFFFF, pul), 2u);
  EXPECT_EQ(driver_.DitherColor(reinterpret_cast<DHPDEV>(0x10), 99, 0, nullptr), 2u);
  EXPECT_THAT(pul, ElementsAre(7u, 7u, 7u, 7u));
  driver_.Free(reinterpret_cast<PVOID>(0x1234), 5);
  EXPECT_THAT(trace(), ElementsAre(Line("DrvDitherColor: Returning [DCR_HALFTONE]"),
                                   Line("DrvDitherColor: Returning [DCR_HALFTONE]"),
                                   Line("DrvFree:")));
}

TEST_F(FrameTest, DebugPrint_OneLineWithPrefixAndLineFeed) {
  DrvDebugPrint("DrvTextOut: Returning [%d]", 1);
  DrvDebugPrint("X [%08lx] [%ld] [%s] [%.*s]", static_cast<ULONG>(0xAB), static_cast<LONG>(-5),
                "text", 2, "abc");
  DrvDebugPrint("%ld", static_cast<LONG>(0x7FFFFFFF));
  EXPECT_THAT(trace(), ElementsAre("DRVKRNL: DrvTextOut: Returning [1]",
                                   "DRVKRNL: X [000000ab] [-5] [text] [ab]",
                                   "DRVKRNL: 2147483647"));
}

TEST_F(FrameTest, AllocPtr_ZeroFilledAndTaggedRTXD) {
  checker().pool.UseGuardPages(false);
  auto* block = static_cast<BYTE*>(DrvAllocPtr(100));
  ASSERT_TRUE(block);
  const std::optional<host::Block> info = checker().pool.Find(block);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 100u);
  EXPECT_EQ(info->flags, static_cast<ULONG>(FL_ZERO_MEMORY));
  EXPECT_EQ(host::TagText(info->tag), "RTXD");
  EXPECT_EQ(info->tag & 0xFF, static_cast<ULONG>('R'));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0) << i;
  DrvFreePtr(block);
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}

TEST_F(FrameTest, AllocPtr_PassesZeroAndFailureThrough) {
  EXPECT_EQ(DrvAllocPtr(0), nullptr);
  EXPECT_THAT(TakeFindings(), ElementsAre(::testing::HasSubstr("zero-byte allocation")));
  checker().pool.faults().FailNth(1);
  EXPECT_EQ(DrvAllocPtr(16), nullptr);
}

class WriteSpoolTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    pdev_ = std::make_unique<PDevice>();
    pdev_->hPrinter = printer_;
  }
  std::unique_ptr<PDevice> pdev_;
  const BYTE text_[7] = {'a', 'b', 'c', 'd', 'e', 'f', 'g'};
};

TEST_F(WriteSpoolTest, WholeWrite_OneEngineWrite) {
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 7), TRUE);
  EXPECT_THAT(bytes(), ElementsAre('a', 'b', 'c', 'd', 'e', 'f', 'g'));
  EXPECT_THAT(writes(), ElementsAre(7u));
}

TEST_F(WriteSpoolTest, ShortWrites_RestFollowsUntilEveryByteIsWritten) {
  checker().spooler.short_writes().FailNth(1);  // the first write takes half
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 7), TRUE);
  EXPECT_THAT(bytes(), ElementsAre('a', 'b', 'c', 'd', 'e', 'f', 'g'));
  EXPECT_THAT(writes(), ElementsAre(3u, 4u));
  // Every write taking half ends with a write that takes nothing: a failure.
  checker().spooler.short_writes().FailAll();
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 7), FALSE);
  EXPECT_EQ(bytes().size(), 7u + 3 + 2 + 1);
}

TEST_F(WriteSpoolTest, FailedWrite_FalseAndNothingRepeated) {
  checker().spooler.short_writes().FailNth(1);
  checker().spooler.failed_writes().FailNth(2);
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 7), FALSE);
  EXPECT_THAT(bytes(), ElementsAre('a', 'b', 'c'));
  checker().spooler.failed_writes().FailNth(1);
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 7), FALSE);
  EXPECT_EQ(bytes().size(), 3u);
}

TEST_F(WriteSpoolTest, EmptyWrite_StillAsksTheEngineOnce) {
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 0), TRUE);
  EXPECT_EQ(checker().spooler.Writes(), 1u);
  checker().spooler.failed_writes().FailNth(1);
  EXPECT_EQ(DrvWriteSpool(pdev_.get(), text_, 0), FALSE);
}

}  // namespace
