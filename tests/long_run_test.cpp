// A thousand jobs through one loaded driver: nothing accumulates, and no job
// inherits anything from the one before it.
#include "tests/engine_test.h"
#include "tests/three_page_job.h"

namespace {

constexpr int kJobs = 1000;

class LongRunTest : public EngineTest {};

// Jobs alternate between the driver's own device mode (CR LF and a form
// feed), none at all and a plain DEVMODEW, so settings left over from one
// creation would show in the next job's bytes.
TEST_F(LongRunTest, Jobs_ThousandInARowLeaveNothingBehind) {
  const DrvDevMode own = SmallPageDevMode();
  DEVMODEW plain = own.dm;
  plain.dmDriverExtra = 0;
  const DEVMODEW* devmodes[] = {&own.dm, nullptr, &plain};
  const std::string expected[] = {kJobBytes, "Page oneTwolinesEnd", "Page oneTwolinesEnd"};
  for (int job = 0; job < kJobs && !HasFailure(); ++job) {
    SCOPED_TRACE("job " + std::to_string(job));
    const JobRun run = RunThreePageJob(driver_, printer_, *sink_, devmodes[job % 3]);
    EXPECT_TRUE(run.AllTrue());
    EXPECT_EQ(std::string(bytes().begin(), bytes().end()), expected[job % 3]);
    EXPECT_EQ(checker().pool.LiveBlocks(), 0u);
    EXPECT_EQ(checker().handles.LiveSurfaces(), 0u);
    EXPECT_EQ(checker().handles.LivePalettes(), 0u);
    ClearOutput();
  }
  EXPECT_EQ(checker().handles.PalettesCreated(), static_cast<uint64_t>(kJobs));
}

}  // namespace
