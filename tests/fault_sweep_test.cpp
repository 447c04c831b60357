// Failures at every step of a complete job: whatever fails, each call
// answers as its contract says, success is reported only for bytes that
// reached the printer, and nothing is left live.
#include <cstdio>
#include <random>
#include <regex>
#include <utility>

#include "tests/engine_test.h"
#include "tests/three_page_job.h"

namespace {

constexpr double kRandomRate = 0.06;
constexpr uint64_t kFirstSeed = 20240601;

class FaultSweepTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    devmode_ = SmallPageDevMode();
  }

  JobRun Run(size_t ddi_error_batch = kJobEnumerationBatches) {
    return RunThreePageJob(driver_, printer_, *sink_, &devmode_.dm, ddi_error_batch);
  }

  // TRUE only with every byte of the call delivered, FALSE with at most a
  // part of them; the pages never fail; all TRUE means the whole job.
  void ExpectContract(const JobRun& run) {
    for (const JobCall& call : run.calls) {
      SCOPED_TRACE(call.name);
      ASSERT_TRUE(call.result == TRUE || call.result == FALSE);
      if (call.result == TRUE) {
        EXPECT_EQ(call.delivered, call.expected);
      }
      EXPECT_EQ(call.delivered, call.expected.substr(0, call.delivered.size()));
      if (call.expected.empty()) {
        EXPECT_EQ(call.result, TRUE);
      }
    }
    if (run.AllTrue()) {
      EXPECT_EQ(std::string(bytes().begin(), bytes().end()), kJobBytes);
    }
    ExpectNothingLive();
  }

  void ExpectNothingLive() {
    EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
    EXPECT_EQ(checker().handles.LiveSurfaces(), 0u);
    EXPECT_EQ(checker().handles.LivePalettes(), 0u);
    EXPECT_THAT(TakeFindings(), ::testing::IsEmpty());
  }

  // Runs the job once per fault point of the plan, until the fault is no
  // longer reached; returns how many points were tried.
  int Sweep(host::FaultPlan& plan, const std::function<void(const JobRun&)>& expect) {
    int points = 0;
    for (uint64_t k = 1;; ++k) {
      SCOPED_TRACE("fault point " + std::to_string(k));
      plan.Clear();
      plan.FailNth(k);
      const JobRun run = Run();
      const bool reached = plan.Failures() != 0;
      plan.Clear();
      ExpectContract(run);
      if (reached) expect(run);
      ClearOutput();
      if (!reached || HasFailure()) return points;
      ++points;
    }
  }

  static int FalseCalls(const JobRun& run) {
    int count = 0;
    for (const JobCall& call : run.calls) count += call.result == FALSE;
    return count;
  }

  DrvDevMode devmode_{};
};

TEST_F(FaultSweepTest, Allocation_EveryPointFailsOneStepOnly) {
  const int points = Sweep(checker().pool.faults(), [](const JobRun& run) {
    EXPECT_EQ(FalseCalls(run) + (run.device_ok ? 0 : 1), 1);
  });
  std::printf("allocation fault points tried: %d\n", points);
  EXPECT_GE(points, 6);  // device, bitmap and four text buffers
}

TEST_F(FaultSweepTest, Create_PaletteIsOptionalBitmapIsNot) {
  const int points = Sweep(checker().handles.failed_creates(),
                           [](const JobRun& run) { EXPECT_EQ(FalseCalls(run), 0); });
  std::printf("create fault points tried: %d\n", points);
  EXPECT_EQ(points, 2);
  checker().handles.failed_creates().FailNth(1);
  EXPECT_TRUE(Run().AllTrue()) << "a device without its palette still prints";
  checker().handles.failed_creates().FailNth(2);
  EXPECT_FALSE(Run().device_ok) << "no bitmap, no surface";
  ExpectNothingLive();
}

// The trace with the handles and pointers of one run masked; a zero stays.
std::vector<std::string> Masked(const std::vector<std::string>& trace) {
  const std::regex handle("\\[(?!00000000\\])[0-9a-f]{8}\\]");
  std::vector<std::string> masked;
  for (const std::string& line : trace) masked.push_back(std::regex_replace(line, handle, "[*]"));
  return masked;
}

