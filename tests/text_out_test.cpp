// Text output: which bytes reach the printer for each way the engine hands
// over a string, and what happens when the engine or the spooler fails.
#include <memory>

#include "host/checker/guarded_buffer.h"
#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

using Bytes = std::vector<uint8_t>;

class TextOutTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    pdev_ = std::make_unique<PDevice>();
    pdev_->hPrinter = printer_;
    pdev_->byLineTerminator = 1;
    surface_.dhpdev = reinterpret_cast<DHPDEV>(pdev_.get());
  }
  BOOL Out(host::TextObject& text) { return driver_.TextOut(&surface_, text.stro()); }
  // Sends one text object and answers the bytes written, in one write.
  Bytes Sent(host::TextObject& text) {
    ClearOutput();
    EXPECT_EQ(Out(text), TRUE);
    EXPECT_THAT(writes(), ElementsAre(bytes().size()));
    return bytes();
  }

  std::unique_ptr<PDevice> pdev_;
  SURFOBJ surface_{};
};

TEST_F(TextOutTest, Bytes_GlyphPositionsCorrectionAndLineTerminators) {
  struct Case {
    BYTE mode;
    FLONG accel;
    Bytes expected;
  };
  for (const Case& c : {Case{1, SO_GLYPHINDEX_TEXTOUT, {0x41, 0x42, 0x43, 0x0D, 0x0A}},
                        Case{0, 0, {0x24, 0x25, 0x26}}, Case{2, 0, {0x24, 0x25, 0x26, 0x0D}},
                        Case{3, 0, {0x24, 0x25, 0x26, 0x0A}}, Case{4, 0, {0x24, 0x25, 0x26}},
                        Case{255, 0, {0x24, 0x25, 0x26}}}) {
    pdev_->byLineTerminator = c.mode;
    host::TextObject text;
    text.SetGlyphs({36, 37, 38});
    text.stro()->flAccel = c.accel;
    EXPECT_EQ(Sent(text), c.expected) << "mode " << int(c.mode);
  }
  EXPECT_THAT(trace(), ElementsAre(Line("DrvTextOut:"), Line("DrvTextOut: lNumCharacters [3]."),
                                   Line("DrvTextOut: Allocated [3] bytes for the string."),
                                   Line("DrvTextOut: GLYPHPOS's have been provided."),
                                   Line("DrvTextOut: lpString [$%&]."),
                                   Line("DrvTextOut: Returning [1]")));
}

TEST_F(TextOutTest, Bytes_LowestByteOnlyAndZeroBytesPassButEndTheTrace) {
  host::TextObject text;
  text.SetGlyphs({0x141, 0xE3, 0x25});
  text.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
  EXPECT_EQ(Sent(text), Bytes({0x5E, 0x00, 0x42, 0x0D, 0x0A}));
  EXPECT_EQ(trace()[4], Line("DrvTextOut: lpString [^]."));
  host::TextObject plain;
  plain.SetGlyphs({0x141});
  EXPECT_EQ(Sent(plain), Bytes({0x41, 0x0D, 0x0A}));
}

TEST_F(TextOutTest, String_CorrectedOnACopyAndTheEnginesStringKept) {
  pdev_->byLineTerminator = 0;
  host::TextObject text;
  text.SetString(u"\x24\x25\x26\xE3");
  text.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
  // 0xE3 becomes 0x100 before conversion, which the code page lacks.
  const Bytes expected{0x41, 0x42, 0x43, '?'};
  EXPECT_EQ(Sent(text), expected);
  EXPECT_EQ(text.text(), u"\x24\x25\x26\xE3");
  EXPECT_EQ(Sent(text), expected) << "a second call sends the same bytes";
  EXPECT_EQ(trace()[3], Line("DrvTextOut: Original string has been provided."));
}

TEST_F(TextOutTest, String_WinsOverGlyphPositionsWhichAreNotRead) {
  host::GuardedBuffer unreadable(sizeof(GLYPHPOS));
  unreadable.MakeInaccessible();
  host::TextObject text;
  text.SetString(u"Hi");
  text.stro()->pgp = reinterpret_cast<GLYPHPOS*>(unreadable.data());
  EXPECT_EQ(Sent(text), Bytes({'H', 'i', 0x0D, 0x0A}));
  EXPECT_EQ(text.enum_starts(), 0);
}

TEST_F(TextOutTest, String_DoubleByteCodePageCutAtTheCountTerminatorBehind) {
  ASSERT_TRUE(engine().code_page.Select("CP932"));
  host::TextObject text;
  text.SetString(u"A\u65E5\u672C");  // 1 + 2 + 2 bytes for a count of 3
  const Bytes sent = Sent(text);
  ASSERT_TRUE(engine().code_page.Select("WINDOWS-1252"));
  EXPECT_EQ(sent, Bytes({'A', 0x93, 0xFA, 0x0D, 0x0A}));
}

