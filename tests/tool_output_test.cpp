// Where the command's bytes go: files that appear only whole, the spool that
// repeats a document for its copies, the hex dump, and device mode files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstring>
#include <string>

#include "tools/destination.h"
#include "tools/devmode_file.h"
#include "tools/document_spool.h"
#include "tools/failure.h"
#include "tools/job_spool.h"

// Every call of umask() in the program, counted on its way to the system:
// a change of the process's umask, even for a moment, applies to the files
// every other thread creates meanwhile.
std::atomic<int> umask_calls{0};
extern "C" mode_t umask(mode_t mask) {
  ++umask_calls;
  return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace {

namespace fs = std::filesystem;
using textrelay::Destination;
using ::testing::HasSubstr;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Collects what a destination is given, job by job.
class Recorder : public Destination {
 public:
  void BeginJob(const std::string& title) override { jobs.push_back(title + ":"); }
  void Write(std::span<const uint8_t> bytes) override { jobs.back().append(bytes.begin(), bytes.end()); }
  void EndJob() override { jobs.back() += "|"; }
  std::vector<std::string> jobs;
};

class ToolOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) /
              ("tool_output_" + std::to_string(getpid()) + "_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }
  fs::path folder_;
};

TEST_F(ToolOutput, File_AppearsOnlyWhenCommitted) {
  const fs::path target = folder_ / "out.prn";
  {
    std::unique_ptr<Destination> file = textrelay::OpenDestination(target.string());
    file->BeginJob("doc");
    file->Write(Bytes("abc"));
    file->EndJob();
    EXPECT_FALSE(fs::exists(target)) << "a half-written file is visible";
    file->Commit();
  }
  EXPECT_EQ(Contents(target), "abc");
  EXPECT_EQ(FilesInFolder(), 1u) << "the temporary file stayed";
}

TEST_F(ToolOutput, File_NewOneTakesTheUmaskWithoutChangingIt) {
  const auto old_mask = static_cast<mode_t>(syscall(SYS_umask, 027));
  umask_calls = 0;
  std::unique_ptr<Destination> file = textrelay::OpenDestination((folder_ / "new.prn").string());
  file->Commit();
  syscall(SYS_umask, old_mask);
  EXPECT_EQ(umask_calls.load(), 0);
  EXPECT_EQ(fs::status(folder_ / "new.prn").permissions(), fs::perms(0640));
}

// The folder goes while the job runs: the rename fails naming the path, and
// nothing is left, the temporary file having gone with the folder.
TEST_F(ToolOutput, File_WhoseFolderIsRemovedFailsNamingIt) {
  const fs::path target = folder_ / "sub" / "out.prn";
  fs::create_directory(folder_ / "sub");
  std::unique_ptr<Destination> file = textrelay::OpenDestination(target.string());
  file->Write(Bytes("abc"));
  fs::remove_all(folder_ / "sub");
  try {
    file->Commit();
    ADD_FAILURE() << "committed into a removed folder";
  } catch (const textrelay::Failure& failure) {
    EXPECT_EQ(std::string(failure.what()), target.string() + ": rename failed: No such file or directory");
  }
  file.reset();
  EXPECT_EQ(FilesInFolder(), 0u);
}

// A file with a second name is written in place, and only on Commit: a job
// that fails leaves both names showing the old bytes.
TEST_F(ToolOutput, File_WithAnotherNameKeepsItUntilCommitted) {
  const fs::path one = folder_ / "one.prn";
  const fs::path two = folder_ / "two.prn";
  std::ofstream(one) << "old bytes";
  fs::create_hard_link(one, two);
  for (const bool commit : {false, true}) {
    std::unique_ptr<Destination> file = textrelay::OpenDestination(one.string());
    file->Write(Bytes("new"));
    EXPECT_EQ(Contents(two), "old bytes");
    if (commit) file->Commit();
  }
  EXPECT_EQ(Contents(two), "new") << "the other name lost the output or kept a stale tail";
  EXPECT_TRUE(fs::equivalent(one, two));
  EXPECT_EQ(FilesInFolder(), 2u) << "the temporary file stayed";
}

TEST_F(ToolOutput, Spool_DeliversEachCopyWholeAlsoBeyondTheMemoryLimit) {
  textrelay::DocumentSpool spool(8);
  const std::string text = "0123456789abcdef";
  ASSERT_TRUE(spool.Write(Bytes(text).data(), 5));
  ASSERT_TRUE(spool.Write(Bytes(text).data() + 5, 11));
  EXPECT_TRUE(spool.spilled());
  Recorder recorder;
  spool.Deliver(recorder, "doc", 3);
  ASSERT_TRUE(spool.Write(Bytes("x").data(), 1));
  spool.Deliver(recorder, "next", 1);
  EXPECT_THAT(recorder.jobs, ::testing::ElementsAre("doc:" + text + text + text + "|", "next:x|"));
}

// A cancelled job: a document still in the spool is not sent, and the
// copies being sent stop after the current one, each of them whole.
TEST_F(ToolOutput, Spool_StopsBeforeTheNextCopy) {
  class StopsAfterFirstWrite : public Recorder {
   public:
    void Write(std::span<const uint8_t> bytes) override {
      Recorder::Write(bytes);
      stop.store(true);
    }
    std::atomic<bool> stop{false};
  };
  for (const size_t memory_limit : {size_t{64}, size_t{2}}) {
    textrelay::DocumentSpool spool(memory_limit);
    StopsAfterFirstWrite recorder;
    ASSERT_TRUE(spool.Write(Bytes("abc").data(), 3));
    spool.Deliver(recorder, "doc", 3, &recorder.stop);
    ASSERT_TRUE(spool.Write(Bytes("x").data(), 1));
    spool.Deliver(recorder, "next", 2, &recorder.stop);
    EXPECT_THAT(recorder.jobs, ::testing::ElementsAre("doc:abc|")) << memory_limit;
  }
}

// A file, standard output or a device as the job's spool sees it: each
// write's size is kept, and every write fails once `failure` is set.
class FileLike : public Recorder {
 public:
  void Write(std::span<const uint8_t> bytes) override {
    if (!failure.empty()) throw textrelay::Failure(failure);
    sizes.push_back(bytes.size());
    Recorder::Write(bytes);
  }
  bool TakesBytesAsTheyCome() const override { return true; }
  std::vector<size_t> sizes;
  std::string failure;
};

TEST_F(ToolOutput, JobSpool_OneCopyToAFileIsBufferedAndFlushedWhenFullAndAtTheEnd) {
  FileLike file;
  const auto spool = textrelay::OpenJobSpool(file, 1, 8);
  spool->BeginDocument("doc");
  ASSERT_TRUE(spool->Write(Bytes("abcde").data(), 5));
  EXPECT_THAT(file.sizes, ::testing::IsEmpty()) << "a write went out before the buffer filled";
  ASSERT_TRUE(spool->Write(Bytes("fghij").data(), 5));
  ASSERT_TRUE(spool->Write(Bytes("0123456789").data(), 10));  // larger than the buffer
  ASSERT_TRUE(spool->Write(Bytes("k").data(), 1));
  spool->EndDocument();
  spool->BeginDocument("next");
  spool->EndDocument();
  EXPECT_THAT(file.sizes, ::testing::ElementsAre(5u, 5u, 10u, 1u));
  EXPECT_THAT(file.jobs, ::testing::ElementsAre("doc:abcdefghij0123456789k|", "next:|"));
}

TEST_F(ToolOutput, JobSpool_DestinationFailureReachesTheDriverAsFalseAndIsReportedAsItsOwn) {
  FileLike file;
  const auto spool = textrelay::OpenJobSpool(file, 1, 4);
  spool->BeginDocument("doc");
  ASSERT_TRUE(spool->Write(Bytes("abc").data(), 3));
  file.failure = "out.prn: write failed: No space left on device";
  EXPECT_FALSE(spool->Write(Bytes("def").data(), 3));
  EXPECT_FALSE(spool->Write(Bytes("g").data(), 1)) << "a write after a failure was taken";
  EXPECT_EQ(spool->WriteFailure("in.txt: line 2"), file.failure);
  EXPECT_THROW(spool->EndDocument(), textrelay::Failure);

  FileLike late;
  const auto unflushed = textrelay::OpenJobSpool(late, 1, 4);
  unflushed->BeginDocument("doc");
  ASSERT_TRUE(unflushed->Write(Bytes("ab").data(), 2));
  late.failure = "out.prn: write failed: File too large";
  EXPECT_THROW(unflushed->EndDocument(), textrelay::Failure) << "the last bytes were not flushed";
}

TEST_F(ToolOutput, JobSpool_CopiesOrAPortTakeEachDocumentWhole) {
  FileLike file;
  const auto copies = textrelay::OpenJobSpool(file, 2, 4);
  copies->BeginDocument("doc");
  ASSERT_TRUE(copies->Write(Bytes("abcdef").data(), 6));
  EXPECT_THAT(file.jobs, ::testing::IsEmpty());
  copies->EndDocument();
  EXPECT_THAT(file.jobs, ::testing::ElementsAre("doc:abcdefabcdef|"));

  Recorder port;
  const auto whole = textrelay::OpenJobSpool(port, 1, 4);
  whole->BeginDocument("doc");
  ASSERT_TRUE(whole->Write(Bytes("abcdef").data(), 6));
  EXPECT_THAT(port.jobs, ::testing::IsEmpty());
  whole->EndDocument();
  EXPECT_THAT(port.jobs, ::testing::ElementsAre("doc:abcdef|"));
  EXPECT_EQ(whole->WriteFailure("in.txt: line 2"),
            "in.txt: line 2: the driver's text output failed");
}

TEST_F(ToolOutput, HexDump_RowsOffsetsAndAsciiPerJob) {
  auto recorder = std::make_unique<Recorder>();
  Recorder* jobs = recorder.get();
  std::unique_ptr<Destination> dump = textrelay::HexDumpTo(std::move(recorder));
  dump->BeginJob("a");
  dump->Write(Bytes("Hello, printer!\r\n\f"));
  dump->EndJob();
  dump->BeginJob("b");
  dump->EndJob();
  EXPECT_EQ(jobs->jobs[0],
            "a:00000000  48 65 6c 6c 6f 2c 20 70  72 69 6e 74 65 72 21 0d  |Hello, printer!.|\n"
            "00000010  0a 0c                                             |..|\n"
            "00000012\n|");
  EXPECT_EQ(jobs->jobs[1], "b:00000000\n|");
}

TEST_F(ToolOutput, DevModeFile_RoundTripAndSizeChecks) {
  const fs::path path = folder_ / "x.devmode";
  textrelay::Settings settings;
  settings.copies = 2;
  const textrelay::CallerDevMode built = textrelay::BuildCallerDevMode(settings, u"lp");
  textrelay::WriteDevModeFile(built.record, path.string());
  EXPECT_EQ(fs::file_size(path), 7228u);
  const textrelay::CallerDevMode read = textrelay::ReadDevModeFile(path.string());
  EXPECT_EQ(std::memcmp(&read.record, &built.record, sizeof built.record), 0);

  fs::resize_file(path, 7000);
  EXPECT_THROW(textrelay::ReadDevModeFile(path.string()), textrelay::Unreadable);
  fs::resize_file(path, 50);
  EXPECT_THROW(textrelay::ReadDevModeFile(path.string()), textrelay::Unreadable);
  EXPECT_THROW(textrelay::ReadDevModeFile((folder_ / "missing").string()), textrelay::Unreadable);
}

TEST_F(ToolOutput, DevModeFile_PlainDevModeIsReadAndShownAsNotOwn) {
  textrelay::CallerDevMode plain = textrelay::BuildCallerDevMode({.copies = 5000}, u"lp");
  plain.record.dm.dmDriverExtra = 0;
  const fs::path path = folder_ / "plain.devmode";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(&plain.record), 220);
  const textrelay::CallerDevMode read = textrelay::ReadDevModeFile(path.string());
  EXPECT_EQ(read.size, 220u);
  const std::string shown = textrelay::ShowDevMode(read);
  EXPECT_THAT(shown, HasSubstr("not the driver's own: dmDriverExtra is 0, the driver's is 7008"));
  EXPECT_THAT(shown, HasSubstr("dmDeviceName         \"lp\""));
  EXPECT_THAT(shown, HasSubstr("refused: copies 5000 is refused: the driver takes 1 to 1000"));
  EXPECT_THAT(shown, ::testing::Not(HasSubstr("byLineTerminator")));
}

}  // namespace