// The engine's answers to EngAssociateSurface and EngDeleteSurface are not
// looked at: with either failing, the job prints and traces exactly what
// it does when neither fails.
TEST_F(FaultSweepTest, SurfaceAnswers_FailedAssociationOrDeletionChangesNothing) {
  ClearOutput();
  ASSERT_TRUE(Run().AllTrue());
  const std::vector<std::string> clean_trace = Masked(trace());
  ClearOutput();
  for (host::FaultPlan* plan :
       {&checker().handles.failed_associations(), &checker().handles.failed_deletions()}) {
    const int points = Sweep(*plan, [&](const JobRun& run) {
      EXPECT_TRUE(run.AllTrue());
      EXPECT_EQ(Masked(trace()), clean_trace);
    });
    EXPECT_EQ(points, 1);  // one surface a job
  }
}

TEST_F(FaultSweepTest, FailedWrite_OnlyThatCallIsFalse) {
  const int points = Sweep(checker().spooler.failed_writes(),
                           [](const JobRun& run) { EXPECT_EQ(FalseCalls(run), 1); });
  std::printf("failed write fault points tried: %d\n", points);
  EXPECT_EQ(points, 5);  // four lines and the form feed
}

TEST_F(FaultSweepTest, ShortWrite_ContinuedUnlessNothingWasTaken) {
  const int points = Sweep(checker().spooler.short_writes(), [](const JobRun& run) {
    for (const JobCall& call : run.calls) {
      // Half of a single byte is nothing: only that write cannot go on.
      if (call.expected.size() > 1) {
        EXPECT_EQ(call.result, TRUE) << call.name;
      }
    }
  });
  std::printf("short write fault points tried: %d\n", points);
  EXPECT_GE(points, 5);
}

TEST_F(FaultSweepTest, DdiError_EveryBatchFailsTheEnumeratedLineOnly) {
  for (size_t batch = 0; batch < kJobEnumerationBatches; ++batch) {
    SCOPED_TRACE("DDI_ERROR at batch " + std::to_string(batch));
    const JobRun run = Run(batch);
    ExpectContract(run);
    ASSERT_TRUE(run.device_ok);
    for (const JobCall& call : run.calls) {
      const bool enumerated = call.name == "DrvTextOut enumerated";
      EXPECT_EQ(call.result, enumerated ? FALSE : TRUE) << call.name;
      if (enumerated) {
        EXPECT_EQ(call.delivered, "");
      }
    }
    ClearOutput();
  }
  std::printf("DDI_ERROR fault points tried: %zu\n", kJobEnumerationBatches);
}

// Each job's seed is printed when it breaks the contract, so that the job
// can be run again alone. 32-bit builds run under emulation here, and run
// the suite twice (linked and loaded): a fifth of the jobs there.
TEST_F(FaultSweepTest, Random_JobsWithSixPercentFailuresKeepTheContract) {
  const int jobs = sizeof(void*) == 4 ? 2000 : 10000;
  // Each plan draws from the job's seed plus its own offset; the
  // enumeration's error draws from offset 4.
  const std::pair<host::FaultPlan*, uint64_t> plans[] = {
      {&checker().pool.faults(), 0},
      {&checker().handles.failed_creates(), 1},
      {&checker().spooler.failed_writes(), 2},
      {&checker().spooler.short_writes(), 3},
      {&checker().handles.failed_associations(), 5},
      {&checker().handles.failed_deletions(), 6},
  };
  uint64_t failures = 0;
  for (int i = 0; i < jobs && !HasFailure(); ++i) {
    const uint64_t seed = kFirstSeed + i;
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (const auto& [plan, offset] : plans) plan->FailRandom(seed + offset, kRandomRate);
    std::mt19937_64 random(seed + 4);
    const bool ddi_error = std::uniform_real_distribution<double>(0, 1)(random) < kRandomRate;
    ExpectContract(Run(ddi_error ? random() % kJobEnumerationBatches : kJobEnumerationBatches));
    failures += ddi_error ? 1 : 0;
    for (const auto& [plan, offset] : plans) {
      failures += plan->Failures();
      plan->Clear();
    }
    ClearOutput();
  }
  std::printf("random jobs: %d, faults injected: %llu\n", jobs,
              static_cast<unsigned long long>(failures));
}

}  // namespace
