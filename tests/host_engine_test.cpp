// The host engine's checker: what it counts and what it calls a finding.
// The facts it stands in for come from the platform's documentation of the
// engine services.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver.h"
#include "host/job.h"
#include "host/trace.h"
#include "host/user_mode_services.h"
#include "tests/engine_test.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class HostEngineTest : public EngineTest {};

TEST_F(HostEngineTest, LiveReport_NamesLeftBlocksAndHandles) {
  void* block = EngAllocMem(FL_ZERO_MEMORY, 8, DRV_POOL_TAG);
  HPALETTE palette = EngCreatePalette(PAL_INDEXED, 0, nullptr, 0, 0, 0);
  SIZEL size{32, 32};
  HBITMAP bitmap = EngCreateBitmap(size, 4, BMF_1BPP, BMF_TOPDOWN, block);
  EXPECT_THAT(engine().LiveReport(), HasSubstr("1 pool blocks live"));
  EXPECT_THAT(engine().LiveReport(), HasSubstr("1 surfaces live"));
  EXPECT_THAT(engine().LiveReport(), HasSubstr("1 palettes live"));
  EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));
  EngDeletePalette(palette);
  EngFreeMem(block);
}

// Lookups while another thread opens, closes, allocates and frees: each
// answer is a whole record or none, never one being freed (which asan and
// tsan see as it happens).
TEST_F(HostEngineTest, Lookups_WhileAnotherThreadOpensClosesAndFrees) {
  constexpr int kRounds = 2000;
  constexpr size_t kRecordSize = 256;
  std::atomic<bool> done{false};
  std::atomic<HANDLE> printer{nullptr};
  std::atomic<void*> block{nullptr};
  std::atomic<HSURF> surface{nullptr};
  int wrong = 0;
  std::thread reader([&] {
    std::vector<BYTE> buffer(4096);
    while (!done) {
      DWORD needed = 0;
      if (GetPrinterW(printer, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        const auto* record = reinterpret_cast<const BYTE*>(info->pDevMode);
        // None yet: the handle was closed and the same address opened again.
        wrong += record != nullptr && std::count(record, record + kRecordSize, 0x5A) != kRecordSize;
      }
      if (const auto found = checker().pool.Find(block)) wrong += found->size != 64;
      if (const auto found = checker().handles.FindSurface(surface)) wrong += found->size.cx != 16;
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    HANDLE opened = engine().spooler.Open(std::make_shared<host::MemorySink>());
    engine().spooler.SetDefaultRecord(opened, 2, std::vector<uint8_t>(kRecordSize, 0x5A));
    void* taken = EngAllocMem(0, 64, DRV_POOL_TAG);
    HSURF created = reinterpret_cast<HSURF>(EngCreateBitmap({16, 16}, 2, BMF_1BPP, BMF_TOPDOWN, taken));
    printer = opened;
    block = taken;
    surface = created;
    EngDeleteSurface(created);
    EngFreeMem(taken);
    engine().spooler.Close(opened);
  }
  done = true;
  reader.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(HostEngineTest, Misuse_IsAFinding) {
  void* block = EngAllocMem(0, 8, 0x01020304);
  EngFreeMem(block);
  EngFreeMem(block);
  EXPECT_EQ(EngDeleteSurface(reinterpret_cast<HSURF>(0x99)), FALSE);
  EXPECT_EQ(EngDeletePalette(reinterpret_cast<HPALETTE>(0x99)), FALSE);
  DWORD written = 5;
  EXPECT_EQ(EngWritePrinter(reinterpret_cast<HANDLE>(0x77), nullptr, 0, &written), FALSE);
  EXPECT_EQ(written, 0u);
  EXPECT_THAT(TakeFindings(),
              ElementsAre(HasSubstr("not printable"), HasSubstr("not a live block"),
                          HasSubstr("EngDeleteSurface"), HasSubstr("EngDeletePalette"),
                          HasSubstr("not an open printer")));
}

TEST_F(HostEngineTest, FaultPlans_FailTheChosenCalls) {
  checker().pool.faults().FailNth(2);
  void* first = EngAllocMem(FL_ZERO_MEMORY, 4, DRV_POOL_TAG);
  EXPECT_EQ(EngAllocMem(FL_ZERO_MEMORY, 4, DRV_POOL_TAG), nullptr);
  void* third = EngAllocMem(FL_ZERO_MEMORY, 4, DRV_POOL_TAG);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(third, nullptr);
  EngFreeMem(first);
  EngFreeMem(third);

  host::FaultPlan a, b;
  a.FailRandom(42, 0.5);
  b.FailRandom(42, 0.5);
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    const bool fa = a.Next();
    EXPECT_EQ(fa, b.Next()) << "the same seed gives the same faults";
    failures += fa;
  }
  EXPECT_GT(failures, 400);
  EXPECT_LT(failures, 600);
}

TEST_F(HostEngineTest, UnicodeToMultiByte_NeverPastTheLimitAndCountsDefaults) {
  char out[8] = {};
  ULONG produced = 99;
  std::u16string text = u"A\u00e9\u4e00Z";  // é is in Windows-1252, 一 is not
  EngUnicodeToMultiByteN(out, 3, &produced, reinterpret_cast<PWSTR>(text.data()), 8);
  EXPECT_EQ(produced, 3u);
  EXPECT_EQ(std::string(out, 3), "A\xe9?");
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(engine().code_page.replaced(), 1u);

  ASSERT_TRUE(engine().code_page.Select("CP932"));
  std::memset(out, 0, sizeof out);
  EngUnicodeToMultiByteN(out, 4, &produced, reinterpret_cast<PWSTR>(text.data()), 8);
  // 'A', é (unmappable), then the two bytes of 一; 'Z' no longer fits.
  EXPECT_EQ(produced, 4u);
  EXPECT_EQ(std::string(out, 4), "A?\x88\xea");
  EngUnicodeToMultiByteN(out, 3, &produced, reinterpret_cast<PWSTR>(text.data()), 8);
  EXPECT_EQ(produced, 2u) << "a double-byte character is never cut in half";
  ASSERT_TRUE(engine().code_page.Select("WINDOWS-1252"));
  EXPECT_FALSE(engine().code_page.Select("NO-SUCH-CODE-PAGE"));
  EXPECT_EQ(engine().code_page.name(), "WINDOWS-1252");
}

// Runs of ASCII are copied across where each ASCII character is its own
// byte (single-byte, double-byte and stateful code pages alike); whatever
// the run, the limit and the code page, the bytes are the whole characters
// that converting one at a time gives, up to the limit.
TEST_F(HostEngineTest, UnicodeToMultiByte_AsciiRunsAsOneCharacterAtATime) {
  const std::u16string text =
      u"0123456789abcdef\u00e9ghijklmn\U0001F5A8opqrstu\u4e00vwxyz!\uff71\\~0123456789ABCDEF";
  // Each with its '0' and its 'a': EBCDIC keeps no ASCII character.
  const struct {
    const char* name;
    const char* digit_and_letter;
  } pages[] = {{"WINDOWS-1252", "0a"}, {"CP437", "0a"},       {"IBM037", "\xF0\x81"},
               {"CP932", "0a"},        {"ISO-2022-JP", "0a"}, {"UTF-8", "0a"}};
  for (const auto& [name, digit_and_letter] : pages) {
    host::CodePage& page = engine().code_page;
    ASSERT_TRUE(page.Select(name));
    std::vector<std::string> characters;
    for (size_t i = 0; i < text.size(); ++i) {
      const uint32_t units = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF ? 2 : 1;
      char bytes[16];
      characters.emplace_back(bytes, page.Convert(bytes, sizeof bytes, &text[i], units));
      i += units - 1;
    }
    EXPECT_EQ(characters[0] + characters[10], digit_and_letter) << name;
    std::string whole;
    for (const std::string& character : characters) whole += character;
    for (uint32_t max = 0; max <= whole.size() + 1; ++max) {
      std::string expected;
      for (const std::string& character : characters) {
        if (expected.size() + character.size() > max) break;
        expected += character;
      }
      std::string out(max, '\0');
      const uint32_t produced = page.Convert(out.data(), max, text.data(), text.size());
      EXPECT_EQ(out.substr(0, produced), expected) << name << ", limit " << max;
    }
  }
  ASSERT_TRUE(engine().code_page.Select("WINDOWS-1252"));
  engine().code_page.ResetCounts();
}

// Runs of ASCII are narrowed sixteen units at a time, the last sixteen
// overlapping those before: for each length around a run's, a unit beyond
// ASCII at each place (each at an edge of what a run tests) or none, and
// limits below, at and above the length, the bytes are the ASCII before it
// up to the limit; and the service on a job's thread, which takes that path
// inline, gives what converting without it gives.
TEST_F(HostEngineTest, UnicodeToMultiByte_AsciiRunsAtEveryPlaceAndLimit) {
  host::JobState job;
  const host::JobScope scope(job);
  host::CodePage reference;
  for (uint32_t length = 0; length <= 40; ++length) {
    for (uint32_t at = 0; at <= length; ++at) {
      for (const char16_t beyond : {u'\u0080', u'\u00ff', u'\u0100', u'\u7fff', u'\u8000', u'\uffff'}) {
        std::u16string text;
        for (uint32_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'!' + i);
        if (at < length) text[at] = beyond;
        for (const uint32_t max : {length / 2, length, length + 1}) {
          const std::string where = "length " + std::to_string(length) + ", at " +
                                    std::to_string(at) + ", limit " + std::to_string(max);
          std::string out(max, '\0');
          const uint32_t copied = host::NarrowAsciiPrefix(out.data(), max, text.data(), length);
          ASSERT_EQ(copied, std::min(at, max)) << where;
          EXPECT_EQ(out.substr(0, copied), std::string(text.begin(), text.begin() + copied)) << where;
          std::string expected(max, '\0');
          expected.resize(reference.Convert(expected.data(), max, text.data(), length));
          ULONG produced = 0;
          EngUnicodeToMultiByteN(out.data(), max, &produced, reinterpret_cast<PWSTR>(text.data()),
                                 length * 2);
          EXPECT_EQ(out.substr(0, produced), expected) << where;
        }
      }
    }
  }
}

std::string Formatted(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string out = "<";
  host::AppendPlatform(out, format, ap);
  va_end(ap);
  return out;
}

// As a loaded DLL of this process's width formats: its variadic function
// starts the platform's va_list and hands it to the engine's formatting.
// No compiler for ARM64 Linux makes the platform's ARM64 va_list, and no
// loaded ARM64 DLL hands one to the host (host/platform_call.h).
#if !defined(__aarch64__)
#if defined(__x86_64__)
#define DLL_VARIADIC __attribute__((ms_abi))
#define DLL_VA_LIST __builtin_ms_va_list
#define DLL_VA(step) __builtin_ms_va_##step
#else
#define DLL_VARIADIC
#define DLL_VA_LIST va_list
#define DLL_VA(step) va_##step
#endif
DLL_VARIADIC std::string FormattedByDll(const char* format, ...) {
  DLL_VA_LIST ap;
  DLL_VA(start)(ap, format);
  std::string out = "<";
  host::AppendPlatform(out, format, host::PlatformArgs{reinterpret_cast<const char*>(ap)});
  DLL_VA(end)(ap);
  return out;
}
#endif

template <typename... Args>
void ExpectFormatted(const std::string& expected, const char* format, Args... args) {
  EXPECT_EQ(Formatted(format, args...), expected) << "this build's va_list";
#if !defined(__aarch64__)
  EXPECT_EQ(FormattedByDll(format, args...), expected) << "the platform's va_list";
#endif
}

// The common conversions take a path of their own; every one must still
// read as the platform's printf writes it, from either kind of va_list
// (beyond the fourth argument the platform's x64 list leaves registers).
TEST_F(HostEngineTest, DebugPrint_FormatsAsThePlatformsPrintf) {
  ExpectFormatted("<[-5] [7] [4000000000] [ab] [AB]", "[%d] [%i] [%u] [%x] [%X]", int32_t{-5},
                  int32_t{7}, uint32_t{4000000000u}, uint32_t{0xab}, uint32_t{0xab});
  ExpectFormatted("<-1 4294967295 -1 1234567890 -9", "%ld %lu %lld %llx %d", int32_t{-1},
                  uint32_t{0xFFFFFFFF}, int64_t{-1}, uint64_t{0x1234567890}, -9);
  ExpectFormatted("<[   42] [42   ] [00042] [+42] [000000ab] [   7] [ab    ]",
                  "[%5d] [%-5d] [%05d] [%+d] [%08lx] [%*d] [%-*.*s]", 42, 42, 42, 42,
                  uint32_t{0xab}, 4, 7, 6, 2, "abc");
  ExpectFormatted("<[(null)] [ab] [ab] [abc] [   ab]", "[%s] [%.*s] [%.*s] [%.*s] [%5s]",
                  static_cast<const char*>(nullptr), 2, "abc", 9, "ab", -1, "abc", "ab");
  ExpectFormatted("<[A] [] 100% %q ", "[%c] [%c] 100%% %q %", 'A', 0);
}

// A stream is given the trace in blocks; wherever they end, a change of
// sink hands over every complete line, in order, and a line not yet ended
// goes on in the next sink.
TEST_F(HostEngineTest, Trace_StreamHasEveryCompleteLineWhenTheSinkChanges) {
  host::Trace& trace = engine().trace;
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  trace.WriteTo(stream);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "line " + std::to_string(i) + " of the trace\n";
    trace.Write(line);
    expected += line;
  }
  trace.Write("not ended");
  trace.KeepInMemory();
  trace.Write(" until now\n");
  std::string written(expected.size() + 1, '\0');
  std::rewind(stream);
  written.resize(std::fread(written.data(), 1, written.size(), stream));
  std::fclose(stream);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(trace.lines(), std::vector<std::string>{"not ended until now"});
}

TEST_F(HostEngineTest, Enumeration_BatchesAsChosen) {
  host::TextObject text;
  text.SetEnumeration({1, 2, 3, 4, 5}, {2, 0, 3});
  text.AnswerDdiErrorAt(3);
  STROBJ_vEnumStart(text.stro());
  ULONG count;
  GLYPHPOS* glyphs;
  EXPECT_EQ(STROBJ_bEnum(text.stro(), &count, &glyphs), TRUE);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(glyphs[1].hg, 2u);
  EXPECT_EQ(STROBJ_bEnum(text.stro(), &count, &glyphs), TRUE);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(STROBJ_bEnum(text.stro(), &count, &glyphs), FALSE);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(glyphs[2].hg, 5u);
  EXPECT_EQ(STROBJ_bEnum(text.stro(), &count, &glyphs), static_cast<BOOL>(DDI_ERROR));
}

}  // namespace
