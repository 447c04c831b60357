// Several printers of this driver at once, as the spooler's despooling
// threads or an application's workers use them: every thread creates its
// own devices, each printer configured differently, and every job must come
// out exactly as it does when it runs alone.
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devmode/devmode.h"
#include "driver/driver.h"
#include "host/job.h"
#include "host/user_mode_services.h"
#include "pdev/pdevice.h"
#include "tests/engine_test.h"

using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Truly;

namespace {

constexpr int kRoundsPerThread = 300;

struct PrinterSetup {
  const char16_t* name;
  std::optional<DrvDevMode> devmode;  // none: the driver's defaults
};

// A printer with its own device mode: the terminator, form feed and paper
// width all differ from the defaults.
DrvDevMode Receipt(BYTE terminator, BYTE form_feed, SHORT paper_width) {
  DrvDevMode dm{};
  GetDefaultDrvDevMode(u"Receipt", &dm);
  dm.byLineTerminator = terminator;
  dm.byFormFeed = form_feed;
  dm.dm.dmFields |= DM_PAPERWIDTH;
  dm.dm.dmPaperWidth = paper_width;
  return dm;
}

// What one job leaves behind, compared whole between runs.
struct Outcome {
  bool created = false;
  std::vector<uint8_t> bytes;
  ULONG horz_res = 0, vert_res = 0;
  LONG bitmap_cx = 0, bitmap_cy = 0;
  bool palette_is_the_devices = false;

  bool operator==(const Outcome&) const = default;
};

Outcome RunJob(const host::Driver& driver, const PrinterSetup& setup, HANDLE printer,
               host::MemorySink& sink) {
  sink.Clear();
  Outcome outcome;
  const DEVMODEW* pdm = setup.devmode ? &setup.devmode->dm : nullptr;
  host::Device device(driver, pdm, setup.name, printer);
  outcome.created = device.ok();
  if (!outcome.created) return outcome;
  const PDevice& pdev = *reinterpret_cast<const PDevice*>(device.dhpdev());
  outcome.horz_res = device.gdiinfo().ulHorzRes;
  outcome.vert_res = device.gdiinfo().ulVertRes;
  outcome.palette_is_the_devices = device.devinfo().hpalDefault == pdev.hPalette;
  const std::optional<host::Surface> surface = host::Checker::Get().handles.FindSurface(device.hsurf());
  if (surface) {
    outcome.bitmap_cx = surface->size.cx;
    outcome.bitmap_cy = surface->size.cy;
  }
  device.StartDoc(u"job", 1);
  device.StartPage();
  device.Text(u"Total 12.50");
  device.Text(u"Thank you");
  device.SendPage();
  device.EndDoc();
  device.Release();
  outcome.bytes = sink.bytes();
  return outcome;
}

class ThreadedJobTest : public EngineTest {
 protected:
  struct Printer {
    PrinterSetup setup;
    std::shared_ptr<host::MemorySink> sink = std::make_shared<host::MemorySink>();
    HANDLE handle = nullptr;
    Outcome alone;
    size_t alone_lines = 0;  // trace lines of the lone run
    uint64_t alone_blocks = 0, alone_palettes = 0;  // what the lone run took from the engine
    int wrong = 0;
    int failed = 0;
  };

  void TearDown() override {
    for (Printer& printer : printers_) engine().spooler.Close(printer.handle);
    EngineTest::TearDown();
  }

  void AddPrinter(PrinterSetup setup) {
    Printer& printer = printers_.emplace_back();
    printer.setup = std::move(setup);
    printer.handle = engine().spooler.Open(printer.sink);
    engine().trace.TakeLines();
    const uint64_t blocks = checker().pool.Allocations();
    const uint64_t palettes = checker().handles.PalettesCreated();
    printer.alone = RunJob(driver_, printer.setup, printer.handle, *printer.sink);
    printer.alone_lines = engine().trace.TakeLines().size();
    printer.alone_blocks = checker().pool.Allocations() - blocks;
    printer.alone_palettes = checker().handles.PalettesCreated() - palettes;
  }

