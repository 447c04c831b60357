// Reading the command's input: lines, line breaks, invalid UTF-8, and the
// check pass that knows the code page's verdict before anything is sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "host/engine.h"
#include "tools/failure.h"
#include "tools/input.h"
#include "tools/line_reader.h"

namespace {

using textrelay::Failure;
using textrelay::LineReader;
using ::testing::ElementsAre;

// A temporary file holding the text; removed with the object.
class TextFile {
 public:
  explicit TextFile(const std::string& text) {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  ~TextFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_ = ::testing::TempDir() + "tool_input_" + std::to_string(getpid()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

std::vector<std::u16string> ReadAll(const std::string& text,
                                    LineReader::Invalid invalid = LineReader::Invalid::kStop) {
  const TextFile file(text);
  const textrelay::Input input = textrelay::Input::Open(file.path());
  LineReader reader(input.Rewound(), "in", invalid);
  std::vector<std::u16string> lines;
  while (reader.Next()) lines.push_back(reader.line());
  return lines;
}

class ToolInput : public ::testing::Test {
 protected:
  void TearDown() override {
    host::Engine::Get().code_page.Select("WINDOWS-1252");
    host::Engine::Get().code_page.ResetCounts();
  }
  textrelay::InputReport Check(const std::string& text, const char* code_page,
                               LineReader::Invalid invalid = LineReader::Invalid::kStop) {
    host::CodePage& page = host::Engine::Get().code_page;
    EXPECT_TRUE(page.Select(code_page));
    const TextFile file(text);
    const textrelay::Input input = textrelay::Input::Open(file.path());
    const textrelay::InputReport report = textrelay::CheckInput(input, invalid, page);
    EXPECT_EQ(page.replaced(), 0u) << "the check pass left counts behind";
    return report;
  }
};

TEST_F(ToolInput, Lines_BreaksAreLfOrCrLfAndNotPartOfTheLine) {
  EXPECT_THAT(ReadAll("a\r\nb\n\nc"), ElementsAre(u"a", u"b", u"", u"c"));
  EXPECT_THAT(ReadAll("a\rb\n"), ElementsAre(u"a\rb"));
  EXPECT_THAT(ReadAll(""), ElementsAre());
  EXPECT_THAT(ReadAll("\n"), ElementsAre(u""));
  EXPECT_THAT(ReadAll("a\r"), ElementsAre(u"a\r")) << "a CR without LF ends no line";
  EXPECT_THAT(ReadAll("a\r\n\r"), ElementsAre(u"a", u"\r"));
}

// Lines are found in blocks of the input: lines across a block's end, one
// longer than a block, and a last one without a line break come whole, and
// places stay those in the file.
TEST_F(ToolInput, Lines_AcrossBlocksAndLongerThanOne) {
  std::string text;
  std::vector<std::u16string> expected;
  const size_t lengths[] = {1, 524287, 0, 3, 1500000, 70000, 524288};
  for (size_t i = 0; i < std::size(lengths); ++i) {
    const char letter = static_cast<char>('a' + i);
    text += std::string(lengths[i], letter) + (i % 2 == 0 ? "\n" : "\r\n");
    expected.emplace_back(lengths[i], letter);
  }
  const size_t tail_offset = text.size();
  text += "\xFFtail";
  expected.push_back(u"\uFFFDtail");
  EXPECT_THAT(ReadAll(text, LineReader::Invalid::kReplace), ::testing::ElementsAreArray(expected));
  const textrelay::InputReport report = Check(text, "WINDOWS-1252", LineReader::Invalid::kReplace);
  EXPECT_EQ(report.invalid, 1u);
  EXPECT_EQ(report.invalid_line, std::size(lengths) + 1);
  EXPECT_EQ(report.invalid_offset, tail_offset);
}

// The check pass passes over lines of ASCII alone in runs: the lines beyond
// ASCII it is handed, and their numbers, are those that reading every line
// finds, wherever they fall against the blocks (just before, on and after a
// block's end, after a line longer than a block, at the very end).
TEST_F(ToolInput, Lines_BeyondAsciiComeWithTheirNumbersWhateverTheBlocks) {
  std::string text;
  const size_t kBlock = 524288;
  for (const size_t at : {10, 524286, 524400, 1048575, 1200000, 2700000}) {
    while (text.size() + 81 < at) {
      text += std::string(text.size() % 77, 'a') + (at % 2 ? "\r\n" : "\n");
    }
    text += std::string(at - text.size(), 'b') + "\xC3\xA9\n";
    if (at == 1200000) text += std::string(2 * kBlock, 'c') + "\n";
  }
  text += "\xE2\x82\xAC";
  const TextFile file(text);
  const textrelay::Input input = textrelay::Input::Open(file.path());
  std::vector<std::pair<uint64_t, std::u16string>> expected;
  LineReader every(input.Rewound(), "in", LineReader::Invalid::kStop);
  while (every.Next()) {
    if (!every.ascii()) expected.emplace_back(every.line_number(), every.line());
  }
  std::vector<std::pair<uint64_t, std::u16string>> found;
  LineReader skimming(input.Rewound(), "in", LineReader::Invalid::kStop);
  while (skimming.NextNotAscii()) found.emplace_back(skimming.line_number(), skimming.line());
  EXPECT_EQ(found, expected);
  EXPECT_EQ(expected.size(), 7u);
}

// Lines of ASCII are widened sixteen bytes at a time, the last sixteen
// overlapping those before: each length around a run's, with a character
// beyond ASCII at each place or none, reads as decoding character by
// character gives, the first line after a byte order mark.
TEST_F(ToolInput, Lines_AsciiRunsReadAsCharacterByCharacter) {
  std::string text = "\xEF\xBB\xBF";
  std::vector<std::u16string> expected;
  for (size_t length = 41; length-- > 0;) {
    for (size_t at = length + 1; at-- > 0;) {
      std::string line;
      for (size_t i = 0; i < length; ++i) line += static_cast<char>('!' + (length + i) % 90);
      std::u16string wide(line.begin(), line.end());
      if (at < length) {
        line.replace(at, 1, "\xC3\xA9");
        wide[at] = u'\u00e9';
      }
      text += line + "\n";
      expected.push_back(wide);
    }
  }
  EXPECT_EQ(ReadAll(text), expected);
}

TEST_F(ToolInput, Lines_ControlCharactersAndAstralCharactersPass) {
  EXPECT_THAT(ReadAll("\x1b@\x1dV\x01\f\xf0\x9f\x96\xa8\n"),
              ElementsAre(u"\x1b@\x1dV\x01\f\U0001F5A8"));
}

TEST_F(ToolInput, Lines_LeadingByteOrderMarkIsDropped) {
  EXPECT_THAT(ReadAll("\xEF\xBB\xBFHi\n\xEF\xBB\xBFHo\n"), ElementsAre(u"Hi", u"\uFEFFHo"));
}

TEST_F(ToolInput, Invalid_StopsNamingLineAndByteOffset) {
  try {
    ReadAll("ok\nab\xC3(\n");
    FAIL() << "invalid UTF-8 was taken";
  } catch (const Failure& failure) {
    EXPECT_STREQ(failure.what(), "in: line 2, byte offset 5: invalid UTF-8; nothing was sent");
  }
  EXPECT_THROW(ReadAll("truncated \xE2\x82"), Failure);
  EXPECT_THROW(ReadAll("overlong \xC0\xAF\n"), Failure);
  EXPECT_THROW(ReadAll("surrogate \xED\xA0\x80\n"), Failure);
}

TEST_F(ToolInput, Invalid_ReplacedByReplacementCharacterWhenAsked) {
  EXPECT_THAT(ReadAll("a\xFF" "b\n\xC3\n", LineReader::Invalid::kReplace),
              ElementsAre(u"a\uFFFDb", u"\uFFFD"));
  const textrelay::InputReport report =
      Check("ok\nx\xFFy\xFE\n", "WINDOWS-1252", LineReader::Invalid::kReplace);
  EXPECT_EQ(report.invalid, 2u);
  EXPECT_EQ(report.invalid_line, 2u);
  EXPECT_EQ(report.invalid_offset, 4u);
  const textrelay::InputReport truncated =
      Check("\xE2\x82\n\xF0\x9F\x98\n", "WINDOWS-1252", LineReader::Invalid::kReplace);
  EXPECT_EQ(truncated.invalid, 2u) << "one for each truncated sequence, not for each byte";
  EXPECT_EQ(truncated.invalid_offset, 0u);
}

// Each maximal subpart of an ill-formed sequence (the longest start of a
// well-formed one, at least a byte) is one U+FFFD; the second byte's range
// decides overlong forms, surrogates and what lies beyond U+10FFFF.
TEST_F(ToolInput, Invalid_EachMaximalSubpartBecomesOneReplacement) {
  const struct {
    std::string bytes;
    std::u16string line;
  } cases[] = {
      {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xEF\xBF\xBF \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF",
       u"\u0080 \u07FF \u0800 \uFFFF \U00010000 \U0010FFFF"},
      {"\xC0\x80 \xC1\xBF \xE0\x9F\xBF \xF0\x8F\xBF\xBF",
       u"\uFFFD\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xED\x9F\xBF \xED\xA0\x80 \xEE\x80\x80", u"\uD7FF \uFFFD\uFFFD\uFFFD \uE000"},
      {"\xF4\x90\x80\x80 \xF5\x80 \xFF\xFE", u"\uFFFD\uFFFD\uFFFD\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD"},
      {"\xE2\x82 \xF0\x9F\x98 \xE2" "A \xE2\x82" "A \xF4\x8F\xBF \xC3",
       u"\uFFFD \uFFFD \uFFFDA \uFFFDA \uFFFD \uFFFD"},
      // The Unicode Standard's own example.
      {"a\xF1\x80\x80\xE1\x80\xC2" "b\x80" "c\x80\xBF" "d",
       u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"abcdefgh\xC3\xA9ijklmnop\xE2\x82\xACqrstuvw\xF0\x9F\x96\xA8xyz01234\xE2\x82",
       u"abcdefgh\u00E9ijklmnop\u20ACqrstuvw\U0001F5A8xyz01234\uFFFD"},
  };
  for (const auto& [bytes, line] : cases) {
    EXPECT_THAT(ReadAll(bytes + "\n", LineReader::Invalid::kReplace), ElementsAre(line)) << bytes;
  }
}

TEST_F(ToolInput, Memory_LineBufferDoesNotGrowPastTheLongestLine) {
  const TextFile file(std::string(100000, 'x') + "\n" + std::string(10, 'y') + "\n");
  const textrelay::Input input = textrelay::Input::Open(file.path());
  LineReader reader(input.Rewound(), "in", LineReader::Invalid::kStop);
  ASSERT_TRUE(reader.Next());
  const char16_t* buffer = reader.line().data();
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.line(), u"yyyyyyyyyy");
  EXPECT_EQ(reader.line().data(), buffer) << "a short line took a new buffer";
}

TEST_F(ToolInput, CodePage_CountsUnmappableAndFindsTheFirst) {
  const textrelay::InputReport report = Check("plain\nab€c ☃ ☃\n", "CP437");
  EXPECT_EQ(report.unmappable, 3u);
  EXPECT_EQ(report.first_unmappable.line, 2u);
  EXPECT_EQ(report.first_unmappable.column, 3u);
  EXPECT_EQ(Check("Ωδ Жж\n", "CP1253").unmappable, 2u);
  EXPECT_EQ(Check("Жж\n", "CP866").unmappable, 0u);
}

TEST_F(ToolInput, CodePage_DoubleByteLineTheDriverWouldCutIsFound) {
  const textrelay::InputReport katakana = Check("ｶﾀｶﾅ abc\n", "CP932");
  EXPECT_EQ(katakana.cut_lines, 0u) << "half-width katakana take one byte each";
  const textrelay::InputReport kanji = Check("ok\n日本語\n", "CP932");
  EXPECT_EQ(kanji.cut_lines, 1u);
  EXPECT_EQ(kanji.first_cut_line, 2u);
  EXPECT_EQ(kanji.first_cut_byte, 3u);
  EXPECT_EQ(kanji.cut_bytes, 4u) << "6 bytes, of which the driver sends 2";
  // Lines of ASCII alone are judged without converting them only where
  // every ASCII character is one byte of the code page.
  EXPECT_EQ(Check("abc\n", "UTF-16LE").cut_lines, 1u);
  EXPECT_EQ(Check("a[b]\n", "ISO646-DE").unmappable, 2u);
}

// Four bytes a unit must fit the conversion's 32-bit counts: a line of 2^30
// units or more is refused before anything is sent, never checked short.
TEST_F(ToolInput, Lines_OfTwoToTheThirtyUnitsOrMoreAreRefused) {
  const TextFile file("x\n");
  const textrelay::Input input = textrelay::Input::Open(file.path());
  LineReader reader(input.Rewound(), "in", LineReader::Invalid::kStop);
  ASSERT_TRUE(reader.Next());
  const auto refusal = [&reader](uint64_t units) -> std::string {
    try {
      textrelay::RefuseOverlongLine(reader, units);
      return "";
    } catch (const Failure& failure) {
      return failure.what();
    }
  };
  for (const uint64_t units : {uint64_t{0}, (uint64_t{1} << 30) - 1}) EXPECT_EQ(refusal(units), "");
  for (const uint64_t units : {uint64_t{1} << 30, uint64_t{1} << 32, (uint64_t{1} << 32) + 1}) {
    EXPECT_EQ(refusal(units), "in: line 1: " + std::to_string(units) +
                                  " UTF-16 units, more than the 1073741823 a line may hold; "
                                  "nothing was sent");
  }
}

TEST_F(ToolInput, Stdin_IsCopiedSoThatItCanBeReadTwice) {
  const TextFile file("one\ntwo\n");
  std::FILE* pipe = std::fopen(file.path().c_str(), "rb");
  const textrelay::Input input = textrelay::Input::Open("-", pipe);
  std::fclose(pipe);
  for (int pass = 0; pass < 2; ++pass) {
    LineReader reader(input.Rewound(), input.name(), LineReader::Invalid::kStop);
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.line(), u"one");
  }
  EXPECT_EQ(input.name(), "standard input");
}

}  // namespace
