// Whole print jobs of the command's print path on several threads of one
// process, each with its own code page, trace file and settings: every job
// must come out byte for byte and trace line for trace line as it does alone.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/engine_test.h"
#include "tools/commands.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRoundsPerThread = 8;
constexpr int kLinesPerJob = 150;

struct JobCase {
  const char* text;  // one line, UTF-8, repeated kLinesPerJob times
  const char* code_page;
  std::string_view bytes;  // what the line's characters become
  BYTE terminator;  // 0 none, 1 CR LF, 2 CR, 3 LF
  bool form_feed;
  int lines_per_page;
  bool trace;
};

// Code pages whose bytes for the same character differ, and characters
// that some of them cannot hold.
constexpr JobCase kCases[] = {
    {"Caf\u00e9 12,50 \u20ac", "WINDOWS-1252", "Caf\xe9 12,50 \x80", 1, true, 0, true},
    {"\u041f\u0440\u0438\u0432\u0435\u0442 \u20ac", "CP1251", "\xcf\xf0\xe8\xe2\xe5\xf2 \x88", 3, false,
     40, true},
    {"\u03a9\u03bc\u03ad\u03b3\u03b1 \u00e9", "ISO-8859-7", "\xd9\xec\xdd\xe3\xe1 ?", 2, true, 0, false},
    {"\u250c\u2500\u2510 na\u00efve \u2605", "CP437", "\xda\xc4\xbf na\x8bve ?", 0, false, 7, true},
};

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Trace lines with addresses masked: where the engine places a device
// differs from run to run, the rest may not.
std::vector<std::string> TraceLines(const fs::path& path) {
  static const std::regex address("\\[[0-9a-f]{8}\\]");
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(std::regex_replace(line, address, "[address]"));
  }
  return lines;
}

struct Outcome {
  std::string bytes;
  std::vector<std::string> trace;
  bool operator==(const Outcome&) const = default;
};

class ParallelPrintTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Its own folder: the loaded DLLs' runs of this suite go on at once.
    std::string pattern = ::testing::TempDir() + "parallel_print_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }

  fs::path Input(size_t index) {
    const fs::path path = folder_ / ("input" + std::to_string(index) + ".txt");
    std::ofstream out(path, std::ios::binary);
    for (int line = 0; line < kLinesPerJob; ++line) out << kCases[index].text << ' ' << line << '\n';
    return path;
  }

  Outcome Run(size_t index, const fs::path& input, const std::string& tag) {
    const JobCase& job = kCases[index];
    textrelay::PrintOptions options;
    options.files = {input.string()};
    options.code_page = job.code_page;
    options.settings.line_terminator = job.terminator;
    options.settings.form_feed = job.form_feed;
    options.lines_per_page = job.lines_per_page;
    options.output = (folder_ / (tag + ".prn")).string();
    if (job.trace) options.trace = (folder_ / (tag + ".trace")).string();
    if (TestingLoadedDll()) options.driver_path = std::getenv("TEXTRELAY_DRIVER_DLL");
    textrelay::RunPrint(options, [](const std::string&) {});
    return {Contents(options.output), job.trace ? TraceLines(options.trace) : std::vector<std::string>{}};
  }

  fs::path folder_;
};

TEST_F(ParallelPrintTest, JobsOfDifferentSettingsAtOnce_EachAsWhenAlone) {
  std::vector<fs::path> inputs;
  std::vector<Outcome> alone;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    inputs.push_back(Input(i));
    alone.push_back(Run(i, inputs[i], "alone" + std::to_string(i)));
    ASSERT_TRUE(alone[i].bytes.starts_with(kCases[i].bytes)) << i << ": " << alone[i].bytes.substr(0, 40);
    ASSERT_EQ(alone[i].trace.empty(), !kCases[i].trace) << i;
  }

  std::vector<int> wrong(std::size(kCases), 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < std::size(kCases); ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRoundsPerThread; ++round) {
        wrong[i] += !(Run(i, inputs[i], "thread" + std::to_string(i)) == alone[i]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(std::size(kCases), 0));
  EXPECT_THAT(engine().trace.lines(), ::testing::IsEmpty()) << "a job's trace reached the engine's own";
}

}  // namespace