  void RunAtOnce() {
    std::vector<std::thread> threads;
    for (Printer& printer : printers_) {
      threads.emplace_back([this, &printer] {
        for (int round = 0; round < kRoundsPerThread; ++round) {
          const Outcome outcome = RunJob(driver_, printer.setup, printer.handle, *printer.sink);
          printer.failed += !outcome.created;
          printer.wrong += outcome.created && !(outcome == printer.alone);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }

  std::vector<Printer> printers_;
};

TEST_F(ThreadedJobTest, DifferentPrintersAtOnce_EachJobAsWhenAlone) {
  printers_.reserve(3);
  AddPrinter({u"Receipt A", Receipt(1, 1, 800)});  // CR LF, form feed, 80 mm
  AddPrinter({u"Plain B", std::nullopt});
  AddPrinter({u"Label C", Receipt(3, 0, 1000)});  // LF, 100 mm
  for (const Printer& printer : printers_) ASSERT_TRUE(printer.alone.created);
  // The three settings must tell apart in what a mix-up would show.
  ASSERT_NE(printers_[0].alone.bytes, printers_[1].alone.bytes);
  ASSERT_NE(printers_[0].alone.bytes, printers_[2].alone.bytes);
  ASSERT_NE(printers_[0].alone.horz_res, printers_[1].alone.horz_res);
  ASSERT_NE(printers_[0].alone.horz_res, printers_[2].alone.horz_res);
  const uint64_t blocks_before = checker().pool.Allocations();
  const uint64_t palettes_before = checker().handles.PalettesCreated();

  RunAtOnce();

  for (const Printer& printer : printers_) {
    EXPECT_EQ(printer.failed, 0) << "failed creations for a printer of every " << kRoundsPerThread;
    EXPECT_EQ(printer.wrong, 0) << "jobs unlike the lone run of every " << kRoundsPerThread;
  }
  // Every line arrives whole, never spliced with another thread's: a traced
  // string's terminator puts only its closing "]." on a line of its own.
  const std::vector<std::string> lines = engine().trace.TakeLines();
  EXPECT_THAT(lines, Each(Truly([](const std::string& line) {
                return line == "]." || (line.rfind(Line(""), 0) == 0 && line.find(Line(""), 1) == line.npos);
              })));
  // The engine's accounts are exact: no count lost between threads.
  size_t expected_lines = 0;
  uint64_t expected_blocks = 0, expected_palettes = 0;
  for (const Printer& printer : printers_) {
    expected_lines += kRoundsPerThread * printer.alone_lines;
    expected_blocks += kRoundsPerThread * printer.alone_blocks;
    expected_palettes += kRoundsPerThread * printer.alone_palettes;
  }
  EXPECT_EQ(lines.size(), expected_lines);
  EXPECT_EQ(checker().pool.Allocations() - blocks_before, expected_blocks);
  EXPECT_EQ(checker().handles.PalettesCreated() - palettes_before, expected_palettes);
}

// Misuse of the engine by one job, each through another of the services
// that find the job by its thread, and the finding each must leave.
const HANDLE kNoPrinter = reinterpret_cast<HANDLE>(0x77);
struct Misuse {
  void (*call)();
  const char* finding;
};
const Misuse kMisuses[] = {
    {[] { EngAllocMem(0, 0, DRV_POOL_TAG); }, "EngAllocMem: zero-byte allocation"},
    {[] { EngFreeMem(reinterpret_cast<void*>(0x40)); }, "EngFreeMem: 0x40 is not a live block"},
    {[] { EngDeleteSurface(reinterpret_cast<HSURF>(0x99)); }, "EngDeleteSurface: 0x99"},
    {[] { EngDeletePalette(reinterpret_cast<HPALETTE>(0x99)); }, "EngDeletePalette: 0x99"},
    {[] { host::Engine::Get().spooler.Close(kNoPrinter); }, "ClosePrinter: 0x77"},
    {[] { host::usermode::HeapFree(kNoPrinter, 0, nullptr); }, "HeapFree: not the process heap"},
    {[] {
       STROBJ stranger{};
       STROBJ_vEnumStart(&stranger);
     },
     "STROBJ_vEnumStart: not a text object"},
};

// Each misuse, then a whole job on a printer that is not open: the
// driver's own writes. What the open job holds afterwards.
std::vector<std::string> MisuseAll(const host::Driver& driver) {
  for (const Misuse& misuse : kMisuses) misuse.call();
  host::MemorySink nowhere;
  RunJob(driver, {u"Nowhere", std::nullopt}, kNoPrinter, nowhere);
  return host::OpenJob()->findings.list();
}

// Findings are the job's own while it runs: neither the other jobs nor the
// engine see one, and what the job leaves unexamined becomes the engine's
// when the job ends, so that the test still fails on it.
TEST_F(ThreadedJobTest, OneJobsMisuse_IsThatJobsFindingOnly) {
  constexpr int kRounds = 100;
  printers_.reserve(2);
  AddPrinter({u"Receipt A", Receipt(1, 1, 800)});
  AddPrinter({u"Plain B", std::nullopt});
  std::vector<std::string> expected;
  {
    host::JobState alone;
    const host::JobScope scope(alone);
    expected = MisuseAll(driver_);
    alone.findings.Clear();
  }
  ASSERT_GT(expected.size(), std::size(kMisuses));
  for (size_t i = 0; i < std::size(kMisuses); ++i) {
    EXPECT_THAT(expected[i], HasSubstr(kMisuses[i].finding));
  }
  for (size_t i = std::size(kMisuses); i < expected.size(); ++i) {
    EXPECT_THAT(expected[i], HasSubstr("EngWritePrinter: 0x77 is not an open printer"));
  }

  std::vector<std::unique_ptr<host::JobState>> jobs;
  for (int i = 0; i < 3; ++i) jobs.push_back(std::make_unique<host::JobState>());
  int misfound = 0, seen_by_engine = 0;
  std::vector<int> found_elsewhere(printers_.size(), 0);
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    const host::JobScope scope(*jobs[0]);
    for (int round = 0; round < kRounds; ++round) {
      misfound += MisuseAll(driver_) != expected;
      seen_by_engine += !engine().findings.list().empty();
      if (round + 1 < kRounds) jobs[0]->findings.Clear();  // the last round's are left
    }
  });
  for (size_t i = 0; i < printers_.size(); ++i) {
    threads.emplace_back([&, i] {
      Printer& printer = printers_[i];
      const host::JobScope scope(*jobs[i + 1]);
      for (int round = 0; round < kRounds; ++round) {
        const Outcome outcome = RunJob(driver_, printer.setup, printer.handle, *printer.sink);
        printer.wrong += !(outcome == printer.alone);
        found_elsewhere[i] += !jobs[i + 1]->findings.list().empty();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(misfound, 0) << "rounds whose findings were not the misusing job's own";
  EXPECT_EQ(seen_by_engine, 0) << "rounds in which the engine's own findings held any";
  for (const Printer& printer : printers_) EXPECT_EQ(printer.wrong, 0);
  EXPECT_THAT(found_elsewhere, Each(0)) << "rounds in which a job that misused nothing had findings";
  EXPECT_THAT(engine().findings.list(), IsEmpty());
  jobs.clear();
  EXPECT_EQ(TakeFindings(), expected) << "what the job left is the engine's once it ended";
}

}  // namespace