TEST_F(TextOutTest, Enumeration_SendsOnlyWhatTheEngineDelivered) {
  // Three glyphs wanted; the buffer fills in the last batch, in the first
  // one, or in the first one before an empty batch. Every batch is fetched.
  for (const std::vector<ULONG>& batches :
       {std::vector<ULONG>{2, 2}, std::vector<ULONG>{3, 1}, std::vector<ULONG>{3, 0, 2}}) {
    host::TextObject text;
    text.SetEnumeration({'a', 'b', 'c', 'd', 'e'}, batches);
    text.stro()->cGlyphs = 3;
    EXPECT_EQ(Sent(text), Bytes({'a', 'b', 'c', 0x0D, 0x0A})) << batches.size() << " batches";
    EXPECT_EQ(text.enum_starts(), 1);
    EXPECT_EQ(text.enum_calls(), static_cast<int>(batches.size()))
        << "the enumeration runs to its end";
  }

  host::TextObject short_text;
  short_text.SetEnumeration({'a', 'b'});
  short_text.stro()->cGlyphs = 3;
  short_text.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
  EXPECT_EQ(Sent(short_text), Bytes({'a' + 29, 'b' + 29, 0x0D, 0x0A})) << "no filler byte";
  EXPECT_EQ(trace()[3], Line("DrvTextOut: GLYPHPOS's must be enumerated."));
}

TEST_F(TextOutTest, Enumeration_EngineErrorOrNoEndSendsNothing) {
  for (size_t batch = 0; batch < 3; ++batch) {
    host::TextObject text;
    text.SetEnumeration({'a', 'b', 'c'}, {1, 1, 1});
    text.AnswerDdiErrorAt(batch);
    ClearOutput();
    EXPECT_EQ(Out(text), FALSE) << "error at batch " << batch;
    EXPECT_EQ(text.enum_calls(), static_cast<int>(batch) + 1);
    EXPECT_THAT(trace(), ElementsAre(Line("DrvTextOut:"), Line("DrvTextOut: lNumCharacters [3]."),
                                     Line("DrvTextOut: Allocated [3] bytes for the string."),
                                     Line("DrvTextOut: GLYPHPOS's must be enumerated."),
                                     Line("DrvTextOut: STROBJ_bEnum failed!"),
                                     Line("DrvTextOut: Returning [0]")));
  }
  host::TextObject endless;
  endless.SetEnumeration({'a', 'b'});
  endless.AnswerTrueForever();
  ClearOutput();
  EXPECT_EQ(Out(endless), FALSE);
  EXPECT_EQ(endless.enum_calls(), 2 + 64);
  EXPECT_EQ(trace()[4], Line("DrvTextOut: STROBJ_bEnum does not end!"));
  EXPECT_TRUE(bytes().empty());
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}

TEST_F(TextOutTest, Trace_FullBufferIsNotReadBeyond) {
  checker().pool.UseGuardPages(true);
  host::TextObject text;
  text.SetGlyphs({'A', 'B', 'C'});
  EXPECT_EQ(Sent(text), Bytes({'A', 'B', 'C', 0x0D, 0x0A}));
  // The trace carries the line feed too, so the engine shows two lines.
  EXPECT_EQ(trace()[4], Line("DrvTextOut: lpString [ABC\r"));
  EXPECT_EQ(trace()[5], "].");
}

TEST_F(TextOutTest, Counts_EmptyIsTrueAndUnbufferableIsRefused) {
  host::TextObject text;
  text.SetGlyphs({});
  EXPECT_EQ(Out(text), TRUE);
  EXPECT_THAT(trace(), ElementsAre(Line("DrvTextOut:"), Line("DrvTextOut: There are no characters!"),
                                   Line("DrvTextOut: Returning [1]")));
  EXPECT_EQ(checker().pool.Allocations(), 0u) << "nothing allocated, not even for a terminator";
  EXPECT_EQ(checker().spooler.Writes(), 0u) << "not even an empty write";
  for (ULONG count : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFEu}) {
    text.stro()->cGlyphs = count;
    ClearOutput();
    EXPECT_EQ(Out(text), FALSE);
    const std::string shown = std::to_string(static_cast<LONG>(count));
    EXPECT_EQ(trace()[2], Line("DrvTextOut: [" + shown + "] characters cannot be buffered!"));
  }
  // A corrected copy that would not fit beside the text is not asked for.
  text.SetString(u"x");
  text.stro()->flAccel = SO_GLYPHINDEX_TEXTOUT;
  text.stro()->cGlyphs = 0x60000000;
  EXPECT_EQ(Out(text), FALSE);
  EXPECT_EQ(checker().pool.Allocations(), 0u);
  EXPECT_EQ(checker().spooler.Writes(), 0u);
}

TEST_F(TextOutTest, Failures_FalseWithTheBufferFreed) {
  host::TextObject text;
  text.SetGlyphs({'a'});
  checker().pool.faults().FailNth(1);
  ClearOutput();
  EXPECT_EQ(Out(text), FALSE);
  EXPECT_THAT(trace(), ElementsAre(Line("DrvTextOut:"), Line("DrvTextOut: lNumCharacters [1]."),
                                   Line("DrvTextOut: Failed to allocate [1] bytes!"),
                                   Line("DrvTextOut: Returning [0]")));
  EXPECT_EQ(checker().spooler.Writes(), 0u);

  checker().spooler.failed_writes().FailNth(1);
  ClearOutput();
  EXPECT_EQ(Out(text), FALSE);
  EXPECT_EQ(trace().back(), Line("DrvTextOut: Returning [0]"));
  EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
}

}  // namespace
